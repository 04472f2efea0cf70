// corvella search: one query over the cache, printed one result a line or as a count. The
// keeper of the cache (`corvella watch` on POSIX, the desktop program on Windows) answers it
// when one runs; otherwise this process walks the file.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/cli.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/local_time.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "results/sort_results.h"
#include "search/matchers.h"
#include "search/search_criteria.h"
#include "search/search_engine.h"
#include "serve/keeper_client.h"
#include "serve/search_answer.h"

namespace corvella {

namespace {

// A whole number as typed, up to what 32 bits hold.
std::optional<uint32_t> ParseKB(const std::u16string& text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    uint64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    if (value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<uint32_t>(value);
}

std::optional<uint64_t> ParseDay(const std::u16string& text, bool end_of_day) {
    // YYYY-MM-DD
    if (text.size() != 10 || text[4] != u'-' || text[7] != u'-') return std::nullopt;
    int parts[3] = {0, 0, 0};
    const size_t starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p) {
        for (size_t i = starts[p]; i < starts[p] + lengths[p]; ++i) {
            if (text[i] < u'0' || text[i] > u'9') return std::nullopt;
            parts[p] = parts[p] * 10 + (text[i] - u'0');
        }
    }
    uint64_t filetime = 0;
    if (!platform::LocalDayToFileTime(parts[0], parts[1], parts[2], end_of_day, filetime))
        return std::nullopt;
    return filetime;
}

// Wall time of each run of some work, and the processor time of all threads, which a loaded
// machine skews less.
struct Times {
    std::vector<double> wall, cpu;
    template <typename Work>
    void Take(Work work) {
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t start_cpu = std::clock();
        work();
        cpu.push_back(1000.0 * double(std::clock() - start_cpu) / CLOCKS_PER_SEC);
        wall.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::pair<double, double> Medians() {
        std::sort(wall.begin(), wall.end());
        std::sort(cpu.begin(), cpu.end());
        return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
    }
};

std::optional<SortKey> ParseSort(const std::u16string& text) {
    if (text == u"name") return SortKey::Name;
    if (text == u"location") return SortKey::Location;
    if (text == u"size") return SortKey::Size;
    if (text == u"type") return SortKey::Type;
    if (text == u"date") return SortKey::Date;
    return std::nullopt;
}

int Bad(Console& console, const std::u16string& text) {
    console.Err(u"corvella: " + text);
    return kExitError;
}

// A location typed on a POSIX command line may be relative to the current folder; it is joined
// to it and its "." and ".." are resolved by name. Absolute locations are taken as typed: they
// resolve through the cache's own names.
std::u16string TypedLocation(const std::u16string& text) {
    const std::u16string trimmed(TrimBlanks(text));
    if (trimmed.empty() || trimmed == u"My Computer" || platform::kPathSeparator != u'/' ||
        trimmed[0] == u'/')
        return text;
    const std::u16string joined = platform::AbsolutePath(trimmed);
    std::vector<std::u16string> parts;
    for (size_t start = 1; start <= joined.size();) {
        size_t end = joined.find(u'/', start);
        if (end == std::u16string::npos) end = joined.size();
        const std::u16string part = joined.substr(start, end - start);
        if (part == u"..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != u".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::u16string location;
    for (const std::u16string& part : parts) location += u"/" + part;
    return location.empty() ? std::u16string(u"/") : location;
}

// The request the command line makes, or the exit code of a mistake in it (said on `console`).
std::variant<SearchRequest, int> ParseRequest(const CommandLine& command, Console& console) {
    if (command.positional.size() != 1) {
        return Bad(console,
                   command.positional.empty()
                       ? u"search needs a PATTERN (quote it, so that the shell leaves * alone)"
                       : u"search takes one PATTERN; put patterns in one argument, separated by ;");
    }
    SearchRequest request;
    request.cache_path = command.cache_path;
    SearchCriteria& criteria = request.criteria;
    criteria.pattern = command.positional[0];
    // "" and ";;" have no item to match; the window shows an empty list, a script needs a word.
    if (PreparePattern(QueryPattern(criteria.pattern)).front() == 0) {
        console.Err(u"corvella: an empty pattern matches nothing.");
        return kExitNothing;
    }
    if (command.Has(u"--in")) criteria.location = TypedLocation(command.options.at(u"--in"));
    if (command.Has(u"--files") && command.Has(u"--folders"))
        return Bad(console, u"--files and --folders exclude each other");
    if (command.Has(u"--files")) criteria.kind = SearchKind::FilesOnly;
    if (command.Has(u"--folders")) criteria.kind = SearchKind::FoldersOnly;
    criteria.no_subdirectories = command.Has(u"--no-subdirs");
    for (const auto& [option, enabled, bound] :
         {std::tuple{u"--min-size", &criteria.min_size_enabled, &criteria.min_size_kb},
          std::tuple{u"--max-size", &criteria.max_size_enabled, &criteria.max_size_kb}}) {
        if (!command.Has(option)) continue;
        const auto kb = ParseKB(command.options.at(option));
        if (!kb)
            return Bad(console, std::u16string(option) + u" needs a whole number of KB, not '" +
                                    command.options.at(option) + u"'");
        *enabled = true;
        *bound = *kb;
    }
    for (const auto& [option, enabled, bound, end] :
         {std::tuple{u"--modified-from", &criteria.date_from_enabled, &criteria.date_from, false},
          std::tuple{u"--modified-to", &criteria.date_to_enabled, &criteria.date_to, true}}) {
        if (!command.Has(option)) continue;
        const auto day = ParseDay(command.options.at(option), end);
        if (!day)
            return Bad(console, std::u16string(option) + u" needs a date as YYYY-MM-DD, not '" +
                                    command.options.at(option) + u"'");
        *enabled = true;
        *bound = *day;
    }
    if (command.Has(u"--sort")) {
        request.sort = ParseSort(command.options.at(u"--sort"));
        if (!request.sort) return Bad(console, u"--sort takes name, location, size, type or date");
    }
    request.threads = CQueryer::MachineThreads();
    if (command.Has(u"--threads")) {
        const auto n = ParseKB(command.options.at(u"--threads"));
        if (!n || *n == 0 || *n > kMostWalkThreads)
            return Bad(console, u"--threads needs a whole number from 1 to 256, not '" +
                                    command.options.at(u"--threads") + u"'");
        request.threads = *n;
    }
    request.threads = std::min(request.threads, kMostWalkThreads);
    if (command.Has(u"--format")) request.format = command.options.at(u"--format");
    request.count_only = command.Has(u"--count");
    return request;
}

}  // namespace

int RunSearch(const CommandLine& command, Console& console) {
    std::variant<SearchRequest, int> parsed = ParseRequest(command, console);
    if (const int* code = std::get_if<int>(&parsed)) return *code;
    const SearchRequest& request = std::get<SearchRequest>(parsed);
    // Checked before any cache is built for the search.
    std::u16string engine_name = u"walk";
    if (command.Has(u"--engine")) engine_name = command.options.at(u"--engine");
    // The index's routes answer the same; naming one measures or tests it alone.
    static const std::map<std::u16string, NameIndex::Route> kIndexRoutes = {
        {u"index", NameIndex::Route::Choose},
        {u"index-scan", NameIndex::Route::Scan},
        {u"index-postings", NameIndex::Route::Postings}};
    const auto route = kIndexRoutes.find(engine_name);
    if (engine_name != u"walk" && route == kIndexRoutes.end())
        return Bad(console, u"--engine takes walk, index, index-scan or index-postings");
    uint32_t repeat = 1;
    if (command.Has(u"--repeat")) {
        const auto n = ParseKB(command.options.at(u"--repeat"));
        if (!n || *n == 0 || *n > 100000)
            return Bad(console, u"--repeat needs a whole number from 1 to 100000, not '" +
                                    command.options.at(u"--repeat") + u"'");
        repeat = *n;
    }

    // A cache still being built is in use; one whose build was cut off is rebuilt over the
    // roots it had got to, as a missing one is built.
    const LastBuild last = LastBuildOf(command.cache_path, console);
    if (last == LastBuild::Building) return kExitError;
    if (!platform::FileExists(command.cache_path)) {
        console.Err(u"corvella: there is no cache at " + command.cache_path +
                    u" yet; building it first.");
        if (!BuildCacheFile(command.cache_path, DefaultRoots(), console)) return kExitError;
    } else if (last == LastBuild::CutOff) {
        console.Err(std::u16string(kBuildCutOff) + u"; building it first.");
        std::vector<std::u16string> roots = CacheRoots(command.cache_path);
        if (roots.empty()) roots = DefaultRoots();
        if (!BuildCacheFile(command.cache_path, roots, console)) return kExitError;
    }

    const bool verbose = command.Has(u"-v");
    // The keeper's answer is printed only once it has come whole, so that a keeper going away
    // mid-answer leaves nothing printed before the walk's own answer. An engine named or a
    // repeat asked for measures this process, so no keeper is asked then.
    if (!command.Has(u"--engine") && repeat == 1) {
        if (const std::optional<serve::SearchAnswer> answer = AskKeeper(request)) {
            PlayBack(answer->lines, console);
            if (verbose)
                console.Err(u"corvella: answered by the keeper (cache generation " +
                            FromUtf8(std::to_string(answer->generation)) + u")");
            return answer->exit_code;
        }
    }

    ConsoleErrors errors(console);
    CQueryer queryer(errors, command.cache_path);
    queryer.SetWalkThreads(request.threads);
    WalkEngine walk(queryer);
    IndexedEngine indexed(errors, command.cache_path, queryer, platform::kPathSeparator,
                          request.threads);
    SearchEngine* engine = &walk;
    if (route != kIndexRoutes.end()) {
        indexed.SetRoute(route->second);
        indexed.RefreshNow();  // a file it cannot index is walked
        engine = &indexed;
    }
    EngineAnswer answer;
    // The queries; and apart from them, writing every record of a listing the index left
    // pending, which a list view never pays but sorting, saving and printing do.
    Times queries, writes;
    for (uint32_t i = 0; i < repeat; ++i) {
        queries.Take([&] { answer = engine->Run(request.criteria, request.count_only); });
        if (answer.outcome == QueryOutcome::Failed) break;
        if (repeat > 1 && answer.results && answer.results->pending()) {
            try {
                writes.Take([&] { answer.results->Complete(); });
            } catch (const std::bad_alloc&) {
                break;  // the printing below says so
            }
        }
    }
    if (repeat > 1) {
        const auto [wall, cpu] = queries.Medians();
        const IndexedEngine::IndexSize size = indexed.SizeOfIndex();
        char line[320];
        int used = std::snprintf(line, sizeof line,
                                 "corvella: %zu queries by the %s, median %.3f ms each (cpu %.3f "
                                 "ms); index: %zu entries, %zu names, %zu bytes",
                                 queries.wall.size(), answer.from_index ? "index" : "walk", wall,
                                 cpu, size.entries, size.names, size.bytes);
        if (!writes.wall.empty() && used > 0 && size_t(used) < sizeof line) {
            const auto [write_wall, write_cpu] = writes.Medians();
            std::snprintf(line + used, sizeof line - size_t(used),
                          "; every record written: median %.3f ms more (cpu %.3f ms)", write_wall,
                          write_cpu);
        }
        console.Err(FromUtf8(line));
    }
    const int code = PrintAnswer(request, answer, console);
    if (verbose)
        console.Err(answer.from_index ? u"corvella: answered from an index this process read"
                                      : u"corvella: answered by walking the cache file");
    return code;
}

}  // namespace corvella
