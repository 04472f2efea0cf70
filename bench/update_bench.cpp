// Microseconds per folder update: what one changed folder costs the processor, in process.
//
//   update_bench --cache FILE [--updates N] [--seconds S] [--floor] FOLDER...
//
// For each FOLDER (a folder of a tree that FILE indexes) it adds a probe file to the folder and
// applies the folder, then removes the probe and applies it again, alternately, N times in all
// (default 400) or until S seconds have gone (default 20), whichever comes first, but at least
// six times. Only CFolderUpdater::ApplyFolderChange is timed: the listing of the folder, the
// lookup of its path, the new block and the mapping of the cache file, as a watcher's processor
// pays them; creating and removing the probe is not. The first add and remove are not timed: the
// first add moves a block that a build wrote exactly full, which happens once per folder.
//
// This program is single-threaded and alone with the cache file, so it takes no CacheFileLock;
// a search of another process would make an update return InUse, which ends the run.
//
// One line per folder on stdout, as key=value pairs after the folder:
//   entries  entries directly in the folder before the probe
//   updates  timed updates
//   median_us p90_us min_us  of all timed updates; add_us remove_us  medians of each kind
// With --floor, first a line for a folder the cache does not hold ("(not cached)"): the cost of
// opening, locking and mapping the cache file and finding nothing, which every update pays.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "cache/sinks.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "watch/folder_update.h"

namespace corvella {
namespace {

constexpr char kProbeName[] = "corvella-update-probe";

class StderrErrors final : public ErrorSink {
  public:
    void ShowError(std::u16string_view message) override {
        std::fprintf(stderr, "update_bench: %s\n", ToUtf8(message).c_str());
    }
};

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t at = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

const char* Describe(ApplyResult result) {
    switch (result) {
        case ApplyResult::Applied:
            return "applied";
        case ApplyResult::Dropped:
            return "dropped (not a folder of the cache)";
        case ApplyResult::InUse:
            return "in use by another process";
        case ApplyResult::RetryLater:
            return "out of memory or disk space";
        case ApplyResult::Damaged:
            return "the cache file is damaged";
    }
    return "?";
}

struct Options {
    std::string cache;
    long updates = 400;
    double seconds = 20;
    bool floor = false;
    std::vector<std::string> folders;
};

double TimedApply(CFolderUpdater& updater, const std::u16string& cache,
                  const std::u16string& folder, ApplyResult& result) {
    const auto start = std::chrono::steady_clock::now();
    result = updater.ApplyFolderChange(cache, folder);
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::micro>(end - start).count();
}

int Floor(CFolderUpdater& updater, const std::u16string& cache, const Options& options) {
    // No root of the cache is a prefix of this path, so the update ends right after the mapping.
    const std::u16string folder = u"/corvella-update-bench-not-cached/";
    std::vector<double> times;
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < options.updates * 4; ++i) {
        ApplyResult result;
        times.push_back(TimedApply(updater, cache, folder, result));
        if (result != ApplyResult::Dropped) {
            std::fprintf(stderr, "update_bench: a path outside the cache was %s\n",
                         Describe(result));
            return 1;
        }
        if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >
            options.seconds)
            break;
    }
    std::printf("(not cached) entries=0 updates=%zu median_us=%.1f p90_us=%.1f min_us=%.1f\n",
                times.size(), Percentile(times, 0.5), Percentile(times, 0.9), Percentile(times, 0));
    return 0;
}

int BenchFolder(CFolderUpdater& updater, const std::u16string& cache, const std::string& typed,
                const Options& options) {
    const std::optional<std::u16string> folder = platform::FolderRoot(FromUtf8(typed));
    if (!folder) {
        std::fprintf(stderr, "update_bench: %s is not a folder\n", typed.c_str());
        return 1;
    }
    const std::string native = ToUtf8(*folder);
    const std::filesystem::path probe = std::filesystem::path(native) / kProbeName;
    std::filesystem::remove(probe);
    size_t entries = 0;
    for (auto it = std::filesystem::directory_iterator(native);
         it != std::filesystem::directory_iterator(); ++it)
        ++entries;

    std::vector<double> adds, removes;
    const auto start = std::chrono::steady_clock::now();
    const long total = std::max(options.updates, 6L) + 2;
    for (long i = 0; i < total; ++i) {
        const bool add = i % 2 == 0;
        if (add) {
            std::ofstream create(probe);
        } else {
            std::filesystem::remove(probe);
        }
        ApplyResult result;
        const double us = TimedApply(updater, cache, *folder, result);
        if (result != ApplyResult::Applied) {
            std::filesystem::remove(probe);
            std::fprintf(stderr, "update_bench: %s was %s\n", native.c_str(), Describe(result));
            return 1;
        }
        if (i >= 2) (add ? adds : removes).push_back(us);
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // Stop after a remove, so the folder ends as it began.
        if (!add && i >= 7 && elapsed > options.seconds) break;
    }
    std::filesystem::remove(probe);

    std::vector<double> all = adds;
    all.insert(all.end(), removes.begin(), removes.end());
    std::printf(
        "%s entries=%zu updates=%zu median_us=%.1f p90_us=%.1f min_us=%.1f add_us=%.1f "
        "remove_us=%.1f\n",
        native.c_str(), entries, all.size(), Percentile(all, 0.5), Percentile(all, 0.9),
        Percentile(all, 0), Percentile(adds, 0.5), Percentile(removes, 0.5));
    std::fflush(stdout);
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: update_bench --cache FILE [--updates N] [--seconds S] [--floor] "
                 "FOLDER...\n");
    return 2;
}

int Main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--cache" && has_value) {
            options.cache = argv[++i];
        } else if (arg == "--updates" && has_value) {
            options.updates = std::strtol(argv[++i], nullptr, 10);
        } else if (arg == "--seconds" && has_value) {
            options.seconds = std::strtod(argv[++i], nullptr);
        } else if (arg == "--floor") {
            options.floor = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage();
        } else {
            options.folders.emplace_back(arg);
        }
    }
    if (options.cache.empty() || options.updates <= 0 ||
        (options.folders.empty() && !options.floor))
        return Usage();

    StderrErrors errors;
    CFolderUpdater updater(errors);
    const std::u16string cache = platform::AbsolutePath(FromUtf8(options.cache));
    if (options.floor && Floor(updater, cache, options) != 0) return 1;
    for (const std::string& folder : options.folders) {
        if (BenchFolder(updater, cache, folder, options) != 0) return 1;
    }
    return 0;
}

}  // namespace
}  // namespace corvella

int main(int argc, char** argv) {
    return corvella::Main(argc, argv);
}
