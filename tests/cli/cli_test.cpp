// The command line end to end, in-process, over real folders: every command once through its
// main route, and the mistakes a user can make.
#include "cli/cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include "cli/console.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/local_time.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

struct CliRun : Console {
    CliRun(std::vector<std::u16string> args) { code = RunCli(args, *this); }
    void Out(std::u16string_view line) override { out.push_back(test::Narrow(line)); }
    void Err(std::u16string_view line) override { err += test::Narrow(line) + "\n"; }
    void Progress(std::u16string_view text) override { progress.push_back(test::Narrow(text)); }
    void EndProgress() override {}
    int code = -1;
    Lines out, progress;
    std::string err;
};

// Sets a file's modification time to a FILETIME count: through the system, since the C runtimes
// refuse times before 1970.
bool SetLastWrite(const fs::path& path, uint64_t filetime) {
#ifdef _WIN32
    const HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const FILETIME when{static_cast<DWORD>(filetime), static_cast<DWORD>(filetime >> 32)};
    const bool set = SetFileTime(file, nullptr, nullptr, &when) != 0;
    CloseHandle(file);
    return set;
#else
    const int64_t units = int64_t(filetime) - 116444736000000000LL;  // from 1970
    const timespec when = {static_cast<time_t>(units / 10000000), 0};
    const timespec times[2] = {when, when};
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
#endif
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
        root_ = test::Narrow(test::ToU16(fs::canonical(tree_)));
    }
    CliRun Index() { return CliRun({u"index", u"--cache", cache_, test::ToU16(tree_)}); }
    CliRun Search(std::vector<std::u16string> args) {
        args.insert(args.begin(), {u"search", u"--cache", cache_});
        return CliRun(args);
    }
    // A path below the tree, spelled with this platform's separator.
    std::string Under(std::string relative) const {
        std::replace(relative.begin(), relative.end(), '/', char(platform::kPathSeparator));
        return root_ + char(platform::kPathSeparator) + relative;
    }

    test::TempDir dir_;
    fs::path tree_ = dir_.path() / "tree";
    std::u16string cache_ = dir_.U16("out/cache.db");  // its folder does not exist yet
    std::string root_;
};

TEST_F(CliTest, IndexThenSearchesWithEveryOption) {
    for (int i = 0; i < 1000; ++i) test::WriteFileOfSize(tree_ / "empty" / std::to_string(i), 0);
    const CliRun index = Index();
    ASSERT_EQ(index.code, kExitOk) << index.err;
    EXPECT_EQ(index.progress.front().rfind("[Caching Drive ", 0), 0u) << index.progress.front();
    EXPECT_EQ(index.progress.back().rfind("[Caching is Finished] 1008 items cached,", 0), 0u);
    fs::remove_all(tree_ / "empty");
    fs::create_directory(tree_ / "empty");
    ASSERT_EQ(Index().code, kExitOk);

    // Cache order puts a folder after everything inside it, and the root last.
    const Lines all = Search({u"*"}).out;
    ASSERT_EQ(all.size(), 8u);
    EXPECT_EQ(all.back(), root_);
    const auto at = [&](const std::string& p) { return std::find(all.begin(), all.end(), p); };
    EXPECT_LT(at(Under("Docs/old/notes.txt")), at(Under("Docs/old")));
    EXPECT_LT(at(Under("Docs/old")), at(Under("Docs")));

    const std::string old = Under("Docs/old/");
    const struct {
        std::vector<std::u16string> args;
        Lines out;
    } cases[] = {
        {{u"--sort", u"size", u"--files", u"*t*"},
         {Under("photo.jpg"), Under("Docs/Report.TXT"), old + "notes.txt", old + "empty.txt"}},
        {{u"--sort=name", u"--format", u"[FILENAME] in [FILEDIR]", u"txt"},
         {"empty.txt in " + old, "notes.txt in " + old, "Report.TXT in " + Under("Docs/")}},
        // Folders count their contents: old 1, Docs 4, the root 200.
        {{u"--count", u"*"}, {"8 items found (405KB)"}},
        {{u"--folders", u"--min-size=2", u"--sort=location", u"*"}, {root_, Under("Docs")}},
        {{u"--in", test::ToU16(tree_ / "Docs"), u"--no-subdirs", u"--sort=name", u"*"},
         {old.substr(0, old.size() - 1), Under("Docs/Report.TXT")}},
        {{u"--modified-from", u"1990-01-01", u"--modified-to", u"2999-12-31", u"--count", u"*.txt"},
         {"3 items found (4KB)"}},
        {{u"--max-size", u"1", u"--files", u"--sort=name", u"*"},
         {old + "empty.txt", old + "notes.txt"}},
    };
    for (const auto& c : cases) {
        const CliRun search = Search(c.args);
        EXPECT_EQ(search.code, kExitOk) << search.err;
        EXPECT_EQ(search.out, c.out) << test::Narrow(c.args[0]);
    }
    EXPECT_EQ(Search({u"--modified-to", u"2000-01-01", u"*.txt"}).code, kExitNothing);
    EXPECT_EQ(Search({u"nothing-like-this"}).code, kExitNothing);
    const CliRun nowhere = Search({u"--in", u"/no/such/folder", u"--count", u"*.jpg"});
    EXPECT_EQ(nowhere.out, Lines{"1 items found (196KB)"});
    EXPECT_EQ(nowhere.err, " [WARNING] : The search location is invalid!! Default to be My Computer! \n");
}

// Files from before 1970 exist (a FILETIME reaches back to 1601): their days are days like any
// other, also the last one before 1970, whose end is the C library's failure value in UTC.
TEST_F(CliTest, DaysBefore1970AreSearchedLikeOthers) {
    uint64_t day = 0;
    ASSERT_TRUE(platform::LocalDayToFileTime(1969, 6, 1, false, day));
    ASSERT_TRUE(SetLastWrite(tree_ / "Docs" / "old" / "notes.txt", day + 12ull * 3600 * 10000000));
    ASSERT_EQ(Index().code, kExitOk);
    const Lines notes = {Under("Docs/old/notes.txt")};
    // Files only: a drive's entry has no time of its own (0, in 1601).
    EXPECT_EQ(Search({u"--files", u"--modified-to", u"1969-12-31", u"*"}).out, notes);
    EXPECT_EQ(Search({u"--modified-from", u"1969-06-01", u"--modified-to=1969-06-01", u"*"}).out,
              notes);
    EXPECT_EQ(Search({u"--modified-from", u"1601-01-01", u"--count", u"*.txt"}).out,
              Lines{"3 items found (4KB)"});
}

// A build with stderr in a log: a progress line every few seconds and the summary, not one every
// thousand entries.
TEST_F(CliTest, ProgressIntoAFileComesAFewSecondsApart) {
    for (int i = 0; i < 1800; ++i) std::ofstream(tree_ / "empty" / std::to_string(i));
    const fs::path log = dir_.path() / "stderr.txt";
    FILE* err = std::fopen(log.string().c_str(), "wb");
    ASSERT_NE(err, nullptr);
    StdConsole console(stdout, err);
    const int code = RunCli({u"index", u"--cache", cache_, test::ToU16(tree_)}, console);
    std::fclose(err);
    ASSERT_EQ(code, kExitOk);
    const std::vector<uint8_t> bytes = test::ReadBytes(log);
    Lines lines;
    std::string line;
    for (const uint8_t c : bytes) {
        if (c != '\n') {
            line += char(c);
        } else {
            lines.push_back(std::exchange(line, {}));
        }
    }
    ASSERT_GE(lines.size(), 2u);
    EXPECT_LE(lines.size(), 3u);  // the first, perhaps one five seconds on, the summary
    EXPECT_EQ(lines.front().rfind("[Caching Drive ", 0), 0u) << lines.front();
    EXPECT_EQ(lines.back().rfind("[Caching is Finished] 1808 items cached,", 0), 0u) << lines.back();
}

TEST_F(CliTest, CheckDefragAndUpdateOverOneCache) {
    CliRun missing({u"check", u"--cache", cache_});
    EXPECT_EQ(missing.code, kExitError);
    EXPECT_NE(missing.err.find("no cache file"), std::string::npos) << missing.err;
    ASSERT_EQ(Index().code, kExitOk);
    const CliRun check({u"check", u"--cache=" + cache_});
    ASSERT_EQ(check.code, kExitOk) << check.err;
    for (const char* line : {"drives: 1", "folders: 3", "files: 4", "free blocks: 0 (0 bytes)"})
        EXPECT_NE(std::find(check.out.begin(), check.out.end(), line), check.out.end()) << line;

    // Files added below a folder come in with an update, and a defragmentation changes no answer.
    fs::create_directories(tree_ / "Docs" / "new" / "deeper");
    test::WriteFileOfSize(tree_ / "Docs" / "new" / "deeper" / "inside.txt", 10);
    EXPECT_EQ(CliRun({u"update", u"--cache", cache_, test::ToU16(tree_ / "Docs")}).code, kExitOk);
    const Lines before = Search({u"*"}).out;
    EXPECT_EQ(Search({u"--count", u"*.txt"}).out, Lines{"4 items found (5KB)"});
    const CliRun defrag({u"defrag", u"--cache", cache_});
    ASSERT_EQ(defrag.code, kExitOk) << defrag.err;
    EXPECT_NE(defrag.err.find("defragmented"), std::string::npos) << defrag.err;
    EXPECT_EQ(Search({u"*"}).out, before);
    const CliRun outside({u"update", u"--cache", cache_, dir_.U16("")});
    EXPECT_EQ(outside.code, kExitNothing);
    EXPECT_NE(outside.err.find("is not a folder in the cache"), std::string::npos) << outside.err;

    {
        platform::ExclusiveFile holder;
        ASSERT_TRUE(holder.OpenExisting(cache_));
        const CliRun held({u"check", u"--cache", cache_});
        EXPECT_EQ(held.code, kExitError);
        EXPECT_NE(held.err.find("used by another program"), std::string::npos) << held.err;
        const CliRun blocked = Index();
        EXPECT_EQ(blocked.code, kExitError);
        EXPECT_NE(blocked.err.find("In CCacher::ReleaseFile - 000"), std::string::npos);
    }
    const fs::path file = dir_.path() / "out" / "cache.db";
    std::vector<uint8_t> bytes = test::ReadBytes(file);
    bytes.resize(bytes.size() - 10);
    test::WriteBytes(file, bytes);
    const CliRun damaged({u"check", u"--cache", cache_});
    EXPECT_EQ(damaged.code, kExitNothing);
    EXPECT_NE(damaged.err.find("damaged"), std::string::npos) << damaged.err;
}

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
        {{u"search", u"--cache", cache_, u"--min-size", u"ten", u"x"}, ""},
        {{u"search", u"--cache", cache_, u"--max-size", u"-1", u"x"}, ""},
        {{u"search", u"--cache", cache_, u"--modified-from", u"2024-02-30", u"x"}, ""},
        {{u"search", u"--cache", cache_, u"--modified-to", u"24-1-1", u"x"}, ""},
        {{u"search", u"--cache", cache_, u"--modified-to", u"1600-12-31", u"x"}, "YYYY-MM-DD"},
        {{u"search", u"--cache", cache_, u"--modified-to", u"12/31/1969", u"x"}, "YYYY-MM-DD"},
        {{u"search", u"--cache", cache_, u"--modified-from=", u"x"}, "YYYY-MM-DD"},
        {{u"search", u"--cache", cache_, u"--sort", u"color", u"x"}, ""},
        {{u"search", u"--cache", cache_, u"--files", u"--folders", u"x"}, ""},
        {{u"search", u"--cache", cache_}, ""},
        {{u"search", u"--cache", cache_, u"a", u"b"}, ""},
    };
    for (const auto& c : cases) {
        const CliRun run(c.args);
        EXPECT_EQ(run.code, kExitError) << c.says << " " << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
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
    EXPECT_EQ(run.code, kExitError);
    EXPECT_NE(run.err.find("building it first"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("cannot create the folder"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace corvella
