// The command line end to end, in-process: index a real folder, check it, and the errors a user
// can make.
#include "cli/cli.h"

#include <gtest/gtest.h>

#include "platform/drives.h"
#include "platform/file.h"
#include "platform/text.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

namespace fs = std::filesystem;

class CaptureConsole final : public Console {
  public:
    void Out(std::u16string_view line) override { out += test::Narrow(line) + "\n"; }
    void Err(std::u16string_view line) override { err += test::Narrow(line) + "\n"; }
    void Progress(std::u16string_view text) override { progress.push_back(test::Narrow(text)); }
    void EndProgress() override {}
    std::string out, err;
    std::vector<std::string> progress;
};

int Cli(CaptureConsole& console, std::vector<std::u16string> args) {
    return RunCli(args, console);
}

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tree_ = dir_.path() / "tree";
        fs::create_directories(tree_ / "a" / "b");
        fs::create_directories(tree_ / "empty");
        for (int i = 0; i < 1200; ++i)
            test::WriteFileOfSize(tree_ / "a" / ("f" + std::to_string(i)), i);
        test::WriteFileOfSize(tree_ / "a" / "b" / "deep.txt", 5000);
        cache_ = dir_.U16("out/cache.db");  // its folder does not exist yet
    }
    test::TempDir dir_;
    fs::path tree_;
    std::u16string cache_;
};

TEST_F(CliTest, IndexThenCheckReportsTheTree) {
    CaptureConsole index;
    ASSERT_EQ(Cli(index, {u"index", u"--cache", cache_, test::ToU16(tree_)}), kExitOk) << index.err;
    ASSERT_GE(index.progress.size(), 2u);
    EXPECT_EQ(index.progress.front().rfind("[Caching Drive ", 0), 0u) << index.progress.front();
    EXPECT_EQ(index.progress.back().rfind("[Caching is Finished] 1205 items cached,", 0), 0u)
        << index.progress.back();

    CaptureConsole check;
    ASSERT_EQ(Cli(check, {u"check", u"--cache=" + cache_}), kExitOk) << check.err;
    EXPECT_NE(check.out.find("drives: 1\n"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("folders: 3\n"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("files: 1201\n"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("free blocks: 0 (0 bytes)"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("well-formed"), std::string::npos);
}

TEST_F(CliTest, CheckSaysWhenTheCacheIsMissingHeldOrDamaged) {
    CaptureConsole missing;
    EXPECT_EQ(Cli(missing, {u"check", u"--cache", cache_}), kExitError);
    EXPECT_NE(missing.err.find("no cache file"), std::string::npos) << missing.err;

    CaptureConsole index;
    ASSERT_EQ(Cli(index, {u"index", u"--cache", cache_, test::ToU16(tree_)}), kExitOk);
    {
        platform::ExclusiveFile holder;
        ASSERT_TRUE(holder.OpenExisting(cache_));
        CaptureConsole held;
        EXPECT_EQ(Cli(held, {u"check", u"--cache", cache_}), kExitError);
        EXPECT_NE(held.err.find("used by another program"), std::string::npos) << held.err;
    }
    const fs::path file = dir_.path() / "out" / "cache.db";
    std::vector<uint8_t> bytes = test::ReadBytes(file);
    bytes.resize(bytes.size() - 10);
    test::WriteBytes(file, bytes);
    CaptureConsole damaged;
    EXPECT_EQ(Cli(damaged, {u"check", u"--cache", cache_}), kExitNothing);
    EXPECT_NE(damaged.err.find("damaged"), std::string::npos) << damaged.err;
}

TEST_F(CliTest, RebuildReplacesTheCacheAndTheIndexKeepsGoingWhileItIsHeld) {
    CaptureConsole first;
    ASSERT_EQ(Cli(first, {u"index", u"--cache", cache_, test::ToU16(tree_ / "a" / "b")}), kExitOk);
    const auto small = test::ReadBytes(dir_.path() / "out" / "cache.db");
    CaptureConsole second;
    ASSERT_EQ(Cli(second, {u"index", u"--cache", cache_, test::ToU16(tree_)}), kExitOk);
    EXPECT_GT(test::ReadBytes(dir_.path() / "out" / "cache.db").size(), small.size());
    EXPECT_EQ(second.err, "");

    platform::ExclusiveFile holder;
    ASSERT_TRUE(holder.OpenExisting(cache_));
    CaptureConsole blocked;
    EXPECT_EQ(Cli(blocked, {u"index", u"--cache", cache_, test::ToU16(tree_)}), kExitError);
    EXPECT_NE(blocked.err.find("In CCacher::SaveCacheFileTemp - 000"), std::string::npos)
        << blocked.err;
    EXPECT_NE(blocked.err.find("In CCacher::ReleaseFile - 000"), std::string::npos) << blocked.err;
}

TEST_F(CliTest, BadInputGetsAClearMessageAndExitCode2) {
    struct Case {
        std::vector<std::u16string> args;
        std::string says;
    };
    const Case cases[] = {
        {{}, "usage"},
        {{u"frobnicate"}, "unknown command"},
        {{u"index", u"--cache"}, "--cache needs a file name"},
        {{u"index", u"--bogus"}, "unknown option"},
        {{u"index", u"--cache", cache_, dir_.U16("no-such-folder")}, "is not a folder"},
        {{u"check", u"--cache", cache_, u"extra"}, "takes no arguments"},
    };
    for (const Case& c : cases) {
        CaptureConsole console;
        EXPECT_EQ(Cli(console, c.args), kExitError) << c.says;
        EXPECT_NE(console.err.find(c.says), std::string::npos) << console.err;
    }
    CaptureConsole help;
    EXPECT_EQ(Cli(help, {u"--help"}), kExitOk);
    EXPECT_NE(help.out.find("index [--cache FILE] [ROOT...]"), std::string::npos);
}

}  // namespace
}  // namespace corvella
