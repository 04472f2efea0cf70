#include "cli/cli.h"

#include "cache/cache_shared.h"
#include "platform/drives.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace corvella {

namespace {

constexpr char16_t kUsage[] =
    u"usage: corvella COMMAND [--cache FILE] [ARGUMENTS]\n"
    u"\n"
    u"  index [--cache FILE] [ROOT...]   build the cache (default roots: the fixed drives)\n"
    u"  check [--cache FILE]             verify the cache; exit 1 when it is damaged\n"
    u"\n"
    u"The default cache is the desktop program's on Windows, and\n"
    u"$XDG_DATA_HOME/corvella/default.db (else ~/.local/share/corvella/default.db) on Linux.";

std::u16string DefaultCachePath() {
    const std::u16string folder = platform::DataFolder();
    CCacheShared& shared = CCacheShared::Instance();
    shared.LoadCachePath(folder, folder + platform::kPathSeparator + u"settings.ini");
    return shared.GetCachePath();
}

int UsageError(Console& console, std::u16string_view problem) {
    console.Err(u"corvella: " + std::u16string(problem));
    console.Err(u"Run 'corvella --help' for the commands and their options.");
    return kExitError;
}

}  // namespace

int RunCli(const std::vector<std::u16string>& args, Console& console) {
    if (args.empty()) {
        console.Err(kUsage);
        return kExitError;
    }
    const std::u16string& command = args[0];
    if (command == u"--help" || command == u"-h" || command == u"help") {
        console.Out(kUsage);
        return kExitOk;
    }
    if (command != u"index" && command != u"check")
        return UsageError(console, u"unknown command '" + command + u"'");

    CacheOption cache;
    std::vector<std::u16string> positional;
    bool options_done = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (options_done || arg.empty() || arg[0] != u'-' || arg == u"-") {
            positional.push_back(arg);
        } else if (arg == u"--") {
            options_done = true;
        } else if (arg == u"--cache") {
            if (i + 1 >= args.size()) return UsageError(console, u"--cache needs a file name");
            cache.cache_path = args[++i];
        } else if (arg.rfind(u"--cache=", 0) == 0) {
            cache.cache_path = arg.substr(8);
        } else if (arg == u"--help" || arg == u"-h") {
            console.Out(kUsage);
            return kExitOk;
        } else {
            return UsageError(console, u"unknown option '" + arg + u"' for " + command);
        }
    }
    cache.cache_path =
        cache.cache_path.empty() ? DefaultCachePath() : platform::AbsolutePath(cache.cache_path);

    if (command == u"index") return RunIndex(cache, positional, console);
    if (!positional.empty())
        return UsageError(console,
                          u"check takes no arguments, but was given '" + positional[0] + u"'");
    return RunCheck(cache, console);
}

}  // namespace corvella
