// The command line: `corvella COMMAND [options] [arguments]`.
#pragma once

#include <string>
#include <vector>

#include "cli/console.h"

namespace corvella {

// Exit codes follow grep.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNothing = 1;  // nothing found; for check, a damaged cache
inline constexpr int kExitError = 2;

// `args` excludes the program name.
int RunCli(const std::vector<std::u16string>& args, Console& console);

// Commands, with their arguments after the command name.
struct CacheOption {
    std::u16string cache_path;  // absolute; the default cache when not given
};
int RunIndex(const CacheOption& cache, const std::vector<std::u16string>& roots, Console& console);
int RunCheck(const CacheOption& cache, Console& console);

}  // namespace corvella
