// The start-up decision over every combination of files and flags that changes it, and the
// reading of those inputs from real files.
#include "cache/startup_decision.h"

#include <gtest/gtest.h>

#include "cache/state_file.h"
#include "platform/file.h"
#include "platform/profile.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

using A = StartupAction;

struct Row {
    const char* what;
    bool cache, state;
    const char16_t *update_exit, *program_exit, *file_size, *check_integrity, *enable_dialogs;
    uint32_t mib;
    StartupAction action;
    bool first_run, cache_ready;
};

TEST(StartupDecision, EveryRow) {
    const Row rows[] = {
        {"first start", false, false, u"", u"", u"", u"1", u"1", 0, A::BuildWatchOnly, true, false},
        {"cache file deleted", false, true, u"TRUE", u"TRUE", u"3", u"1", u"1", 0,
         A::BuildWatchOnly, false, true},
        {"state file deleted", true, false, u"FALSE", u"", u"", u"1", u"1", 50, A::None, true,
         true},
        {"build cut off", true, true, u"FALSE", u"TRUE", u"0", u"1", u"1", 1, A::Rebuild, false,
         true},
        {"flag missing", true, true, u"", u"TRUE", u"0", u"1", u"1", 1, A::Rebuild, false, true},
        {"another word", true, true, u"yes", u"TRUE", u"0", u"1", u"1", 1, A::Rebuild, false, true},
        {"lower case true", true, true, u"true", u"tRuE", u"0", u"1", u"1", 1, A::None, false,
         true},
        {"crash, dialogs on", true, true, u"TRUE", u"FALSE", u"0", u"1", u"1", 50,
         A::AskThenRebuild, false, true},
        {"crash, dialogs off", true, true, u"TRUE", u"", u"0", u"1", u"0", 50, A::Rebuild, false,
         true},
        {"crash, integrity 2 is off", true, true, u"TRUE", u"FALSE", u"11", u"2", u"1", 20,
         A::Defragment, false, true},
        {"crash, integrity off, small", true, true, u"TRUE", u"FALSE", u"11", u"0", u"1", 19,
         A::None, false, true},
        {"size missing, 9 MiB", true, true, u"TRUE", u"TRUE", u"", u"1", u"1", 9, A::Defragment,
         false, true},
        {"size missing, 8 MiB", true, true, u"TRUE", u"TRUE", u"", u"1", u"1", 8, A::None, false,
         true},
        {"20 MiB against 11", true, true, u"TRUE", u"TRUE", u"11", u"1", u"1", 20, A::Defragment,
         false, true},
        {"20 MiB against 12", true, true, u"TRUE", u"TRUE", u"12", u"1", u"1", 20, A::None, false,
         true},
        {"negative size wraps", true, true, u"TRUE", u"TRUE", u"-20", u"1", u"1", 4000, A::None,
         false, true},
    };
    for (const Row& row : rows) {
        StartupInputs in;
        in.cache_exists = row.cache;
        in.state_exists = row.state;
        in.update_cache_exit = row.update_exit;
        in.program_exit = row.program_exit;
        in.cache_file_size = row.file_size;
        in.check_integrity = row.check_integrity;
        in.enable_dialogs = row.enable_dialogs;
        in.measured_mib = row.mib;
        const StartupDecision d = DecideStartup(in);
        EXPECT_EQ(d.action, row.action) << row.what;
        EXPECT_EQ(d.first_run, row.first_run) << row.what;
        EXPECT_EQ(d.cache_ready, row.cache_ready) << row.what;
    }
}

TEST(StartupInputs, ReadFromTheFilesOrTheirDefaults) {
    test::TempDir dir;
    const std::u16string cache = dir.U16("default.db"), state = dir.U16("stateinfo.ini"),
                         settings = dir.U16("settings.ini");

    StartupInputs none = ReadStartupInputs(cache, state, settings);
    EXPECT_FALSE(none.cache_exists);
    EXPECT_FALSE(none.state_exists);
    EXPECT_EQ(none.measured_mib, 0u);
    EXPECT_EQ(none.update_cache_exit, u"");
    EXPECT_EQ(none.cache_file_size, u"");
    EXPECT_EQ(none.check_integrity, u"1");
    EXPECT_EQ(none.enable_dialogs, u"1");

    test::WriteFileOfSize(dir.path() / "default.db", 9 * 1048576 + 1048575);
    StateFile file(state);
    ASSERT_TRUE(file.Set(u"UpdateCacheExit", u"true"));
    ASSERT_TRUE(file.Set(u"ProgramExit", u"FALSE"));
    ASSERT_TRUE(file.Set(u"CacheFileSize", u"12"));
    ASSERT_TRUE(platform::WriteProfileString(settings, u"OPTIONS", u"CHECK_INTEGRITY", u"0"));

    const StartupInputs all = ReadStartupInputs(cache, state, settings);
    EXPECT_TRUE(all.cache_exists);
    EXPECT_TRUE(all.state_exists);
    EXPECT_EQ(all.measured_mib, 9u);
    EXPECT_EQ(all.update_cache_exit, u"true");
    EXPECT_EQ(all.program_exit, u"FALSE");
    EXPECT_EQ(all.cache_file_size, u"12");
    EXPECT_EQ(all.check_integrity, u"0");
    EXPECT_EQ(all.enable_dialogs, u"1");

    // A cache file that another program holds cannot be measured.
    platform::ExclusiveFile holder;
    ASSERT_TRUE(holder.OpenExisting(cache));
    const StartupInputs held = ReadStartupInputs(cache, state, settings);
    EXPECT_TRUE(held.cache_exists);
    EXPECT_EQ(held.measured_mib, 0u);
}

}  // namespace
}  // namespace corvella
