#include "cli/cli.h"

#include <set>

#include "cache/cache_shared.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace corvella {

namespace {

constexpr char16_t kUsage[] =
    u"usage: corvella COMMAND [--cache FILE] [OPTIONS] [ARGUMENTS]\n"
    u"\n"
    u"  search [--cache FILE] [OPTIONS] PATTERN   find names in the cache\n"
    u"  index [--cache FILE] [ROOT...]            build the cache (default roots: the fixed "
    u"drives)\n"
    u"  check [--cache FILE]                      verify the cache; exit 1 when it is damaged\n"
    u"  defrag [--cache FILE]                     rewrite the cache compactly\n"
    u"  update [--cache FILE] FOLDER...           rescan folders into the cache as the watchers "
    u"do\n"
    u"  watch [--cache FILE] [-v] [ROOT...]       keep the cache current until interrupted;\n"
    u"                                            -v prints each folder applied\n"
    u"\n"
    u"PATTERN: a plain text matches anywhere in a name; * matches any run of characters and ?\n"
    u"exactly one, over the whole name; several patterns are separated by ; (each then matches\n"
    u"the whole name). Case does not matter.\n"
    u"\n"
    u"search options:\n"
    u"  --in LOCATION                 search below this folder (\"My Computer\" or empty: "
    u"everything)\n"
    u"  --files | --folders           files only, or folders only\n"
    u"  --no-subdirs                  only entries directly in the location\n"
    u"  --min-size KB, --max-size KB  inclusive bounds on the size in KB (a folder: its contents)\n"
    u"  --modified-from DATE, --modified-to DATE\n"
    u"                                YYYY-MM-DD in local time, both days included\n"
    u"  --sort name|location|size|type|date\n"
    u"  --format FMT                  [FILEDIR] and [FILENAME] tokens; default "
    u"[FILEDIR][FILENAME]\n"
    u"  --count                       print only \"N items found (MKB)\"\n"
    u"  --threads N                   walk the cache on N threads (default: one per core)\n"
    u"  --engine walk|index           walk the file (default), or read it into the in-memory\n"
    u"                                index first and answer from that (same results);\n"
    u"                                index-scan, index-postings: the index by one route\n"
    u"  --repeat N                    run the query N times; stderr gets the median time\n"
    u"  -v                            say on stderr whether the keeper or a walk answered\n"
    u"\n"
    u"The default cache is the desktop program's on Windows, and\n"
    u"$XDG_DATA_HOME/corvella/default.db (else ~/.local/share/corvella/default.db) on Linux.\n"
    u"A running keeper of the cache answers its searches: 'corvella watch' through a socket in\n"
    u"$XDG_RUNTIME_DIR/corvella/ on Linux, the desktop program through a named pipe on Windows.\n"
    u"Without one, or with CORVELLA_NO_KEEPER=1, search walks the cache file itself. The answer\n"
    u"is the same either way.\n"
    u"Exit status: 0 found, 1 nothing found (check: damaged), 2 an error.";

const std::set<std::u16string> kValueOptions = {
    u"--cache",         u"--in",          u"--min-size", u"--max-size",
    u"--modified-from", u"--modified-to", u"--sort",     u"--format",
    u"--threads",       u"--engine",      u"--repeat"};
const std::set<std::u16string> kFlagOptions = {u"--files", u"--folders", u"--no-subdirs",
                                               u"--count", u"-v"};
std::u16string DefaultCachePath() {
    const std::u16string folder = platform::DataFolder();
    return CachePathFromSettings(folder, folder + platform::kPathSeparator + u"settings.ini");
}

int UsageError(Console& console, std::u16string_view problem) {
    console.Err(u"corvella: " + std::u16string(problem));
    console.Err(u"Run 'corvella --help' for the commands and their options.");
    return kExitError;
}

}  // namespace

std::vector<std::u16string> DefaultRoots() {
    return platform::FixedDriveRoots();
}

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
    const std::set<std::u16string> commands = {u"index",  u"check",  u"search",
                                               u"defrag", u"update", u"watch"};
    if (commands.count(command) == 0)
        return UsageError(console, u"unknown command '" + command + u"'");

    CommandLine line;
    bool options_done = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (options_done || arg.size() < 2 || arg[0] != u'-') {
            line.positional.push_back(arg);
            continue;
        }
        if (arg == u"--") {
            options_done = true;
            continue;
        }
        if (arg == u"--help" || arg == u"-h") {
            console.Out(kUsage);
            return kExitOk;
        }
        std::u16string name = arg, value;
        const size_t eq = arg.find(u'=');
        const bool inline_value = eq != std::u16string::npos;
        if (inline_value) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        const bool takes_value = kValueOptions.count(name) != 0;
        if (!takes_value && kFlagOptions.count(name) == 0)
            return UsageError(console, u"unknown option '" + arg + u"' for " + command);
        if (name == u"-v" && command != u"watch" && command != u"search")
            return UsageError(console, u"-v is an option of watch and search, not of " + command);
        if (command != u"search" && name != u"--cache" && name != u"-v")  // the rest are search's
            return UsageError(console, name + u" is an option of search, not of " + command);
        if (takes_value && !inline_value) {
            if (i + 1 >= args.size())
                return UsageError(console, name == u"--cache"
                                               ? std::u16string(u"--cache needs a file name")
                                               : name + u" needs a value");
            value = args[++i];
        } else if (!takes_value && inline_value) {
            return UsageError(console, name + u" takes no value");
        }
        if (name == u"--cache" && value.empty())
            return UsageError(console, u"--cache needs a file name");
        line.options[name] = value;
    }
    line.cache_path = line.Has(u"--cache") ? platform::AbsolutePath(line.options[u"--cache"])
                                           : DefaultCachePath();
    // A folder, a FIFO or a device in the cache's place is refused before anything waits on it
    // or walks for it.
    const platform::PathKind kind = platform::KindOf(line.cache_path);
    if (kind == platform::PathKind::Folder || kind == platform::PathKind::Other) {
        console.Err(u"corvella: the cache " + line.cache_path + u" is not a regular file.");
        return kExitError;
    }

    if (command == u"index") return RunIndex(line, console);
    if (command == u"search") return RunSearch(line, console);
    if (command == u"update") return RunUpdate(line, console);
    if (command == u"watch") return RunWatch(line, console);
    if (!line.positional.empty())
        return UsageError(
            console, command + u" takes no arguments, but was given '" + line.positional[0] + u"'");
    if (command == u"defrag") return RunDefrag(line, console);
    return RunCheck(line, console);
}

}  // namespace corvella
