// Nanoseconds per name for each matcher shape, over real names.
//
//   matcher_bench [benchmark flags] [--names=PATH] [PATTERN...]
//
// Names come from --names=PATH, else from $CORVELLA_BENCH_NAMES, else from a built-in list.
// PATH is either a cache file written by `corvella index` or a folder. A cache file is read into
// memory whole and its names are used in place, in the order a search walks them: unaligned,
// inside their records, as a search hands them to the matcher. A folder is walked once and its
// names are laid out as cache records (tag, UTF-16LE name, NUL, value and time), so that the
// matchers see the same stride and the same unaligned units.
//
// Every pattern given (or the default set) is case-folded, prepared and given the matcher that
// SelectMatcher picks, as a search does. Per pattern it reports ns_per_name (the thread's CPU time
// over the timing loop divided by the names tested), the names per pass, the matches per pass,
// and bytes_per_second over the name bytes (NULs included). "Scan" only finds each name's end:
// the floor any matcher pays to read the names. With a cache file there is also "Query/...": a
// whole search per iteration (open and map the file, walk, match, build the result records and
// their text pool), per entry.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "cache/block_reader.h"
#include "cache/cache_format.h"
#include "cache/sinks.h"
#include "platform/case_fold.h"
#include "platform/text.h"
#include "search/matchers.h"
#include "search/queryer.h"

namespace corvella {
namespace {

const char* const kDefaultPatterns[] = {
    "kvm_main",      // selective substring
    "include",       // common substring
    "a",             // one letter: most names match, early
    "zqxjv",         // substring found nowhere: every name read to its end
    "*.rst",         // extension glob
    "*.c;*.h",       // list of globs
    "a?c*",          // '?' glob
    "mp3;readme",    // list of plain items: whole names only
    "*.c;?akefile",  // list with '?'
};

// About two hundred names of a source tree and a Windows drive, some not ASCII, for machines
// without a tree at hand.
// clang-format off
const char* const kBuiltInNames[] = {
    "Makefile", "Kconfig", "README", "COPYING", "MAINTAINERS", "CREDITS", ".gitignore", ".mailmap",
    "arch", "block", "certs", "crypto", "Documentation", "drivers", "fs", "include", "init",
    "io_uring", "ipc", "kernel", "lib", "mm", "net", "rust", "samples", "scripts", "security",
    "sound", "tools", "usr", "virt", "kvm_main.c", "kvm_main.o", "async_pf.c", "coalesced_mmio.c",
    "dirty_ring.c", "eventfd.c", "irqchip.c", "pfncache.c", "vfio.c", "binfmt_elf.c", "dcache.c",
    "inode.c", "namei.c", "open.c", "read_write.c", "super.c", "xattr.c", "ext4.h", "ext4_jbd2.c",
    "extents.c", "balloc.c", "bitmap.c", "dir.c", "file.c", "fsync.c", "ialloc.c", "indirect.c",
    "ioctl.c", "mballoc.c", "migrate.c", "mmp.c", "move_extent.c", "page-io.c", "resize.c",
    "sysfs.c", "verity.c", "index.rst", "conf.py", "changes.rst", "howto.rst",
    "submitting-patches.rst", "coding-style.rst", "kernel-doc.rst", "devicetree", "bindings",
    "arm,gic.yaml", "qcom,smd.yaml", "atmel-usart.txt", "sysfs-bus-pci", "Kbuild", "Kconfig.debug",
    "Makefile.lib", "checkpatch.pl", "get_maintainer.pl", "kallsyms.c", "modpost.c", "sorttable.c",
    "genksyms.c", "lex.l", "parse.y", "amdgpu_device.c", "amdgpu_drv.c", "amdgpu_kms.c",
    "intel_display.c", "i915_gem.c", "nouveau_bo.c", "radeon_ring.c", "drm_atomic.c", "drm_crtc.c",
    "drm_edid.c", "ath10k", "iwlwifi", "mt76", "rtw88", "brcmfmac", "e1000e", "igb", "ixgbe",
    "mlx5", "bnxt", "README.txt", "readme", "ReadMe.md", "LICENSE", "license.txt", "CHANGELOG.md",
    "NEWS", "Windows", "System32", "SysWOW64", "WinSxS", "Program Files", "Program Files (x86)",
    "ProgramData", "Users", "Public", "Desktop", "Documents", "Downloads", "Music", "Pictures",
    "Videos", "AppData", "Local", "Roaming", "Temp", "Microsoft", "Windows Defender",
    "explorer.exe", "notepad.exe", "kernel32.dll", "ntdll.dll", "user32.dll", "gdi32.dll",
    "shell32.dll", "advapi32.dll", "msvcrt.dll", "ucrtbase.dll", "d3d11.dll", "dxgi.dll",
    "desktop.ini", "thumbs.db", "NTUSER.DAT", "pagefile.sys", "hiberfil.sys", "swapfile.sys",
    "setup.exe", "uninstall.exe", "install.log", "error.log", "config.json", "settings.xml",
    "package.json", "node_modules", "index.js", "index.html", "style.css", "main.cpp", "main.h",
    "CMakeLists.txt", "build.ninja", "compile_commands.json", ".git", "HEAD", "ORIG_HEAD",
    "01 - Intro.mp3", "02 - Theme.mp3", "Track 03.MP3", "song.flac", "cover.jpg", "IMG_0001.JPG",
    "IMG_0002.JPG", "DSC01234.ARW", "Vacation 2019.mp4", "holiday.mov", "Screenshot 2024.png",
    "Rechnung März.pdf", "Übersicht.xlsx", "Ärger.txt", "résumé.docx", "naïve.txt", "Привет.txt",
    "Документы", "日本語.txt", "新建文件夹", "사진.jpg", "Ελληνικά.doc", "a", "ab", "abc", "abcd", "aXc",
    "a.c", "abc.h", "x", "y.h", "z.c",
};
// clang-format on

// Names in the layout the cache gives them: pointers at the first byte of NUL-terminated
// UTF-16LE names, each inside a record.
struct NameSet {
    std::string source;
    // The cache file's bytes, or records made from the names of a folder or the built-in list.
    // Not a mapping: a search opens the cache file exclusively, and Query/... must open it.
    std::vector<uint8_t> records;
    std::vector<const uint8_t*> names;
    uint64_t name_bytes = 0;  // NULs included
    bool from_cache = false;
};

NameSet& Names() {
    static NameSet set;
    return set;
}

// Appends one record (tag, name, NUL, value, time) for `name`; returns the name's offset.
size_t AppendRecord(std::vector<uint8_t>& out, std::u16string_view name) {
    const size_t at = out.size();
    out.resize(at + RecordBytes(static_cast<uint32_t>(name.size())));
    Store16(&out[at], kTagFile);
    for (size_t i = 0; i < name.size(); ++i) Store16(&out[at + 2 + 2 * i], name[i]);
    return at + 2;  // the NUL, value and time are the zeros resize wrote
}

void FinishRecords(NameSet& set, const std::vector<size_t>& offsets) {
    for (size_t at : offsets) set.names.push_back(set.records.data() + at);
}

void LoadBuiltIn(NameSet& set) {
    set.source = "built-in list";
    // 64 copies in a fixed shuffled order: a pass long enough to time, larger than the L1 cache,
    // and not a short cycle that the branch predictor would learn by heart.
    std::vector<const char*> order;
    for (int copy = 0; copy < 64; ++copy)
        order.insert(order.end(), std::begin(kBuiltInNames), std::end(kBuiltInNames));
    std::shuffle(order.begin(), order.end(), std::mt19937(20240601));
    std::vector<size_t> offsets;
    for (const char* name : order) offsets.push_back(AppendRecord(set.records, FromUtf8(name)));
    FinishRecords(set, offsets);
}

bool LoadFolder(NameSet& set, const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, error);
    if (error) return false;
    std::vector<size_t> offsets;
    for (const fs::recursive_directory_iterator end; it != end; it.increment(error)) {
        if (error) break;
        offsets.push_back(AppendRecord(set.records, FromUtf8(it->path().filename().native())));
    }
    FinishRecords(set, offsets);
    set.source = "folder " + path + " (walked)";
    return true;
}

// Every entry below the roots, depth-first, a folder's block entered where its entry stands,
// as a search walks them.
bool LoadCache(NameSet& set, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    set.records.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    const uint64_t size = set.records.size();
    if (size < kFirstBlockOffset || size > kMaxCacheBytes ||
        Load32(set.records.data()) != kMarker) {
        set.records.clear();
        return false;
    }
    const CacheView view{set.records.data(), static_cast<uint32_t>(size)};
    std::vector<uint8_t> visited(size / 4 + 1, 0);
    std::vector<BlockReader> stack;
    BlockReader roots(view, kRootBlockOffset);
    EntryView e;
    bool damaged = roots.fault() != BlockFault::None;
    while (roots.NextEntry(e)) {
        if (!e.IsFolder() || e.value == NoBlock || e.value < kFirstBlockOffset) continue;
        stack.emplace_back(view, e.value);
        while (!stack.empty()) {
            if (!stack.back().NextEntry(e)) {
                damaged |= stack.back().fault() != BlockFault::None;
                stack.pop_back();
                continue;
            }
            set.names.push_back(view.base + e.name_offset);
            if (e.IsFolder() && e.value != NoBlock && e.value >= kFirstBlockOffset &&
                e.value < view.size && !visited[e.value / 4]) {
                visited[e.value / 4] = 1;
                stack.emplace_back(view, e.value);
            }
        }
    }
    if (damaged)
        std::fprintf(stderr, "matcher_bench: %s is damaged; using what could be read\n",
                     path.c_str());
    set.source = "cache " + path;
    set.from_cache = true;
    return true;
}

void LoadNames(const std::string& path) {
    NameSet& set = Names();
    bool loaded = false;
    if (!path.empty()) {
        std::error_code error;
        loaded = std::filesystem::is_directory(path, error) ? LoadFolder(set, path)
                                                            : LoadCache(set, path);
        if (!loaded)
            std::fprintf(stderr,
                         "matcher_bench: %s is neither a folder nor a cache file; using the "
                         "built-in names\n",
                         path.c_str());
    }
    if (!loaded || set.names.empty()) {
        set.names.clear();
        set.records.clear();
        set.from_cache = false;
        LoadBuiltIn(set);
    }
    for (const uint8_t* name : set.names) {
        uint64_t units = 0;
        while (Load16(name + 2 * units) != 0) ++units;
        set.name_bytes += 2 * (units + 1);
    }
}

const char* MatcherName(Matcher m) {
    if (m == MatchSubstring) return "Substring";
    if (m == MatchStar) return "Star";
    if (m == MatchWild) return "Wild";
    if (m == MatchStarList) return "StarList";
    if (m == MatchWildList) return "WildList";
    return "?";
}

// The thread's CPU time over the whole timing loop, so that the per-name figure is a plain
// number of nanoseconds and other work on the machine does not inflate it.
class PassClock {
  public:
    PassClock() : start_(Now()) {}
    double Nanoseconds() const { return Now() - start_; }

  private:
    static double Now() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
    }
    double start_;
};

void SetPerName(benchmark::State& state, const PassClock& clock, uint64_t per_pass, uint64_t hits) {
    const double ns = clock.Nanoseconds();
    const double names = double(per_pass) * double(state.iterations());
    state.counters["ns_per_name"] = names > 0 ? ns / names : 0;
    state.counters["names"] = double(per_pass);
    state.counters["matches"] = double(hits);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Names().name_bytes));
}

void BM_Scan(benchmark::State& state) {
    const std::vector<const uint8_t*>& names = Names().names;
    const PassClock clock;
    for (auto _ : state) {
        uint64_t units = 0;
        for (const uint8_t* name : names) {
            uint64_t n = 0;
            while (Load16(name + 2 * n) != 0) ++n;
            units += n;
        }
        benchmark::DoNotOptimize(units);
    }
    SetPerName(state, clock, names.size(), 0);
}

void BM_Match(benchmark::State& state, Matcher matcher, std::u16string prepared) {
    const std::vector<const uint8_t*>& names = Names().names;
    const char16_t* pattern = prepared.data();
    uint64_t hits = 0;
    const PassClock clock;
    for (auto _ : state) {
        hits = 0;
        for (const uint8_t* name : names) hits += matcher(name, pattern) != 0;
        benchmark::DoNotOptimize(hits);
    }
    SetPerName(state, clock, names.size(), hits);
}

class QuietErrors final : public ErrorSink {
  public:
    void ShowError(std::u16string_view message) override {
        std::fprintf(stderr, "matcher_bench: %s\n", ToUtf8(message).c_str());
    }
};

void BM_Query(benchmark::State& state, std::u16string cache, std::u16string folded) {
    QuietErrors errors;
    CQueryer queryer(errors, cache);
    queryer.SetPathSeparator(u'/');
    queryer.AddFilter(QueryFilter::Name);
    uint64_t hits = 0;
    const PassClock clock;
    for (auto _ : state) {
        if (RunQueryLocked(queryer, folded, u"My Computer") != QueryOutcome::Done) {
            state.SkipWithError("the query failed");
            break;
        }
        hits = queryer.results().size();
    }
    SetPerName(state, clock, Names().names.size(), hits);
}

std::string Trimmed(std::string text, size_t at_most) {
    return text.size() <= at_most ? text : text.substr(0, at_most - 3) + "...";
}

}  // namespace
}  // namespace corvella

int main(int argc, char** argv) {
    using namespace corvella;
    benchmark::Initialize(&argc, argv);
    std::string names_path;
    if (const char* env = std::getenv("CORVELLA_BENCH_NAMES")) names_path = env;
    std::vector<std::string> patterns;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--names=", 0) == 0) {
            names_path = arg.substr(8);
        } else if (arg.rfind("--", 0) == 0) {
            std::fprintf(
                stderr,
                "usage: matcher_bench [benchmark flags] [--names=CACHE|FOLDER] [PATTERN...]\n");
            return 2;
        } else {
            patterns.push_back(arg);
        }
    }
    if (patterns.empty()) patterns.assign(std::begin(kDefaultPatterns), std::end(kDefaultPatterns));

    LoadNames(names_path);
    const NameSet& set = Names();
    benchmark::AddCustomContext("names", set.source);
    benchmark::AddCustomContext("name_count", std::to_string(set.names.size()));
    benchmark::AddCustomContext(
        "mean_units_per_name",
        std::to_string(double(set.name_bytes) / 2 / double(set.names.size()) - 1));

    benchmark::RegisterBenchmark("Scan", BM_Scan);
    for (const std::string& text : patterns) {
        const std::u16string folded = FoldCaseCopy(FromUtf8(text));
        const Matcher matcher = SelectMatcher(folded);
        const std::string label = std::string(MatcherName(matcher)) + "/" + Trimmed(text, 24);
        benchmark::RegisterBenchmark(("Match/" + label).c_str(), BM_Match, matcher,
                                     PreparePattern(folded));
    }
    if (set.from_cache) {
        for (const std::string& text : patterns) {
            const std::u16string folded = FoldCaseCopy(FromUtf8(text));
            const std::string label =
                std::string(MatcherName(SelectMatcher(folded))) + "/" + Trimmed(text, 24);
            benchmark::RegisterBenchmark(("Query/" + label).c_str(), BM_Query, FromUtf8(names_path), folded)
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
