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
    bool update_ended, program_exited;
    uint32_t recorded_mib;
    const char16_t *check_integrity, *enable_dialogs;
    uint32_t mib;
    StartupAction action;
    bool first_run, cache_ready;
};

TEST(StartupDecision, EveryRow) {
    const Row rows[] = {
        {"first start", false, false, false, false, 0, u"1", u"1", 0, A::BuildWatchOnly, true,
         false},
        {"cache file deleted", false, true, true, true, 3, u"1", u"1", 0, A::BuildWatchOnly, false,
         true},
        {"state file deleted", true, false, false, false, 0, u"1", u"1", 50, A::None, true, true},
        {"build cut off", true, true, false, true, 0, u"1", u"1", 1, A::Rebuild, false, true},
        {"crash, dialogs on", true, true, true, false, 0, u"1", u"1", 50, A::AskThenRebuild, false,
         true},
        {"crash, dialogs off", true, true, true, false, 0, u"1", u"0", 50, A::Rebuild, false, true},
        {"crash, integrity 2 is off", true, true, true, false, 11, u"2", u"1", 20, A::Defragment,
         false, true},
        {"crash, integrity off, small", true, true, true, false, 11, u"0", u"1", 19, A::None, false,
         true},
        {"size missing, 9 MiB", true, true, true, true, 0, u"1", u"1", 9, A::Defragment, false,
         true},
        {"size missing, 8 MiB", true, true, true, true, 0, u"1", u"1", 8, A::None, false, true},
        {"20 MiB against 11", true, true, true, true, 11, u"1", u"1", 20, A::Defragment, false,
         true},
        {"20 MiB against 12", true, true, true, true, 12, u"1", u"1", 20, A::None, false, true},
        {"negative size wraps", true, true, true, true, uint32_t(-20), u"1", u"1", 4000, A::None,
         false, true},
    };
    for (const Row& row : rows) {
        StartupInputs in;
        in.cache_exists = row.cache;
        in.state_exists = row.state;
        in.update_cache_ended = row.update_ended;
        in.program_exited_cleanly = row.program_exited;
        in.recorded_mib = row.recorded_mib;
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
    EXPECT_FALSE(none.update_cache_ended);
    EXPECT_EQ(none.recorded_mib, 0u);
    EXPECT_EQ(none.check_integrity, u"1");
    EXPECT_EQ(none.enable_dialogs, u"1");

    test::WriteFileOfSize(dir.path() / "default.db", 9 * 1048576 + 1048575);
    // Written as another program may write them: a flag reads as set in any case.
    ASSERT_TRUE(platform::WriteIniString(state, u"STATEINFO", u"UpdateCacheExit", u"true"));
    ASSERT_TRUE(platform::WriteIniString(state, u"STATEINFO", u"ProgramExit", u"FALSE"));
    ASSERT_TRUE(platform::WriteIniString(state, u"STATEINFO", u"CacheFileSize", u"12"));
    ASSERT_TRUE(platform::WriteIniString(settings, u"OPTIONS", u"CHECK_INTEGRITY", u"0"));

    const StartupInputs all = ReadStartupInputs(cache, state, settings);
    EXPECT_TRUE(all.cache_exists);
    EXPECT_TRUE(all.state_exists);
    EXPECT_EQ(all.measured_mib, 9u);
    EXPECT_TRUE(all.update_cache_ended);
    EXPECT_FALSE(all.program_exited_cleanly);
    EXPECT_EQ(all.recorded_mib, 12u);
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
