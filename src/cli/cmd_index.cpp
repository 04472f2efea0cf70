// corvella index: one build of the cache over the given roots or the fixed drives.
#include "cache/cache_shared.h"
#include "cache/cacher.h"
#include "cache/state_file.h"
#include "cli/cli.h"
#include "platform/drives.h"
#include "platform/paths.h"

namespace corvella {

bool BuildCacheFile(const std::u16string& cache_path, const std::vector<std::u16string>& roots,
                    Console& console) {
    if (!platform::CreateParentFolders(cache_path)) {
        console.Err(u"corvella: cannot create the folder for the cache file " + cache_path);
        return false;
    }
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
    state.SetUpdateCacheExit(true);
    // A cache no program has kept yet was not left by an abnormal end: the keeper's first start
    // on it must not take it for one and build it again.
    if (!state.ProgramExitRecorded()) state.SetProgramExit(true);
    return built;
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
