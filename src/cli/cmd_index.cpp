// corvella index: one build of the cache over the given roots or the fixed drives.
#include "cache/block_reader.h"
#include "cache/cache_shared.h"
#include "cache/cacher.h"
#include "cache/state_file.h"
#include "cli/cli.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/keeper_lock.h"
#include "platform/text.h"
#include "results/results_writer.h"
#include "platform/paths.h"

namespace corvella {

bool BuildCacheFile(const std::u16string& cache_path, const std::vector<std::u16string>& roots,
                    Console& console) {
    if (!platform::CreateParentFolders(cache_path)) {
        console.Err(u"corvella: cannot create the folder for the cache file " + cache_path);
        return false;
    }
    // Held while the build runs when no keeper holds it (a keeper's own builds come here too):
    // a search then waits for this build instead of taking its unended state for a cut-off
    // build and starting another, and a keeper starting meanwhile does not build under it.
    platform::KeeperLock building;
    building.Acquire(cache_path);
    // Unended while the build runs: one cut off is rebuilt by the next start of the keeper or
    // the desktop program. Ended after it, also when it failed, as the program's own builds.
    StateFile state(StatePathFor(cache_path));
    state.SetUpdateCacheExit(false);
    ConsoleErrors errors(console);
    ConsoleStatus status(console);
    CCacher cacher(errors, cache_path);
    cacher.SetStatusWindow(&status);
    const bool built = cacher.BuildCache(roots);
    console.EndProgress();
    if (cacher.unread_folders() != 0) {
        const bool all_named = cacher.unread_folders() <= ConsoleStatus::kFoldersNamed;
        console.Err(u"corvella: " + FormatThousands(cacher.unread_folders()) +
                    (cacher.unread_folders() == 1 ? u" folder" : u" folders") +
                    u" could not be read" +
                    (all_named ? u"" : u" (the first " +
                                           FormatThousands(ConsoleStatus::kFoldersNamed) +
                                           u" are named above)") +
                    u"; what they hold is not in the cache.");
    }
    state.SetUpdateCacheExit(true);
    // A cache no program has kept yet was not left by an abnormal end: the keeper's first start
    // on it must not take it for one and build it again.
    if (!state.ProgramExitRecorded()) state.SetProgramExit(true);
    return built;
}

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

std::u16string HolderName(uint32_t process_id) {
    return process_id == 0 ? std::u16string(u"another process")
                           : u"process " + Widen(std::to_string(process_id));
}

LastBuild LastBuildOf(const std::u16string& cache_path, Console& console) {
    uint32_t holder = 0;
    const LastBuild last = ReadLastBuild(cache_path, holder);
    if (last == LastBuild::Building) {
        console.Err(u"corvella: the cache file " + cache_path + u" is in use: " +
                    HolderName(holder) + u" is building it; try again when it has finished.");
    }
    return last;
}

bool HaveCacheFile(const std::u16string& cache_path, Console& console) {
    if (platform::FileExists(cache_path)) return true;
    console.Err(u"corvella: there is no cache file at " + cache_path +
                u"; 'corvella index' builds one.");
    return false;
}

std::optional<std::vector<std::u16string>> RootsOf(const std::vector<std::u16string>& args,
                                                   const char16_t* verb, Console& console) {
    std::vector<std::u16string> roots;
    for (const std::u16string& arg : args) {
        const std::optional<std::u16string> root = platform::FolderRoot(arg);
        if (!root) {
            console.Err(u"corvella: '" + arg + u"' is not a folder that can be " + verb + u".");
            return std::nullopt;
        }
        roots.push_back(*root);
    }
    return roots;
}

int RunIndex(const CommandLine& command, Console& console) {
    std::optional<std::vector<std::u16string>> roots =
        RootsOf(command.positional, u"indexed", console);
    if (!roots) return kExitError;
    if (roots->empty()) roots = DefaultRoots();
    if (roots->empty()) {
        console.Err(u"corvella: there is no fixed drive to index.");
        return kExitError;
    }
    return BuildCacheFile(command.cache_path, *roots, console) ? kExitOk : kExitError;
}

}  // namespace corvella
