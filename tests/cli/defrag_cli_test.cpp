// corvella defrag end to end, in-process: the searches after it answer as before.
#include <gtest/gtest.h>

#include "cli/cli.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

namespace fs = std::filesystem;

class CaptureConsole final : public Console {
  public:
    void Out(std::u16string_view line) override { out += test::Narrow(line) + "\n"; }
    void Err(std::u16string_view line) override { err += test::Narrow(line) + "\n"; }
    void Progress(std::u16string_view) override {}
    void EndProgress() override {}
    std::string out, err;
};

TEST(DefragCli, SearchesAnswerTheSameAfterwards) {
    test::TempDir dir;
    const fs::path tree = dir.path() / "tree";
    fs::create_directories(tree / "Docs" / "old");
    fs::create_directories(tree / "empty");
    test::WriteFileOfSize(tree / "Docs" / "Report.txt", 3000);
    test::WriteFileOfSize(tree / "Docs" / "old" / "notes.txt", 10);
    test::WriteFileOfSize(tree / "photo.jpg", 200000);
    const std::u16string cache = dir.U16("cache.db");
    CaptureConsole index;
    ASSERT_EQ(RunCli({u"index", u"--cache", cache, test::ToU16(tree)}, index), kExitOk);

    const std::vector<std::vector<std::u16string>> searches = {
        {u"search", u"--cache", cache, u"*.txt"},
        {u"search", u"--cache", cache, u"--folders", u"o"},
        {u"search", u"--cache", cache, u"--count", u"*"},
    };
    std::vector<std::string> before;
    for (const auto& args : searches) {
        CaptureConsole search;
        EXPECT_EQ(RunCli(args, search), kExitOk);
        before.push_back(search.out);
    }

    CaptureConsole defrag;
    ASSERT_EQ(RunCli({u"defrag", u"--cache", cache}, defrag), kExitOk) << defrag.err;
    EXPECT_NE(defrag.err.find("defragmented"), std::string::npos) << defrag.err;
    for (size_t i = 0; i < searches.size(); ++i) {
        CaptureConsole search;
        EXPECT_EQ(RunCli(searches[i], search), kExitOk);
        EXPECT_EQ(search.out, before[i]);
    }
    CaptureConsole check;
    EXPECT_EQ(RunCli({u"check", u"--cache", cache}, check), kExitOk) << check.err;
}

TEST(DefragCli, MissingCacheOrExtraArgumentsExit2) {
    test::TempDir dir;
    CaptureConsole missing;
    EXPECT_EQ(RunCli({u"defrag", u"--cache", dir.U16("none.db")}, missing), kExitError);
    EXPECT_NE(missing.err.find("no cache file"), std::string::npos) << missing.err;
    CaptureConsole extra;
    EXPECT_EQ(RunCli({u"defrag", u"--cache", dir.U16("none.db"), u"x"}, extra), kExitError);
    EXPECT_NE(extra.err.find("defrag takes no arguments"), std::string::npos) << extra.err;
}

}  // namespace
}  // namespace corvella
