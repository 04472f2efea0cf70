// corvella watch: the background keeper. It takes the keeper's lock of the cache, so that it
// is the only keeper; takes the start-up decision the desktop program takes, without asking
// (where the program would ask, the answer is yes); builds or defragments as decided, and then
// keeps the cache current through the watchers until it is interrupted, leaving the state file
// as an orderly exit of the program does.
//
// Healing. A watcher that finds the file cut short or replaced by something that is no cache
// cannot apply anything to it again. It tells the main thread, which builds the cache again
// with the watchers paused (they record meanwhile, as during any build) and says so. That
// happens once per run: a cache damaged again right after its rebuild points at something
// outside the keeper that a second build would not mend, so it is reported and left alone.
//
// Serving. On POSIX the keeper answers the searches of its cache through a socket private to
// its user (serve/keeper_server.h), once the start-up is done and until it stops, from the
// in-memory index on all cores (the walk while the index is missing or stale). Each answer
// names the cache generation it came from.
#include <atomic>
#include <mutex>

#include "cache/block_reader.h"
#include "cache/cache_shared.h"
#include "cache/defragmenter.h"
#include "cache/startup_decision.h"
#include "cache/startup_sequence.h"
#include "cache/state_file.h"
#include "cli/cli.h"
#include "cli/interrupt.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/keeper_lock.h"
#include "platform/paths.h"
#include "watch/watcher_table.h"
#ifndef _WIN32
#include "platform/text.h"
#include "search/search_engine.h"
#include "serve/keeper_server.h"
#include "serve/search_answer.h"
#endif

namespace corvella {

namespace {

// The watchers' threads write here too; one line at a time.
class SerialConsole final : public Console {
  public:
    explicit SerialConsole(Console& console) : console_(console) {}
    void Out(std::u16string_view line) override {
        std::lock_guard lock(lock_);
        console_.Out(line);
    }
    void Err(std::u16string_view line) override {
        std::lock_guard lock(lock_);
        console_.Err(line);
    }
    void Progress(std::u16string_view text) override {
        std::lock_guard lock(lock_);
        console_.Progress(text);
    }
    void EndProgress() override {
        std::lock_guard lock(lock_);
        console_.EndProgress();
    }

  private:
    Console& console_;
    std::mutex lock_;
};

std::u16string FolderOf(const std::u16string& file) {
    const size_t cut = file.find_last_of(platform::kPathSeparator);
    return cut == std::u16string::npos ? std::u16string() : file.substr(0, cut + 1);
}

const char16_t* Describe(ApplyResult result) {
    switch (result) {
        case ApplyResult::Applied:
            return u"applied ";
        case ApplyResult::Dropped:
            return u"not in the cache: ";
        case ApplyResult::InUse:
            return u"cache file in use, will retry: ";
        case ApplyResult::RetryLater:
            return u"will retry: ";
        case ApplyResult::Damaged:
            return u"the cache file is damaged: ";
    }
    return u"";
}

// What the watchers found about the file, and what the main thread did about it.
enum class Health { Sound, HealWanted, Healed, ToldAgain };

#ifndef _WIN32
// Listens for the searches of `cache_path`, saying where, or why not.
void Serve(KeeperServer& server, const std::u16string& cache_path, Console& console) {
    std::u16string problem;
    const std::optional<std::string> path = platform::KeeperSocketPath(cache_path, true, problem);
    if (!path) {
        if (!problem.empty()) console.Err(u"corvella: not answering searches: " + problem);
        return;
    }
    const std::u16string shown = FromUtf8(*path);
    switch (server.Start(*path)) {
        case platform::ListenOutcome::Listening:
            console.Err(u"corvella: answering searches at " + shown);
            break;
        case platform::ListenOutcome::Occupied:
            console.Err(u"corvella: not answering searches: another program listens at " + shown);
            break;
        case platform::ListenOutcome::Failed:
            console.Err(u"corvella: not answering searches: cannot listen at " + shown);
            break;
    }
}
#endif

}  // namespace

int RunWatch(const CommandLine& command, Console& plain_console) {
    SerialConsole console(plain_console);
    const std::u16string& cache_path = command.cache_path;
    if (!platform::CreateParentFolders(cache_path)) {
        console.Err(u"corvella: cannot create the folder for the cache file " + cache_path);
        return kExitError;
    }
    platform::KeeperLock keeper;
    switch (keeper.Acquire(cache_path)) {
        case platform::KeeperLockOutcome::Held:
            break;
        case platform::KeeperLockOutcome::Taken:
            console.Err(u"corvella: the cache file " + cache_path + u" is kept by " +
                        HolderName(keeper.holder()) + u"; only one keeper runs on a cache.");
            return kExitError;
        case platform::KeeperLockOutcome::Failed:
            console.Err(u"corvella: cannot make the keeper's lock file " +
                        platform::KeeperLockPath(cache_path));
            return kExitError;
    }

    const std::optional<std::vector<std::u16string>> named =
        RootsOf(command.positional, u"watched", console);
    if (!named) return kExitError;
    std::vector<std::u16string> roots = *named;
    if (roots.empty()) roots = CacheRoots(cache_path);
    if (roots.empty()) roots = DefaultRoots();
    if (roots.empty()) {
        console.Err(u"corvella: there is no fixed drive to watch.");
        return kExitError;
    }

    StateFile state(StatePathFor(cache_path));
    const StartupDecision decision = DecideStartup(
        ReadStartupInputs(cache_path, state.path(), FolderOf(cache_path) + u"settings.ini"));

    ConsoleErrors errors(console);
    WatcherOptions options;
    options.errors = &errors;
    options.cache_path = cache_path;
    std::atomic<Health> health{Health::Sound};
    std::atomic<InterruptWait*> waiting{nullptr};
    const bool verbose = command.Has(u"-v");
    options.on_applied = [&](const std::u16string& folder, ApplyResult result) {
        if (verbose) console.Err(Describe(result) + folder);
        if (result != ApplyResult::Damaged) return;
        Health seen = Health::Sound;
        if (health.compare_exchange_strong(seen, Health::HealWanted)) {
            if (InterruptWait* wait = waiting.load()) wait->Wake();
        } else if (seen == Health::Healed &&
                   health.compare_exchange_strong(seen, Health::ToldAgain)) {
            console.Err(u"corvella: the cache file is damaged again after its rebuild; changes "
                        u"are not applied until 'corvella index' builds it.");
        }
    };
    CWatcherTable table(options, [roots] { return roots; });

    // As the desktop program's caching thread: the watchers record what changes meanwhile and
    // apply it to the new cache afterwards.
    const auto build = [&] {
        table.PauseWatchers();
        BuildCacheFile(cache_path, roots, console);
        table.ResumeWatchers();
    };
    StartupSteps steps;
    steps.start_watchers = [&table](bool watch_only) {
        if (watch_only)
            table.StartWatchersWatchOnly();
        else
            table.StartWatchers();
    };
    steps.build = [&](StartupAction why) {
        if (why == StartupAction::Rebuild)
            console.Err(u"corvella: the last build did not finish; building the cache again.");
        else if (why == StartupAction::RebuildDamaged)
            console.Err(u"corvella: the cache file is damaged; building the cache again.");
        else if (why == StartupAction::AskThenRebuild)
            console.Err(u"corvella: the last run ended abnormally; building the cache again.");
        build();
    };
    steps.confirm_rebuild = [] { return true; };  // where the program would ask
    steps.defragment = [&] {
        table.PauseWatchers();
        CCacheDefragmenter defragmenter(errors, cache_path);
        defragmenter.Defragment();
        table.ResumeWatchers();
    };
    CarryOutStartup(decision, state, steps);

    std::u16string watched;
    for (const std::u16string& root : roots) watched += (watched.empty() ? u"" : u", ") + root;
#ifndef _WIN32
    CQueryer walk(errors, cache_path);
    walk.SetWalkThreads(CQueryer::MachineThreads());
    IndexedEngine engine(errors, cache_path, walk, platform::kPathSeparator,
                         CQueryer::MachineThreads());
    engine.RefreshInBackground();
    KeeperServer server(
        [&](const serve::Bytes& body) { return AnswerRequestBody(body, cache_path, engine); });
    Serve(server, cache_path, console);
#endif
    InterruptWait interrupt;
    // Said once the watches are in place: a change made after this message is never missed.
    table.WaitUntilWatching();
    console.Err(u"corvella: watching " + watched + u"; Ctrl+C stops.");
    // Published before the first look at `health`: a watcher that finds the file damaged
    // either sees this waiter and wakes it, or set the flag before that look.
    waiting = &interrupt;
    for (;;) {
        if (health == Health::HealWanted) {
            console.Err(u"corvella: the cache file was cut short or replaced by another file; "
                        u"building the cache again.");
            build();
            health = Health::Healed;
        }
        if (interrupt.Wait()) break;
    }

#ifndef _WIN32
    server.Stop();
#endif
    table.StopWatchers();
    waiting = nullptr;
    state.SetProgramExit(true);
    console.Err(u"corvella: stopped watching.");
    interrupt.Done();
    return kExitOk;
}

}  // namespace corvella
