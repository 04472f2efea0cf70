#include "cache/startup_sequence.h"

namespace corvella {

bool CarryOutStartup(const StartupDecision& decision, StateFile& state, const StartupSteps& steps) {
    bool built = false;
    if (decision.action == StartupAction::BuildWatchOnly) {
        steps.start_watchers(/*watch_only=*/true);
        steps.build(decision.action);
        built = true;
    } else {
        steps.start_watchers(/*watch_only=*/false);
    }
    // A first run has no flags to act on (the decision is a build or nothing then), but its
    // file may still be damaged.
    if (decision.first_run) state.SetFirstRun();
    if (decision.action == StartupAction::Rebuild ||
        decision.action == StartupAction::RebuildDamaged ||
        (decision.action == StartupAction::AskThenRebuild && steps.confirm_rebuild())) {
        steps.build(decision.action);
        built = true;
    } else if (decision.action == StartupAction::Defragment) {
        steps.defragment();
    }
    state.SetProgramExit(false);
    return built;
}

}  // namespace corvella
