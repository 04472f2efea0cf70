#include "cache/startup_decision.h"

#include "cache/cache_check.h"
#include "cache/cache_shared.h"
#include "cache/state_file.h"
#include "platform/file.h"
#include "platform/keeper_lock.h"
#include "platform/ini_text.h"
#include "platform/profile.h"

namespace corvella {

bool OptionOn(std::u16string_view value) {
    return IniNumber(value) == 1;
}

StartupDecision DecideStartup(const StartupInputs& in) {
    StartupDecision decision;
    decision.first_run = !in.state_exists;
    if (!in.cache_exists) {
        decision.action = StartupAction::BuildWatchOnly;
    } else if (in.cache_damaged) {
        decision.action = StartupAction::RebuildDamaged;
    } else if (!in.state_exists) {
        decision.action = StartupAction::None;
    } else if (!in.update_cache_ended) {
        decision.action = StartupAction::Rebuild;
    } else if (!in.program_exited_cleanly && OptionOn(in.check_integrity)) {
        decision.action =
            OptionOn(in.enable_dialogs) ? StartupAction::AskThenRebuild : StartupAction::Rebuild;
    } else {
        // Summed unsigned, as the measured size is kept.
        const uint32_t threshold = in.recorded_mib + 9u;
        if (in.measured_mib >= threshold) decision.action = StartupAction::Defragment;
    }
    const bool builds = decision.action == StartupAction::BuildWatchOnly ||
                        decision.action == StartupAction::Rebuild ||
                        decision.action == StartupAction::RebuildDamaged;
    decision.cache_ready = in.state_exists || !builds;
    return decision;
}

StartupInputs ReadStartupInputs(const std::u16string& cache_path, const std::u16string& state_path,
                                const std::u16string& settings_path) {
    StartupInputs in;
    in.cache_exists = platform::FileExists(cache_path);
    {
        platform::MappedFile cache;
        switch (cache.OpenExisting(cache_path, platform::MappedFile::Access::ReadOnly)) {
            case platform::MapStep::Done:
                in.measured_mib = uint32_t(cache.size() / 1048576);
                // A whole walk, once per start: an update trusts what it finds there.
                in.cache_damaged =
                    cache.size() > kMaxCacheBytes ||
                    !CheckCache(CacheView{cache.data(), uint32_t(cache.size())}).ok;
                break;
            case platform::MapStep::File:
                break;  // missing, or held by another opener
            default:
                in.cache_damaged = true;  // an empty file cannot be mapped
                break;
        }
    }
    const StateFile state(state_path);
    in.state_exists = state.Exists();
    in.update_cache_ended = state.UpdateCacheEnded();
    in.program_exited_cleanly = state.ProgramExitedCleanly();
    in.recorded_mib = state.CacheFileSizeMiB();
    in.check_integrity =
        platform::ReadIniString(settings_path, u"OPTIONS", u"CHECK_INTEGRITY", u"1");
    in.enable_dialogs =
        platform::ReadIniString(settings_path, u"OPTIONS", u"ENABLE_DIALOGS", u"1");
    return in;
}

LastBuild ReadLastBuild(const std::u16string& cache_path, uint32_t& holder) {
    const StateFile state(StatePathFor(cache_path));
    if (!state.Exists() || state.UpdateCacheEnded()) return LastBuild::Ended;
    const std::optional<uint32_t> keeper = platform::KeeperOf(cache_path);
    if (!keeper) return LastBuild::CutOff;
    holder = *keeper;
    return LastBuild::Building;
}

}  // namespace corvella
