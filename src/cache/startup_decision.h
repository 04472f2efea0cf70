// What a start does about the cache: build it, rebuild it, offer a rebuild, defragment it, or
// nothing. One pure decision over what the start reads, shared by the desktop program and
// `corvella watch`, so both take the same path from the same files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvella {

struct StartupInputs {
    bool cache_exists = false;
    bool state_exists = false;
    // The state file's flags and recorded size, as it reads them.
    bool update_cache_ended = false, program_exited_cleanly = false;
    uint32_t recorded_mib = 0;
    // Section "OPTIONS" of the settings file; on when the value reads as the number 1.
    std::u16string check_integrity = u"1", enable_dialogs = u"1";
    // The cache file's size in whole MiB; 0 when it could not be opened.
    uint32_t measured_mib = 0;
    // The file opened but does not read as a whole cache: cut short, or some other file.
    bool cache_damaged = false;
};

enum class StartupAction {
    BuildWatchOnly,  // no cache file: the watchers only watch, and a build starts
    Rebuild,         // the last build or defragmentation was cut off
    RebuildDamaged,  // the cache file is damaged, or is no cache file
    // The last run ended abnormally: ask whether to rebuild (Yes starts a build, No does nothing).
    AskThenRebuild,
    Defragment,  // the file has grown by 9 MiB or more since it was last written whole
    None,
};

struct StartupDecision {
    StartupAction action = StartupAction::None;
    bool first_run = false;  // no state file yet: the state file records the first run
    // The cache-ready flag once start-up is done. A start that finds a state file begins with
    // it set, and one that starts no build sets it at the end; so it is clear only on a first
    // run that builds. A rebuild leaves the previous, complete cache searchable, and for
    // AskThenRebuild it holds whatever the answer.
    bool cache_ready = false;
};

StartupDecision DecideStartup(const StartupInputs& in);
// An option of the settings file is on when its value reads as the number 1 ("2" is off).
bool OptionOn(std::u16string_view value);

// Reads what DecideStartup needs: whether the cache file exists, its size in MiB and whether it
// checks whole (0 and not damaged when it cannot be opened), the state file's keys, and the
// options.
StartupInputs ReadStartupInputs(const std::u16string& cache_path, const std::u16string& state_path,
                                const std::u16string& settings_path);

// How the last build or defragmentation of a cache ended, for a search or a check that must not
// take a cut-off build's leftovers for the whole cache, nor build again under one that runs.
enum class LastBuild {
    Ended,     // or never recorded
    CutOff,    // it did not end, and no one holds the cache to finish it
    Building,  // it has not ended, and a keeper or a build holds the cache: it is running now
};
// `holder` receives the holding process's id when Building (0 when unknown).
LastBuild ReadLastBuild(const std::u16string& cache_path, uint32_t& holder);

}  // namespace corvella
