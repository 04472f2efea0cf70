// The saved-results file: which rows and what is reported. One name outside the code page making
// the whole file UTF-8 with its mark, and none keeping it in the code page, is checked end to end
// (save-results).
#include "results/save_results.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_tree.h"

namespace corvella {
namespace {

// A code page that holds ASCII only, so that any other letter forces the UTF-8 file.
bool AsciiOnly(std::u16string_view text, std::string& bytes) {
    bytes.clear();
    for (char16_t c : text) {
        if (c > 0x7F) return false;
        bytes += char(c);
    }
    return true;
}

struct Collect final : ByteSink {
    std::string bytes;
    size_t writes = 0;
    size_t fail_at = ~size_t(0);  // the write that fails
    bool Write(std::string_view b) override {
        if (writes++ == fail_at) return false;
        bytes += b;
        return true;
    }
};

ResultSet Rows() {
    ResultSet set;
    test::AddResult(set, u"C:\\x\\", u"a.txt");
    test::AddResult(set, u"C:\\y\\", u"b");
    test::AddResult(set, u"", u"C:");
    return set;
}

std::string Save(ResultSet* set, std::vector<int> rows, std::u16string_view format,
                 SaveOutcome want = SaveOutcome::Saved) {
    Collect out;
    EXPECT_EQ(WriteSavedResults(set, rows, format, AsciiOnly, out), want);
    return out.bytes;
}

// Faults caught: no CR LF after the last line; rows in record order instead of the order
// asked for; a row past the records read anyway.
TEST(SaveResults, RowsInTheOrderAskedEachEndedByCrLf) {
    ResultSet set = Rows();
    EXPECT_EQ(Save(&set, {0, 1, 2}, u"[FILEDIR][FILENAME]"), "C:\\x\\a.txt\r\nC:\\y\\b\r\nC:\r\n");
    EXPECT_EQ(Save(&set, {2, 0, 7}, u"[FILENAME]"), "C:\r\na.txt\r\n");
}

// Faults caught: a list without records reported as saved (or crashing); an empty selection
// treated as a failure; a refused write reported as success.
TEST(SaveResults, NoRecordsNoRowsAndRefusedWrites) {
    EXPECT_EQ(Save(nullptr, {0}, u"[FILENAME]", SaveOutcome::NoResults), "");
    EXPECT_EQ(Save(nullptr, {}, u"[FILENAME]"), "");

    // Enough lines for several writes; the second is refused.
    ResultSet big;
    std::vector<int> rows;
    for (int i = 0; i < 3000; ++i) {
        test::AddResult(big, u"C:\\" + std::u16string(40, u'd') + u"\\", u"file.txt");
        rows.push_back(i);
    }
    Collect whole;
    ASSERT_EQ(WriteSavedResults(&big, rows, u"[FILEDIR][FILENAME]", AsciiOnly, whole),
              SaveOutcome::Saved);
    EXPECT_EQ(whole.bytes.size(), 3000u * (3 + 41 + 8 + 2));
    Collect refusing;
    refusing.fail_at = 1;
    EXPECT_EQ(WriteSavedResults(&big, rows, u"[FILEDIR][FILENAME]", AsciiOnly, refusing),
              SaveOutcome::WriteFailed);
}

}  // namespace
}  // namespace corvella
