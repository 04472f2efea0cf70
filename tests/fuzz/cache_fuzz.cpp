// A libFuzzer target for everything that reads a cache file found on disk: the whole-file check,
// the query's location lookup and walk, and the name matchers. Whatever the file holds, none of
// them may crash, hang or read outside it; and a few things must agree with each other whatever
// the file holds (see Checks below), so that a wrong answer fails as loudly as a crash.
//
// The input is eight control bytes, then the file. A cache file's first 131,072 bytes are the
// header and the drive list followed by zeros up to the first folder block, so the input carries
// only the first kHeadBytes of them and the rest of it lands at offset 131,072:
//
//     [control 8][file bytes 0 .. kHeadBytes)[file bytes 131072 ..]
//
// An input whose file part is kHeadBytes or shorter is a file of just those bytes.
//
// Control bytes: 0 pattern, 1 location, 2 filters and the path separator, 3 how the location is
// dressed (trailing separators, blanks, case, the wrong separator) and which names it is walked
// through, 4 and 5 the size bounds (also the tight capacities and the sort order), 6 and 7 the
// date bounds (offsets from a time found in the file).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cache/block_reader.h"
#include "cache/cache_check.h"
#include "cache/cache_format.h"
#include "cache/sinks.h"
#include "platform/case_fold.h"
#include "platform/text.h"
#include "results/sort_results.h"
#include "search/matchers.h"
#include "search/queryer.h"
#include "search/search_criteria.h"

namespace {

using namespace corvella;

constexpr size_t kControlBytes = 8;
constexpr size_t kHeadBytes = 512;

#define FUZZ_CHECK(condition, what)                                                     \
    do {                                                                                \
        if (!(condition)) {                                                             \
            std::fprintf(stderr, "cache_fuzz: %s (%s:%d)\n", what, __FILE__, __LINE__); \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

class CountErrors final : public ErrorSink {
  public:
    void ShowError(std::u16string_view) override { ++count; }
    int count = 0;
};

// One file per process, rewritten for every input and removed at exit.
class TempCache {
  public:
    TempCache() {
        const char* dir = std::getenv("TMPDIR");
        path_ = std::string(dir && *dir ? dir : "/tmp") + "/corvella-fuzz-XXXXXX";
        const int fd = ::mkstemp(path_.data());
        if (fd < 0) {
            std::perror("cache_fuzz: mkstemp");
            std::abort();
        }
        ::close(fd);
    }
    std::u16string Path() const { return FromUtf8(path_); }
    ~TempCache() { ::unlink(path_.c_str()); }

    void Write(const std::vector<uint8_t>& image) const {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        FUZZ_CHECK(fd >= 0, "cannot open the temporary cache file");
        size_t done = 0;
        while (done < image.size()) {
            const ssize_t n = ::write(fd, image.data() + done, image.size() - done);
            FUZZ_CHECK(n > 0, "cannot write the temporary cache file");
            done += size_t(n);
        }
        ::close(fd);
    }

  private:
    std::string path_;
};

std::vector<uint8_t> ImageFrom(const uint8_t* data, size_t size) {
    if (size <= kHeadBytes) return std::vector<uint8_t>(data, data + size);
    std::vector<uint8_t> image(kFirstBlockOffset + (size - kHeadBytes), 0);
    std::copy(data, data + kHeadBytes, image.begin());
    std::copy(data + kHeadBytes, data + size, image.begin() + kFirstBlockOffset);
    return image;
}

uint32_t NextRandom(uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

// A path of real names picked from the file: a drive, then up to `depth` entries below it,
// going down through folders where there are any.
struct Walked {
    std::vector<std::u16string> names;
    bool last_is_folder = false;
    uint64_t time = 0;
};

Walked WalkNames(const CacheView& view, uint32_t seed, int depth) {
    Walked walked;
    uint32_t state = seed * 2654435761u | 1;
    uint32_t block = kRootBlockOffset;
    for (int level = 0; level <= depth; ++level) {
        BlockReader reader(view, block);
        std::vector<EntryView> entries;
        EntryView e;
        std::vector<EntryView> folders;  // above the last level, a folder to go down into
        while (entries.size() < 64 && reader.NextEntry(e)) {
            entries.push_back(e);
            if (e.IsFolder() && e.value != NoBlock) folders.push_back(e);
        }
        if (entries.empty()) break;
        const std::vector<EntryView>& from = level < depth && !folders.empty() ? folders : entries;
        const EntryView& pick = from[NextRandom(state) % from.size()];
        walked.names.push_back(pick.Name(view));
        walked.last_is_folder = pick.IsFolder();
        walked.time = pick.last_write;
        if (!pick.IsFolder() || pick.value < kFirstBlockOffset || pick.value >= view.size) break;
        block = pick.value;
    }
    return walked;
}

std::u16string Join(const std::vector<std::u16string>& names, char16_t separator) {
    std::u16string out;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0 && (out.empty() || out.back() != separator)) out += separator;
        out += names[i];
    }
    return out;
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// Whether the walked names spell the folder path the lookup must rebuild when it finds them:
// no name hides a separator, is empty or is trimmed away with the blanks of the location.
bool PredictsFoundPath(const Walked& walked, char16_t separator) {
    if (walked.names.empty()) return false;
    for (size_t i = 0; i < walked.names.size(); ++i) {
        const std::u16string& name = walked.names[i];
        if (name.empty() || IsBlank(name.front()) || IsBlank(name.back())) return false;
        if (separator == u'\\') {
            if (name.find(u'\\') != std::u16string::npos || name.size() > 259) return false;
        } else if (i == 0) {
            if (name[0] != u'/' || (name.size() > 1 && name.back() == u'/')) return false;
        } else if (name.find(u'/') != std::u16string::npos) {
            return false;
        }
    }
    return true;
}

// The block layout read the plainest way, one unit at a time, to hold the bounds-checked reader
// (which scans names several units at a time) to the same records and the same faults.
struct RefBlock {
    std::vector<EntryView> records;  // every tag but the end tag
    BlockFault fault = BlockFault::None;
    uint32_t fault_offset = 0;
};

RefBlock ReadBlockPlainly(const CacheView& view, uint32_t block) {
    RefBlock out;
    const auto fail = [&](BlockFault fault, uint32_t at) {
        out.fault = fault;
        out.fault_offset = at;
        return out;
    };
    if (uint64_t(block) + 4 > view.size) return fail(BlockFault::OffsetOutsideFile, block);
    const uint32_t capacity = Load32(view.base + block);
    uint64_t limit;
    if (capacity == 0 && block == kRootBlockOffset) {
        limit = view.size < kFirstBlockOffset ? view.size : kFirstBlockOffset;
    } else if (capacity < kEmptyBlockBytes) {
        return fail(BlockFault::CapacityTooSmall, block);
    } else if (uint64_t(block) + capacity > view.size) {
        return fail(BlockFault::CapacityPastEnd, block);
    } else {
        limit = uint64_t(block) + capacity;
    }
    uint64_t pos = uint64_t(block) + 4;
    for (;;) {
        if (pos + 2 > limit) return fail(BlockFault::EndTagMissing, block);
        const uint16_t tag = Load16(view.base + pos);
        if (tag == kTagEnd) return out;
        uint64_t at = pos + 2;
        for (;; at += 2) {
            if (at + 2 > limit) return fail(BlockFault::NameUnterminated, uint32_t(pos));
            if (Load16(view.base + at) == 0) break;
        }
        const uint64_t units = (at - pos - 2) / 2;
        if (pos + 2 * units + 16 + 2 > limit) return fail(BlockFault::RecordPastEnd, uint32_t(pos));
        EntryView e;
        e.record_offset = uint32_t(pos);
        e.tag = tag;
        e.name_offset = uint32_t(pos + 2);
        e.name_units = uint32_t(units);
        e.value = Load32(view.base + at + 2);
        e.last_write = Load64(view.base + at + 6);
        out.records.push_back(e);
        pos += 2 * units + 16;
    }
}

bool SameRecord(const EntryView& a, const EntryView& b) {
    return a.record_offset == b.record_offset && a.tag == b.tag && a.name_offset == b.name_offset &&
           a.name_units == b.name_units && a.value == b.value && a.last_write == b.last_write;
}

// A name against a folded pattern as the search describes it: without ';', '*' or '?' the
// pattern is found anywhere in the name; otherwise each non-empty ';' item is a glob over the
// whole name ('*' any run of units, '?' exactly one). Case-blind through the engine's fold.
bool GlobPlainly(std::u16string_view name, std::u16string_view item) {
    // row[j]: item[0, i) matches name[0, j)
    std::vector<char> row(name.size() + 1, 0), next(name.size() + 1, 0);
    row[0] = 1;
    for (size_t i = 0; i < item.size(); ++i) {
        std::fill(next.begin(), next.end(), 0);
        for (size_t j = 0; j <= name.size(); ++j) {
            if (item[i] == u'*') {
                next[j] = row[j] || (j > 0 && next[j - 1]);
            } else if (j > 0) {
                next[j] = row[j - 1] && (item[i] == u'?' || item[i] == name[j - 1]);
            }
        }
        row.swap(next);
    }
    return row[name.size()] != 0;
}

bool MatchPlainly(std::u16string_view name, std::u16string_view pattern) {
    std::u16string folded(name);
    for (char16_t& c : folded) c = FoldCase(c);
    if (pattern.find_first_of(u";*?") == std::u16string_view::npos)
        return folded.find(pattern) != std::u16string::npos;
    size_t start = 0;
    for (;;) {
        const size_t cut = pattern.find(u';', start);
        const std::u16string_view item =
            pattern.substr(start, cut == pattern.npos ? cut : cut - start);
        if (!item.empty() && GlobPlainly(folded, item)) return true;
        if (cut == pattern.npos) return false;
        start = cut + 1;
    }
}

// Every block the folders reach (a bounded number), read by both readers; and every name in
// them through the query's name test and the plain matcher.
void CheckReaderAndMatcher(const CacheView& view, const std::u16string& folded_pattern) {
    const Matcher matcher = SelectMatcher(folded_pattern);
    const std::u16string prepared = PreparePattern(folded_pattern);
    const uint32_t min_units = MinimumNameUnits(prepared);
    std::vector<uint32_t> pending{kRootBlockOffset};
    std::vector<uint32_t> seen;
    for (size_t blocks = 0; !pending.empty() && blocks < 64; ++blocks) {
        const uint32_t block = pending.back();
        pending.pop_back();
        const RefBlock plain = ReadBlockPlainly(view, block);
        BlockReader reader(view, block);
        EntryView e;
        size_t i = 0;
        while (reader.Next(e)) {
            FUZZ_CHECK(i < plain.records.size() && SameRecord(e, plain.records[i]),
                       "the block reader and the plain reading give different records");
            ++i;
        }
        FUZZ_CHECK(
            i == plain.records.size() && reader.fault() == plain.fault &&
                (plain.fault == BlockFault::None || reader.fault_offset() == plain.fault_offset),
            "the block reader and the plain reading end a block differently");
        for (const EntryView& r : plain.records) {
            if (r.tag != kTagFile && r.tag != kTagFolder) continue;
            if (uint64_t(r.name_units) * (folded_pattern.size() + 1) <= 1000000) {
                const std::u16string name = r.Name(view);
                const bool engine = r.name_units >= min_units &&
                                    matcher(view.base + r.name_offset, prepared.data()) != 0;
                FUZZ_CHECK(engine == MatchPlainly(name, folded_pattern),
                           "the name test and the plain matcher disagree");
            }
            if (r.tag == kTagFolder && r.value >= kFirstBlockOffset && r.value < view.size &&
                std::find(seen.begin(), seen.end(), r.value) == seen.end()) {
                seen.push_back(r.value);
                pending.push_back(r.value);
            }
        }
    }
}

const char16_t* const kPatterns[] = {
    u"",    u";",  u"a",          u"txt",   u"*",  u"?",      u"*.txt", u"a*b",
    u"*a*", u"??", u"*.TXT;*.md", u"a;b?;", u";;", u"\u00c9", u"*?*?*", u"x*",
};

// A pattern built from a name found in the file, in one of eight shapes.
std::u16string ShapedPattern(const std::u16string& name, int shape) {
    const size_t half = name.size() / 2;
    switch (shape) {
        case 0:
            return name;
        case 1:
            return name.substr(half / 2, half);
        case 2:
            return u"*" + name.substr(half / 2, half) + u"*";
        case 3: {
            std::u16string text = name;
            if (!text.empty()) text[half] = u'?';
            return text;
        }
        case 4:
            return name + u";*.zz";
        case 5:
            return name.substr(0, half) + u"*";
        case 6:
            return u";" + name;
        default: {
            std::u16string text = u"*";
            for (char16_t c : name) text += c == u'.' ? u'?' : c;
            return text;
        }
    }
}

struct Query {
    std::u16string pattern;  // as typed; QueryPattern folds it
    std::u16string location;
    SearchCriteria criteria;
    char16_t separator = u'/';
    std::u16string expected_base;  // the folder path a found location must give, or empty
};

struct Outcome {
    QueryOutcome code = QueryOutcome::Done;
    bool damaged = false;
    uint64_t total_kb = 0;
    uint64_t matches = 0;
    ResultSet results;
};

Outcome Run(const std::u16string& cache, const Query& query, QueryCapacities capacities,
            int& errors_shown, bool count_only = false) {
    CountErrors errors;
    CQueryer queryer(errors, cache, capacities);
    queryer.SetCountOnly(count_only);
    queryer.SetPathSeparator(query.separator);
    SearchCriteria criteria = query.criteria;
    criteria.pattern = query.pattern;
    criteria.location = query.location;
    BuildFilterChain(queryer, criteria);
    Outcome outcome;
    outcome.code = RunQueryLocked(queryer, QueryPattern(query.pattern), query.location);
    outcome.damaged = queryer.damaged();
    outcome.total_kb = queryer.total_size_kb();
    outcome.matches = queryer.match_count();
    outcome.results = std::move(queryer.results());
    errors_shown += errors.count;
    return outcome;
}

bool Terminated(const std::vector<char16_t>& pool, uint32_t offset) {
    for (size_t i = offset; i < pool.size(); ++i)
        if (pool[i] == 0) return true;
    return false;
}

bool SameResults(const Outcome& a, const Outcome& b) {
    if (a.code != b.code || a.damaged != b.damaged || a.total_kb != b.total_kb ||
        a.results.size() != b.results.size())
        return false;
    for (size_t i = 0; i < a.results.size(); ++i) {
        const ResultRecord& x = a.results.records[i];
        const ResultRecord& y = b.results.records[i];
        if (x.size_kb != y.size_kb || x.is_folder != y.is_folder || x.last_write != y.last_write ||
            a.results.Location(x) != b.results.Location(y) ||
            a.results.Name(x) != b.results.Name(y))
            return false;
    }
    return true;
}

// Checks:
// - a query of an existing, non-empty file does not fail and shows no message;
// - every record's texts lie in the pool, each ended by a NUL;
// - the answer does not depend on the capacities: a query that must take the counting route
//   (tiny capacities) gives exactly what a query with room to spare gives, and a bare count
//   counts and totals what the records hold;
// - a file the whole-file check accepts is never called damaged by a query;
// - a location the lookup finds is the path the walked names spell, and every record lies in it.
Outcome RunChecked(const std::u16string& cache, const Query& query, uint8_t capacity_choice,
                   bool check_ok) {
    static constexpr QueryCapacities kTight[] = {{4, 32, 2}, {16, 256, 4}, {256, 4096, 32}};
    int errors = 0;
    Outcome roomy = Run(cache, query, QueryCapacities{4096, 65536, 256}, errors);
    const Outcome tight = Run(cache, query, kTight[capacity_choice % 3], errors);
    const Outcome counted = Run(cache, query, QueryCapacities{}, errors, /*count_only=*/true);
    FUZZ_CHECK(roomy.code != QueryOutcome::Failed, "a query of an existing file failed");
    FUZZ_CHECK(errors == 0, "a query of an existing file showed a message");
    const std::vector<char16_t>& pool = roomy.results.pool;
    for (const ResultRecord& r : roomy.results.records) {
        FUZZ_CHECK(r.location < pool.size() && r.name < pool.size(),
                   "a record's text lies outside the pool");
        FUZZ_CHECK(Terminated(pool, r.location) && Terminated(pool, r.name),
                   "a record's text has no NUL in the pool");
    }
    FUZZ_CHECK(SameResults(roomy, tight), "the counting route answered differently");
    FUZZ_CHECK(counted.code == roomy.code && counted.damaged == roomy.damaged &&
                   counted.matches == roomy.results.size() && counted.total_kb == roomy.total_kb,
               "a bare count answered differently");
    if (check_ok)
        FUZZ_CHECK(!roomy.damaged, "a query called a file damaged that the check accepts");
    if (roomy.code == QueryOutcome::Done && !query.expected_base.empty()) {
        const bool fold = query.separator == u'\\';
        const std::u16string want = fold ? FoldCaseCopy(query.expected_base) : query.expected_base;
        for (const ResultRecord& r : roomy.results.records) {
            std::u16string location(roomy.results.Location(r));
            if (fold) location = FoldCaseCopy(location);
            FUZZ_CHECK(location.compare(0, want.size(), want) == 0,
                       "a record lies outside the location that was found");
        }
    }
    return roomy;
}

Query ChosenQuery(const uint8_t* control, const CacheView& view) {
    Query query;
    const uint8_t pattern = control[0], location = control[1], filters = control[2],
                  dress = control[3];
    query.separator = (filters & 0x80) ? u'\\' : u'/';
    const char16_t other = query.separator == u'/' ? u'\\' : u'/';

    // The location: none, "My Computer", a fixed text, or a walk of 0 to 4 levels below a drive.
    // The walk also gives the name some patterns are made from, and the time the date bounds
    // lie around.
    const int kind = location & 7;
    const int depth = kind >= 3 ? kind - 3 : dress >> 5;
    const Walked walked = WalkNames(view, location >> 3 | uint32_t(dress) << 5, depth);
    static const char16_t* const kFixed[] = {u"/",       u"\\",          u"C:",   u"C:\\docs\\",
                                             u"//",      u"/data/docs",  u" \t ", u"relative/x",
                                             u"C:\\\\x", u"/data//docs", u"c:",   u"\\\\server"};
    if (kind == 1) {
        query.location = u"My Computer";
    } else if (kind == 2) {
        query.location = kFixed[(location >> 3) % (sizeof kFixed / sizeof kFixed[0])];
    } else if (kind >= 3) {
        query.location = Join(walked.names, (dress & 0x10) ? other : query.separator);
        const int trailing = dress & 3;
        for (int i = 0; i < trailing; ++i) query.location += query.separator;
        if (dress & 8) {
            for (char16_t& c : query.location)
                c = (c >= u'a' && c <= u'z')   ? char16_t(c - 32)
                    : (c >= u'A' && c <= u'Z') ? char16_t(c + 32)
                                               : c;
        }
        if (dress & 4) query.location = u" " + query.location + u"\t";
        const bool posix = query.separator == u'/';
        const bool plain = !(dress & 0x10) && (posix ? !(dress & 8) : trailing <= 1);
        if (plain && PredictsFoundPath(walked, query.separator)) {
            query.expected_base = Join(walked.names, query.separator);
            if (query.expected_base.back() != query.separator)
                query.expected_base += query.separator;
        }
    }

    // The pattern: a fixed one, or one made from the last walked name.
    if ((pattern & 0x10) && !walked.names.empty()) {
        query.pattern = ShapedPattern(walked.names.back(), pattern >> 5);
    } else {
        query.pattern = kPatterns[pattern & 15];
    }

    SearchCriteria& c = query.criteria;
    c.no_subdirectories = filters & 1;
    const int kind_bits = (filters >> 1) & 3;
    c.kind = kind_bits == 3 ? SearchKind::All : static_cast<SearchKind>(kind_bits);
    c.min_size_enabled = filters & 8;
    c.min_size_kb = control[4];
    c.max_size_enabled = filters & 0x10;
    c.max_size_kb = uint32_t(control[5]) * 16;
    c.date_from_enabled = filters & 0x20;
    c.date_from = walked.time + int8_t(control[6]);
    c.date_to_enabled = filters & 0x40;
    c.date_to = walked.time + int8_t(control[7]);
    return query;
}

void FuzzOne(const uint8_t* data, size_t size) {
    static TempCache temp;
    uint8_t control[kControlBytes] = {};
    const size_t n = size < kControlBytes ? size : kControlBytes;
    std::copy(data, data + n, control);
    const std::vector<uint8_t> image = ImageFrom(data + n, size - n);
    temp.Write(image);

    const CacheView view{image.data(), static_cast<uint32_t>(image.size())};
    const CacheCheckReport report = CheckCache(view);

    if (image.empty()) {  // an empty file cannot be mapped: every query fails, with a message
        CountErrors errors;
        CQueryer queryer(errors, temp.Path());
        FUZZ_CHECK(RunQueryLocked(queryer, u"a", u"") == QueryOutcome::Failed && errors.count == 1,
                   "a query of an empty file did not fail with a message");
        return;
    }

    // The query the control bytes describe; sorting its results reads every record's texts.
    const Query chosen = ChosenQuery(control, view);
    CheckReaderAndMatcher(view, QueryPattern(chosen.pattern));
    Outcome outcome = RunChecked(temp.Path(), chosen, control[4], report.ok);
    SortResults(outcome.results, static_cast<SortKey>(control[5] % 5));

    // Everything: with a file the check accepts, every entry comes back once, and the files
    // carry the sizes the check added up.
    Query all;
    all.pattern = u"*";
    all.separator = chosen.separator;
    const Outcome everything = RunChecked(temp.Path(), all, control[5], report.ok);
    if (report.ok) {
        uint64_t files = 0, file_kb = 0;
        for (const ResultRecord& r : everything.results.records) {
            if (r.is_folder) continue;
            ++files;
            file_kb += r.size_kb;
        }
        FUZZ_CHECK(everything.results.size() == report.drives + report.folders + report.files,
                   "the query and the check count different entries");
        FUZZ_CHECK(files == report.files && file_kb == report.total_kib,
                   "the query and the check count different files");
    }

    // The same location with a ';' list of whole-name globs and only folders.
    Query list = chosen;
    list.pattern = u"*" + chosen.pattern + u"*;?*;" + chosen.pattern;
    list.criteria = SearchCriteria{};
    list.criteria.kind = SearchKind::FoldersOnly;
    RunChecked(temp.Path(), list, control[6], report.ok);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzOne(data, size);
    return 0;
}
