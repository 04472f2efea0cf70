// The start-up decision over every combination of files and flags that changes it, and the reading
// of those inputs from real files.
#include "cache/startup_decision.h"

#include <gtest/gtest.h>

#include "platform/file.h"
#include "platform/profile.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

using A = StartupAction;

// The inputs in their declared order: cache, state, update ended, exited cleanly, recorded MiB,
// check integrity, dialogs, measured MiB.
struct Row {
    const char* what;
    StartupInputs in;
    StartupAction action;
    bool first_run, cache_ready;
};

TEST(StartupDecision, EveryRow) {
    const Row rows[] = {
        {"first start", {0, 0, 0, 0, 0, u"1", u"1", 0}, A::BuildWatchOnly, 1, 0},
        {"cache file deleted", {0, 1, 1, 1, 3, u"1", u"1", 0}, A::BuildWatchOnly, 0, 1},
        {"state file deleted", {1, 0, 0, 0, 0, u"1", u"1", 50}, A::None, 1, 1},
        {"build cut off", {1, 1, 0, 1, 0, u"1", u"1", 1}, A::Rebuild, 0, 1},
        {"crash, dialogs on", {1, 1, 1, 0, 0, u"1", u"1", 50}, A::AskThenRebuild, 0, 1},
        {"crash, dialogs off", {1, 1, 1, 0, 0, u"1", u"0", 50}, A::Rebuild, 0, 1},
        {"crash, integrity 2 is off", {1, 1, 1, 0, 11, u"2", u"1", 20}, A::Defragment, 0, 1},
        {"crash, integrity off, small", {1, 1, 1, 0, 11, u"0", u"1", 19}, A::None, 0, 1},
        {"size missing, 9 MiB", {1, 1, 1, 1, 0, u"1", u"1", 9}, A::Defragment, 0, 1},
        {"size missing, 8 MiB", {1, 1, 1, 1, 0, u"1", u"1", 8}, A::None, 0, 1},
        {"20 MiB against 11", {1, 1, 1, 1, 11, u"1", u"1", 20}, A::Defragment, 0, 1},
        {"20 MiB against 12", {1, 1, 1, 1, 12, u"1", u"1", 20}, A::None, 0, 1},
        {"negative size wraps", {1, 1, 1, 1, uint32_t(-20), u"1", u"1", 4000}, A::None, 0, 1},
    };
    for (const Row& row : rows) {
        const StartupDecision d = DecideStartup(row.in);
        EXPECT_TRUE(d.action == row.action && d.first_run == row.first_run &&
                    d.cache_ready == row.cache_ready)
            << row.what;
    }
}

// The inputs as one line, to compare whole.
std::string Show(const StartupInputs& in) {
    return std::to_string(in.cache_exists) + std::to_string(in.state_exists) + " " +
           std::to_string(in.measured_mib) + " " + std::to_string(in.update_cache_ended) +
           std::to_string(in.program_exited_cleanly) + " " + std::to_string(in.recorded_mib) + " " +
           test::Narrow(in.check_integrity) + test::Narrow(in.enable_dialogs);
}

TEST(StartupInputs, ReadFromTheFilesOrTheirDefaults) {
    test::TempDir dir;
    const std::u16string cache = dir.U16("default.db"), state = dir.U16("stateinfo.ini"),
                         settings = dir.U16("settings.ini");
    EXPECT_EQ(Show(ReadStartupInputs(cache, state, settings)), "00 0 00 0 11");

    test::WriteFileOfSize(dir.path() / "default.db", 9 * 1048576 + 1048575);
    // Written as another program may write them: a flag reads as set in any case.
    ASSERT_TRUE(platform::WriteIniString(state, u"STATEINFO", u"UpdateCacheExit", u"true"));
    ASSERT_TRUE(platform::WriteIniString(state, u"STATEINFO", u"ProgramExit", u"FALSE"));
    ASSERT_TRUE(platform::WriteIniString(state, u"STATEINFO", u"CacheFileSize", u"12"));
    ASSERT_TRUE(platform::WriteIniString(settings, u"OPTIONS", u"CHECK_INTEGRITY", u"0"));
    EXPECT_EQ(Show(ReadStartupInputs(cache, state, settings)), "11 9 10 12 01");

    // A cache file that another program holds cannot be measured.
    platform::ExclusiveFile holder;
    ASSERT_TRUE(holder.OpenExisting(cache));
    EXPECT_EQ(Show(ReadStartupInputs(cache, state, settings)), "11 0 10 12 01");
}

}  // namespace
}  // namespace corvella
