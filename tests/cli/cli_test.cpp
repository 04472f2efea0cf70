// The command line end to end, in-process: index a real folder, check it, and the errors a user
// can make.
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

#include "platform/drives.h"
#include "platform/file.h"
#include "platform/local_time.h"
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

// A build with stderr in a log: a progress line every few seconds and the summary, not one every
// thousand entries (4 lines for this tree).
TEST_F(CliTest, ProgressIntoAFileComesAFewSecondsApart) {
    fs::create_directories(tree_ / "many");
    for (int i = 0; i < 1800; ++i) std::ofstream(tree_ / "many" / std::to_string(i));
    const fs::path log = dir_.path() / "stderr.txt";
    FILE* err = std::fopen(log.string().c_str(), "wb");
    ASSERT_NE(err, nullptr);
    StdConsole console(stdout, err);
    const int code = RunCli({u"index", u"--cache", cache_, test::ToU16(tree_)}, console);
    std::fclose(err);
    ASSERT_EQ(code, kExitOk);
    std::vector<std::string> lines;
    const std::vector<uint8_t> text = test::ReadBytes(log);
    std::string line;
    for (const uint8_t c : text) {
        if (c != '\n') {
            line += char(c);
        } else {
            lines.push_back(line);
            line.clear();
        }
    }
    ASSERT_GE(lines.size(), 2u);
    EXPECT_LE(lines.size(), 3u);  // the first, perhaps one five seconds on, the summary
    EXPECT_EQ(lines.front().rfind("[Caching Drive ", 0), 0u) << lines.front();
    EXPECT_EQ(lines.back().rfind("[Caching is Finished] 3006 items cached,", 0), 0u)
        << lines.back();
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

namespace corvella {
namespace {

class CliSearchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tree_ = dir_.path() / "tree";
        fs::create_directories(tree_ / "Docs" / "old");
        test::WriteFileOfSize(tree_ / "Docs" / "Report.TXT", 3000);
        test::WriteFileOfSize(tree_ / "Docs" / "old" / "notes.txt", 10);
        test::WriteFileOfSize(tree_ / "Docs" / "old" / "empty.txt", 0);
        test::WriteFileOfSize(tree_ / "photo.jpg", 200000);
        cache_ = dir_.U16("cache.db");
        CaptureConsole index;
        ASSERT_EQ(Cli(index, {u"index", u"--cache", cache_, test::ToU16(tree_)}), kExitOk);
        root_ = test::Narrow(test::ToU16(fs::canonical(tree_)));
    }
    std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        for (size_t start = 0; start < text.size();) {
            const size_t end = text.find('\n', start);
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }
    std::vector<std::string> Search(std::vector<std::u16string> args, int expect = kExitOk) {
        args.insert(args.begin(), {u"search", u"--cache", cache_});
        CaptureConsole console;
        EXPECT_EQ(Cli(console, args), expect) << console.err;
        err_ = console.err;
        return Lines(console.out);
    }
    test::TempDir dir_;
    fs::path tree_;
    std::u16string cache_;
    std::string root_, err_;
    // Paths below the tree, spelled with this platform's separator.
    std::string Under(std::string relative) const {
        for (char& c : relative)
            if (c == '/') c = char(platform::kPathSeparator);
        return root_ + char(platform::kPathSeparator) + relative;
    }
};

std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST_F(CliSearchTest, PrintsMatchesInCacheOrderOrSortedOrCounted) {
    const std::string d = Under("Docs/");
    EXPECT_EQ(Sorted(Search({u"*.txt"})),
              (std::vector<std::string>{d + "Report.TXT", Under("Docs/old/empty.txt"),
                                        Under("Docs/old/notes.txt")}));
    // Cache order puts a folder after everything inside it, and the root last.
    const auto all = Search({u"*"});
    ASSERT_EQ(all.size(), 7u);
    EXPECT_EQ(all.back(), root_);
    const auto at = [&](const std::string& path) {
        return std::find(all.begin(), all.end(), path) - all.begin();
    };
    EXPECT_GT(at(Under("Docs/old")), at(Under("Docs/old/notes.txt")));
    EXPECT_GT(at(Under("Docs")), at(Under("Docs/old")));

    EXPECT_EQ(Search({u"--sort", u"size", u"--files", u"*t*"}),
              (std::vector<std::string>{Under("photo.jpg"), d + "Report.TXT",
                                        Under("Docs/old/notes.txt"), Under("Docs/old/empty.txt")}));
    EXPECT_EQ(
        Search({u"--sort=name", u"--format", u"[FILENAME] in [FILEDIR]", u"txt"}),
        (std::vector<std::string>{"empty.txt in " + Under("Docs/old/"),
                                  "notes.txt in " + Under("Docs/old/"), "Report.TXT in " + d}));
    // 200 KB of files; folders count their contents: old 1, Docs 4, the root 200.
    EXPECT_EQ(Search({u"--count", u"*"}), (std::vector<std::string>{"7 items found (405KB)"}));
    EXPECT_EQ(Search({u"--folders", u"--min-size=2", u"--sort=location", u"*"}),
              (std::vector<std::string>{root_, Under("Docs")}));
    EXPECT_EQ(Sorted(Search({u"--in", test::ToU16(tree_ / "Docs"), u"--no-subdirs", u"*"})),
              (std::vector<std::string>{d + "Report.TXT", Under("Docs/old")}));
    EXPECT_EQ(Search({u"nothing-like-this"}, kExitNothing), std::vector<std::string>{});
}

TEST_F(CliSearchTest, AnInvalidLocationWarnsAndSearchesEverything) {
    EXPECT_EQ(Search({u"--in", u"/no/such/folder", u"--count", u"*.jpg"}),
              (std::vector<std::string>{"1 items found (196KB)"}));
    EXPECT_EQ(err_, " [WARNING] : The search location is invalid!! Default to be My Computer! \n");
}

TEST_F(CliSearchTest, DatesAreLocalDaysWithBothEndsIncluded) {
    EXPECT_EQ(Search({u"--modified-from", u"1990-01-01", u"--modified-to", u"2999-12-31",
                      u"--count", u"*.txt"}),
              (std::vector<std::string>{"3 items found (4KB)"}));
    Search({u"--modified-to", u"2000-01-01", u"*.txt"}, kExitNothing);
}

// Files from before 1970 exist (a FILETIME reaches back to 1601): their days are days like any
// other, also the last one before 1970, whose end is the C library's failure value in UTC.
TEST_F(CliSearchTest, DaysBefore1970AreSearchedLikeOthers) {
    uint64_t day = 0;
    ASSERT_TRUE(platform::LocalDayToFileTime(1969, 6, 1, false, day));
    const uint64_t noon = day + 12ull * 3600 * 10000000;
    ASSERT_TRUE(SetLastWrite(tree_ / "Docs" / "old" / "notes.txt", noon));
    CaptureConsole index;
    ASSERT_EQ(Cli(index, {u"index", u"--cache", cache_, test::ToU16(tree_)}), kExitOk);
    const std::vector<std::string> notes = {Under("Docs/old/notes.txt")};
    // Files only: a drive's entry has no time of its own (0, in 1601).
    EXPECT_EQ(Search({u"--files", u"--modified-to", u"1969-12-31", u"*"}), notes);
    EXPECT_EQ(Search({u"--modified-from", u"1969-06-01", u"--modified-to=1969-06-01", u"*"}), notes);
    EXPECT_EQ(Search({u"--modified-from", u"1601-01-01", u"--count", u"*.txt"}),
              (std::vector<std::string>{"3 items found (4KB)"}));
}

TEST_F(CliSearchTest, BadValuesAreRefusedWithExitCode2) {
    struct Case {
        std::vector<std::u16string> args;
        std::string says;
    };
    const std::string not_a_day = "needs a date as YYYY-MM-DD, not '";
    const Case cases[] = {
        {{u"--min-size", u"ten", u"x"}, "--min-size needs a whole number of KB"},
        {{u"--max-size", u"-1", u"x"}, "--max-size needs a whole number of KB"},
        {{u"--modified-from", u"2023-02-30", u"x"}, "--modified-from " + not_a_day + "2023-02-30'"},
        {{u"--modified-to", u"1600-12-31", u"x"}, "--modified-to " + not_a_day + "1600-12-31'"},
        {{u"--modified-to", u"12/31/1969", u"x"}, "--modified-to " + not_a_day + "12/31/1969'"},
        {{u"--modified-to", u"24-1-1", u"x"}, "--modified-to " + not_a_day + "24-1-1'"},
        {{u"--modified-from=", u"x"}, "--modified-from " + not_a_day + "'"},
        {{u"--sort", u"color", u"x"}, "--sort takes name"},
        {{u"--files", u"--folders", u"x"}, "exclude each other"},
        {{}, "search needs a PATTERN"},
        {{u"a", u"b"}, "search takes one PATTERN"},
    };
    for (const Case& c : cases) {
        Search(c.args, kExitError);
        EXPECT_NE(err_.find(c.says), std::string::npos) << err_;
    }
}

TEST_F(CliSearchTest, WithoutACacheTheSearchBuildsOneFirst) {
    // The default roots are the whole machine, too much for a test: a cache whose folder cannot
    // be made (a file stands in its place) shows the build being started and its failure told.
    test::WriteBytes(dir_.path() / "blocker", {1});
    CaptureConsole console;
    EXPECT_EQ(Cli(console, {u"search", u"--cache", dir_.U16("blocker/none.db"), u"x"}), kExitError);
    EXPECT_NE(console.err.find("building it first"), std::string::npos) << console.err;
    EXPECT_NE(console.err.find("cannot create the folder"), std::string::npos) << console.err;
}

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

TEST(UpdateCli, AppliesNamedFoldersAndSaysWhichAreNotInTheCache) {
    test::TempDir dir;
    const fs::path tree = dir.path() / "tree";
    fs::create_directories(tree / "docs");
    const std::u16string cache = dir.U16("cache.db");
    CaptureConsole index;
    ASSERT_EQ(RunCli({u"index", u"--cache", cache, test::ToU16(tree)}, index), kExitOk);

    test::WriteFileOfSize(tree / "docs" / "added.txt", 10);
    fs::create_directories(tree / "docs" / "new" / "deeper");
    test::WriteFileOfSize(tree / "docs" / "new" / "deeper" / "inside.txt", 10);
    CaptureConsole update;
    EXPECT_EQ(RunCli({u"update", u"--cache", cache, test::ToU16(tree / "docs")}, update), kExitOk)
        << update.err;
    CaptureConsole search;
    EXPECT_EQ(RunCli({u"search", u"--cache", cache, u"--count", u"*.txt"}, search), kExitOk);
    EXPECT_EQ(search.out, "2 items found (2KB)\n");

    CaptureConsole outside;
    EXPECT_EQ(RunCli({u"update", u"--cache", cache, dir.U16("")}, outside), kExitNothing);
    EXPECT_NE(outside.err.find("is not a folder in the cache"), std::string::npos) << outside.err;
    CaptureConsole none;
    EXPECT_EQ(RunCli({u"update", u"--cache", cache}, none), kExitError);
}

}  // namespace
}  // namespace corvella
