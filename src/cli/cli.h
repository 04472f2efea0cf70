// The command line: `corvella COMMAND [options] [arguments]`.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cache/startup_decision.h"
#include "cli/console.h"

namespace corvella {

// Exit codes follow grep.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNothing = 1;  // nothing found; for check, a damaged cache
inline constexpr int kExitError = 2;

// `args` excludes the program name.
int RunCli(const std::vector<std::u16string>& args, Console& console);

// A command's parsed arguments.
struct CommandLine {
    std::u16string cache_path;                         // absolute; the default cache when not given
    std::map<std::u16string, std::u16string> options;  // "--in" -> value; flags -> ""
    std::vector<std::u16string> positional;
    bool Has(const std::u16string& option) const { return options.count(option) != 0; }
};

int RunIndex(const CommandLine& command, Console& console);
int RunCheck(const CommandLine& command, Console& console);
int RunSearch(const CommandLine& command, Console& console);
int RunUpdate(const CommandLine& command, Console& console);
int RunWatch(const CommandLine& command, Console& console);
int RunDefrag(const CommandLine& command, Console& console);

// How the last build of the cache ended; Building (another process builds it now) said as the
// answer for a cache file in use.
LastBuild LastBuildOf(const std::u16string& cache_path, Console& console);
inline constexpr char16_t kBuildCutOff[] = u"corvella: the last build of this cache did not finish";

// False, having said so, when there is no cache file yet.
bool HaveCacheFile(const std::u16string& cache_path, Console& console);
// The named folders as roots ("/srv/data/"), or nothing, having said which one is not a folder
// (`verb`: "indexed", "watched").
std::optional<std::vector<std::u16string>> RootsOf(const std::vector<std::u16string>& args,
                                                   const char16_t* verb, Console& console);

// The roots an existing cache covers, from its drive list; none when it cannot be read.
std::vector<std::u16string> CacheRoots(const std::u16string& cache_path);
// "process 1234", or "another process" when the id is not known.
std::u16string HolderName(uint32_t process_id);
// The roots a build covers when none are named: the fixed drives.
std::vector<std::u16string> DefaultRoots();
// Builds the cache at `cache_path` over `roots`, showing progress; true when it was written.
bool BuildCacheFile(const std::u16string& cache_path, const std::vector<std::u16string>& roots,
                    Console& console);

}  // namespace corvella
