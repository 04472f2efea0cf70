// Carrying out the start-up decision: the one sequence that the desktop program and
// `corvella watch` both follow, with what differs between them (how a build runs, whether the
// user is asked, how a defragmentation shows itself) given as steps.
#pragma once

#include <functional>

#include "cache/startup_decision.h"
#include "cache/state_file.h"

namespace corvella {

struct StartupSteps {
    // Starts the watchers: only recording changes (watch_only) while the first build runs, else
    // applying them too.
    std::function<void(bool watch_only)> start_watchers;
    // Builds the cache, at once or on a thread of the program's; `why` is BuildWatchOnly,
    // Rebuild, RebuildDamaged or AskThenRebuild.
    std::function<void(StartupAction why)> build;
    // For AskThenRebuild: whether to build again.
    std::function<bool()> confirm_rebuild;
    std::function<void()> defragment;
};

// Starts the watchers, then builds, rebuilds or defragments as decided, and records in the
// state file that a program keeps the cache now (and, on a first run, that one has run). True
// when a build was started.
bool CarryOutStartup(const StartupDecision& decision, StateFile& state, const StartupSteps& steps);

}  // namespace corvella
