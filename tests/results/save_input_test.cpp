// The save dialog's checks, in their order.
#include "results/save_input.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvella {
namespace {

// Faults caught: blanks taken for a path or a format; the checks in another order (the user
// asked about overwriting before hearing the format is wrong); the existence test made on the
// untrimmed path, or at all when an earlier check fails; the size or date alone, or a token in
// another case, taken for a name.
TEST(SaveInput, ChecksInOrderOnTrimmedTexts) {
    struct Case {
        const char16_t *path, *format;
        bool exists;
        SaveInputCheck want;
    };
    for (const Case& c : {
             Case{u" \t", u"[FILENAME]", true, SaveInputCheck::Blank},
             Case{u"C:\\r.txt", u"  ", true, SaveInputCheck::Blank},
             Case{u"  ", u"no tokens", true, SaveInputCheck::Blank},
             Case{u"C:\\r.txt", u"[SIZE],[DATE]", true, SaveInputCheck::NoNameToken},
             Case{u"C:\\r.txt", u"[filename]", false, SaveInputCheck::NoNameToken},
             Case{u"C:\\r.txt", u"[FILEDIR]", true, SaveInputCheck::AskOverwrite},
             Case{u"C:\\r.txt", u"x[FILENAME]", false, SaveInputCheck::Accepted},
         }) {
        std::u16string path = c.path, format = c.format;
        std::vector<std::u16string> asked;
        const auto exists = [&](const std::u16string& p) {
            asked.push_back(p);
            return c.exists;
        };
        EXPECT_EQ(CheckSaveInput(path, format, exists), c.want);
        const bool reaches_exists =
            c.want == SaveInputCheck::AskOverwrite || c.want == SaveInputCheck::Accepted;
        EXPECT_EQ(asked.size(), reaches_exists ? 1u : 0u);
    }
    std::u16string path = u"  C:\\my results.txt \r\n", format = u"\t[FILENAME] ";
    std::u16string asked;
    EXPECT_EQ(
        CheckSaveInput(path, format, [&](const std::u16string& p) { return asked = p, false; }),
        SaveInputCheck::Accepted);
    EXPECT_EQ(asked, u"C:\\my results.txt");
    EXPECT_EQ(path, u"C:\\my results.txt");
    EXPECT_EQ(format, u"[FILENAME]");
}

// Fault caught: a path joined without its separator, or doubled.
TEST(SaveInput, DefaultPathInTheDocumentsFolder) {
    EXPECT_EQ(DefaultSavePath(u"C:\\Users\\me\\Documents"),
              u"C:\\Users\\me\\Documents\\SearchResults.txt");
    EXPECT_EQ(DefaultSavePath(u"D:\\"), u"D:\\SearchResults.txt");
    EXPECT_EQ(DefaultSavePath(u""), u"C:\\SearchResults.txt");
}

}  // namespace
}  // namespace corvella
