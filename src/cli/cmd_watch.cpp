// corvella watch: the background keeper. It takes the start-up decision the desktop program
// takes, without asking (where the program would ask, the answer is yes), builds or
// defragments as decided, and then keeps the cache current through the watchers until it is
// interrupted, leaving the state file as an orderly exit of the program does.
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
#include "platform/paths.h"
#include "watch/watcher_table.h"

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

// The roots an existing cache covers, from its drive list: what `watch` keeps current when no
// roots are named.
std::vector<std::u16string> CacheRoots(const std::u16string& cache_path) {
    std::vector<std::u16string> roots;
    platform::MappedFile file;
    if (file.OpenExisting(cache_path, platform::MappedFile::Access::ReadOnly) !=
            platform::MapStep::Done ||
        file.size() < kFirstBlockOffset || file.size() > kMaxCacheBytes)
        return roots;
    const CacheView view{file.data(), static_cast<uint32_t>(file.size())};
    BlockReader reader(view, kRootBlockOffset);
    EntryView e;
    while (reader.NextEntry(e)) {
        std::u16string root = e.Name(view);
        if (root.empty()) continue;
        if (root.back() != platform::kPathSeparator) root += platform::kPathSeparator;
        if (platform::FolderRoot(root)) roots.push_back(root);
    }
    return roots;
}

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
    }
    return u"";
}

}  // namespace

int RunWatch(const CommandLine& command, Console& plain_console) {
    SerialConsole console(plain_console);
    const std::u16string& cache_path = command.cache_path;
    if (!platform::CreateParentFolders(cache_path)) {
        console.Err(u"corvella: cannot create the folder for the cache file " + cache_path);
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
    if (command.Has(u"-v")) {
        options.on_applied = [&console](const std::u16string& folder, ApplyResult result) {
            console.Err(Describe(result) + folder);
        };
    }
    CWatcherTable table(options, [roots] { return roots; });

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
        else if (why == StartupAction::AskThenRebuild)
            console.Err(u"corvella: the last run ended abnormally; building the cache again.");
        // As the desktop program's caching thread: the watchers record what changes meanwhile
        // and apply it to the new cache afterwards.
        table.PauseWatchers();
        BuildCacheFile(cache_path, roots, console);
        table.ResumeWatchers();
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
    InterruptWait interrupt;
    console.Err(u"corvella: watching " + watched + u"; Ctrl+C stops.");
    interrupt.Wait();

    table.StopWatchers();
    state.SetProgramExit(true);
    console.Err(u"corvella: stopped watching.");
    interrupt.Done();
    return kExitOk;
}

}  // namespace corvella
