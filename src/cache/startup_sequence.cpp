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
    // A first run has no state to act on: its cache is built above, or was left by a build.
    if (decision.first_run) {
        state.SetFirstRun();
    } else if (decision.action == StartupAction::Rebuild ||
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
