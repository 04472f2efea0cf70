// The command line end to end, in-process, over real folders: every command once through its
// main route, and the mistakes a user can make.
#include "cli/cli.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "cli/console.h"
#include "platform/file.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

struct CliRun : Console {
    CliRun(std::vector<std::u16string> args) { code = RunCli(args, *this); }
    void Out(std::u16string_view line) override { out.push_back(test::Narrow(line)); }
    void Err(std::u16string_view line) override { err += test::Narrow(line) + "\n"; }
    void Progress(std::u16string_view) override {}
    void EndProgress() override {}
    int code = -1;
    Lines out;
    std::string err;
};

// The run ended with `code` and said `says` on stderr.
void ExpectSays(const CliRun& run, int code, const std::string& says) {
    EXPECT_EQ(run.code, code) << says << ": " << run.err;
    EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
}

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(tree_ / "Docs" / "old");
        fs::create_directories(tree_ / "empty");
        test::WriteFileOfSize(tree_ / "Docs" / "Report.TXT", 3000);
        test::WriteFileOfSize(tree_ / "Docs" / "old" / "notes.txt", 10);
        test::WriteFileOfSize(tree_ / "Docs" / "old" / "empty.txt", 0);
        test::WriteFileOfSize(tree_ / "photo.jpg", 200000);
    }
    CliRun Index() { return CliRun({u"index", u"--cache", cache_, test::ToU16(tree_)}); }
    CliRun Search(std::vector<std::u16string> args) {
        args.insert(args.begin(), {u"search", u"--cache", cache_});
        return CliRun(args);
    }

    test::TempDir dir_;
    fs::path tree_ = dir_.path() / "tree";
    std::u16string cache_ = dir_.U16("out/cache.db");  // its folder does not exist yet
};

// A build with stderr in a log: a progress line every few seconds and the summary, not one every
// thousand entries.
TEST_F(CliTest, ProgressIntoAFileComesAFewSecondsApart) {
    for (int i = 0; i < 3800; ++i) std::ofstream(tree_ / "empty" / std::to_string(i));
    const fs::path log = dir_.path() / "stderr.txt";
    FILE* err = std::fopen(log.string().c_str(), "wb");
    ASSERT_NE(err, nullptr);
    StdConsole console(stdout, err);
    const int code = RunCli({u"index", u"--cache", cache_, test::ToU16(tree_)}, console);
    std::fclose(err);
    ASSERT_EQ(code, kExitOk);
    Lines lines;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_LE(lines.size(), 3u);  // the first, perhaps one five seconds on, the summary
    EXPECT_EQ(lines.front().rfind("[Caching Drive ", 0), 0u) << lines.front();
    EXPECT_EQ(lines.back().rfind("[Caching is Finished] 3808 items cached,", 0), 0u)
        << lines.back();
}

TEST_F(CliTest, CheckDefragAndUpdateOverOneCache) {
    ExpectSays(CliRun({u"check", u"--cache", cache_}), kExitError, "no cache file");
    ASSERT_EQ(Index().code, kExitOk);
    const CliRun check({u"check", u"--cache=" + cache_});
    ASSERT_EQ(check.code, kExitOk) << check.err;

    // Files added below a folder come in with an update, and a defragmentation changes no answer.
    fs::create_directories(tree_ / "Docs" / "new" / "deeper");
    test::WriteFileOfSize(tree_ / "Docs" / "new" / "deeper" / "inside.txt", 10);
    EXPECT_EQ(CliRun({u"update", u"--cache", cache_, test::ToU16(tree_ / "Docs")}).code, kExitOk);
    const Lines before = Search({u"*"}).out;
    EXPECT_EQ(Search({u"--count", u"*.txt"}).out, Lines{"4 items found (5KB)"});
    ExpectSays(CliRun({u"defrag", u"--cache", cache_}), kExitOk, "defragmented");
    EXPECT_EQ(Search({u"*"}).out, before);
    ExpectSays(CliRun({u"update", u"--cache", cache_, dir_.U16("")}), kExitNothing,
               "is not a folder in the cache");
    {
        platform::ExclusiveFile holder;
        ASSERT_TRUE(holder.OpenExisting(cache_));
        ExpectSays(CliRun({u"check", u"--cache", cache_}), kExitError, "used by another program");
        ExpectSays(Index(), kExitError, "In CCacher::ReleaseFile - 000");
    }
    const fs::path file = dir_.path() / "out" / "cache.db";
    std::vector<uint8_t> bytes = test::ReadBytes(file);
    bytes.resize(bytes.size() - 10);
    test::WriteBytes(file, bytes);
    ExpectSays(CliRun({u"check", u"--cache", cache_}), kExitNothing, "damaged");
}

// More refused searches are in tools/reference_search.py.
TEST_F(CliTest, BadInputGetsAMessageAndExitCode2) {
    ASSERT_EQ(Index().code, kExitOk);
    const struct {
        std::vector<std::u16string> args;
        std::string says;
    } cases[] = {
        {{}, "usage"},
        {{u"frobnicate"}, "unknown command"},
        {{u"index", u"--cache"}, "--cache needs a file name"},
        {{u"index", u"--bogus"}, "unknown option"},
        {{u"index", u"--cache", cache_, dir_.U16("no-such-folder")}, "is not a folder"},
        {{u"check", u"--cache", cache_, u"extra"}, "takes no arguments"},
        {{u"defrag", u"--cache", cache_, u"x"}, "defrag takes no arguments"},
        {{u"defrag", u"--cache", dir_.U16("none.db")}, "no cache file"},
        {{u"update", u"--cache", cache_}, ""},
        {{u"search", u"--cache", cache_, u"--max-size", u"-1", u"x"}, ""},
        {{u"search", u"--cache", cache_, u"--modified-from", u"2024-02-30", u"x"}, ""},
        {{u"search", u"--cache", cache_, u"--modified-to", u"24-1-1", u"x"}, ""},
        {{u"search", u"--cache", cache_, u"--modified-to", u"1600-12-31", u"x"}, "YYYY-MM-DD"},
        {{u"search", u"--cache", cache_, u"--modified-from=", u"x"}, "YYYY-MM-DD"},
        {{u"search", u"--cache", cache_, u"--files", u"--folders", u"x"}, ""},
        {{u"search", u"--cache", cache_, u"a", u"b"}, ""},
    };
    for (const auto& c : cases) {
        const CliRun run(c.args);
        ExpectSays(run, kExitError, c.says);
        EXPECT_NE(run.err, "");
    }
    const CliRun help({u"--help"});
    EXPECT_EQ(help.code, kExitOk);
    EXPECT_NE(help.out[0].find("index [--cache FILE] [ROOT...]"), std::string::npos);
}

TEST_F(CliTest, WithoutACacheTheSearchBuildsOneFirst) {
    // The default roots are the whole machine, too much for a test: a cache whose folder cannot
    // be made (a file stands in its place) shows the build being started and its failure told.
    test::WriteBytes(dir_.path() / "blocker", {1});
    const CliRun run({u"search", u"--cache", dir_.U16("blocker/none.db"), u"x"});
    ExpectSays(run, kExitError, "building it first");
    ExpectSays(run, kExitError, "cannot create the folder");
}

}  // namespace
}  // namespace corvella
