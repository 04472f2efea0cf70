// A libFuzzer target for everything that reads a cache file found on disk: the whole-file check,
// the query's location lookup and walk, and the name matchers. Whatever the file holds, none of
// them may crash, hang or read outside it, and the fast code must agree with plain oracles here,
// so that a wrong answer fails as loudly as a crash (the matchers' answers have their oracles in
// the unit tests and the reference search):
//   - the block reader (which scans names several units at a time) with a unit-by-unit reading,
//     also read in runs of files with a name hint as the walk reads it;
//   - a query with tight capacities (the counting route) and a bare count with a roomy query;
//   - each of those walked in parts on several threads with the same walk on one thread (also
//     whether both took the counting route);
//   - the in-memory index (list and bare count, in parts) with the walk: it must be built for
//     every file the check accepts, and answer what the walk answers;
//   - a query for everything with the whole-file check's counts, when the check accepts the file;
//   - a location found by walking real names from the file with the records it gives back.
//
// The input is eight control bytes, then the file. A cache file's first 131,072 bytes are the
// header and the drive list followed by zeros, so the input carries only the first kHeadBytes of
// them and the rest lands at offset 131,072: [control 8][file 0 .. kHeadBytes)[file 131072 ..].
// Control bytes: 0 pattern, 1 location, 2 filters and the path separator, 3 how the location is
// dressed (trailing separators, blanks, case, the wrong separator) and how deep it is walked,
// 4 and 5 the size bounds (also the tight capacities and the sort order), 6 and 7 the date bounds
// (offsets from a time found in the file).
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "cache/block_reader.h"
#include "cache/cache_check.h"
#include "cache/cache_format.h"
#include "cache/sinks.h"
#include "platform/case_fold.h"
#include "platform/text.h"
#include "results/sort_results.h"
#include "search/queryer.h"
#include "search/search_criteria.h"
#include "search/search_engine.h"

namespace {

using namespace corvella;

constexpr size_t kControlBytes = 8;
constexpr size_t kHeadBytes = 512;

void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "cache_fuzz: %s\n", what);
    std::abort();
}

class CountErrors final : public ErrorSink {
  public:
    void ShowError(std::u16string_view) override { ++count; }
    int count = 0;
};

// The file the queries open: one per process, rewritten for every input and removed at exit.
struct TempCache {
    const char* dir = std::getenv("TMPDIR");
    const std::string path =
        std::string(dir && *dir ? dir : "/tmp") + "/corvella-fuzz-" + std::to_string(::getpid());
    TempCache() = default;
    TempCache(const TempCache&) = delete;  // a copy would remove the file under the other
    TempCache& operator=(const TempCache&) = delete;
    ~TempCache() { ::unlink(path.c_str()); }

    void Write(const std::vector<uint8_t>& image) const {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        Require(f && std::fwrite(image.data(), 1, image.size(), f) == image.size(),
                "cannot write the temporary cache file");
        std::fclose(f);
    }
};

// The block layout read the plainest way, one unit at a time.
struct PlainBlock {
    std::vector<EntryView> records;  // every tag but the end tag
    BlockFault fault = BlockFault::None;
    uint32_t fault_offset = 0;
};

PlainBlock ReadBlockPlainly(const CacheView& view, uint32_t block) {
    PlainBlock out;
    const auto fail = [&](BlockFault fault, uint64_t at) {
        out.fault = fault;
        out.fault_offset = uint32_t(at);
        return out;
    };
    if (uint64_t(block) + 4 > view.size) return fail(BlockFault::OffsetOutsideFile, block);
    const uint32_t capacity = Load32(view.base + block);
    uint64_t limit = uint64_t(block) + capacity;
    if (capacity == 0 && block == kRootBlockOffset) {
        limit = std::min<uint64_t>(view.size, kFirstBlockOffset);
    } else if (capacity < kEmptyBlockBytes) {
        return fail(BlockFault::CapacityTooSmall, block);
    } else if (limit > view.size) {
        return fail(BlockFault::CapacityPastEnd, block);
    }
    for (uint64_t pos = uint64_t(block) + 4;;) {
        if (pos + 2 > limit) return fail(BlockFault::EndTagMissing, block);
        EntryView e;
        e.tag = Load16(view.base + pos);
        if (e.tag == kTagEnd) return out;
        uint64_t at = pos + 2;
        for (; at + 2 <= limit && Load16(view.base + at) != 0; at += 2) {
        }
        if (at + 2 > limit) return fail(BlockFault::NameUnterminated, pos);
        if (at + 16 > limit) return fail(BlockFault::RecordPastEnd, pos);
        e.record_offset = uint32_t(pos);
        e.name_offset = uint32_t(pos + 2);
        e.name_units = uint32_t((at - pos - 2) / 2);
        e.value = Load32(view.base + at + 2);
        e.last_write = Load64(view.base + at + 6);
        out.records.push_back(e);
        pos = at + 14;
    }
}

// Whether the name holds a place `hint` allows: the reader may pass on other names too, never
// leave out one of these. With `exact`, a place where the hint's units stand as they are: the
// reader may call a name sure only then.
bool HintAllows(const CacheView& view, const EntryView& e, const NameHint& hint,
                bool exact = false) {
    if (hint.tails) {
        // A name ending with a tail, up to ASCII case; any unit past ASCII may fold into one.
        for (uint32_t p = 0; !exact && p < e.name_units; ++p)
            if (e.NameUnit(view, p) >= 0x80) return true;
        for (uint32_t t = 0; t < hint.tails; ++t) {
            const uint32_t units = uint32_t(std::popcount(hint.tail_lanes[t])) / 16;
            bool ends = e.name_units >= units;
            for (uint32_t j = 0; ends && j < units; ++j) {
                const uint32_t lane = 16 * (4 - units + j);
                const char16_t unit = char16_t(hint.tail_word[t] >> lane);
                const char16_t c = e.NameUnit(view, e.name_units - units + j);
                ends = c == unit || (unit >= u'a' && unit <= u'z' && c == (unit ^ 0x20));
            }
            if (ends) return true;
        }
        return false;
    }
    const auto may = [exact](char16_t c, char16_t a, char16_t b) {
        return (!exact && c >= 0x80) || c == a || c == b;
    };
    for (uint32_t p = 0; p + (hint.pair ? 1 : 0) < e.name_units; ++p)
        if (may(e.NameUnit(view, p), hint.first, hint.first_twin) &&
            (!hint.pair || may(e.NameUnit(view, p + 1), hint.second, hint.second_twin)))
            return true;
    return false;
}

// The block read as the walk reads it, runs of files with a hint and Next for the rest: the
// plain reading's records, every file the hint allows passed on, every size counted.
void CheckRuns(const CacheView& view, uint32_t block, const PlainBlock& plain) {
    // A pair, or one unit, that ends a name of the block: the last place a name has.
    NameHint hint;
    hint.pair = block / 4 % 2 == 0;
    hint.whole = block / 8 % 2 == 0;
    for (const EntryView& r : plain.records)
        if (r.name_units >= 2) {
            const uint32_t at = r.name_units - (hint.pair ? 2 : 1);
            hint.first = hint.first_twin = r.NameUnit(view, at);
            hint.second = hint.second_twin = r.NameUnit(view, r.name_units - 1);
            break;
        }
    // Some blocks with tails instead: the ends of names of the block, folded where they fit.
    if (block / 32 % 2 == 0) {
        hint = NameHint{};
        hint.whole = true;
        for (const EntryView& r : plain.records) {
            std::u16string tail;
            for (uint32_t j = r.name_units - std::min<uint32_t>(r.name_units, 1 + r.value % 4);
                 j < r.name_units; ++j)
                tail += FoldCase(r.NameUnit(view, j));
            hint.AddTail(tail);
        }
    }
    BlockReader reader(view, block, &hint);
    // Some blocks with a tally, which takes the sure files instead of the test.
    BlockReader::Tally tally, tallied;
    BlockReader::Tally* const use_tally = block / 16 % 2 == 0 ? &tally : nullptr;
    size_t i = 0;
    uint64_t kb = 0, plain_kb = 0;
    // The plain reading's records up to `record`: those before it files the hint rules out, or
    // that the tally took.
    const auto reach = [&](uint64_t record, uint32_t units, uint32_t value) {
        for (; i < plain.records.size() && plain.records[i].record_offset < record; ++i) {
            const EntryView& r = plain.records[i];
            const bool sure = use_tally && hint.whole && HintAllows(view, r, hint, true);
            Require(r.IsFile() && (sure || !HintAllows(view, r, hint)),
                    "a run of files left out a record it must pass on");
            if (sure)
                tallied = {tallied.files + 1, tallied.units + r.name_units, tallied.kb + r.value};
        }
        Require(record == UINT64_MAX ||
                    (i < plain.records.size() && plain.records[i].name_units == units &&
                     plain.records[i].value == value && plain.records[i++].record_offset == record),
                "a run of files and the plain reading give different records");
        return true;
    };
    for (bool more = true; more;) {
        reader.ReadFiles(
            kb,
            [&](uint32_t, uint32_t units, uint32_t value, uint32_t record, bool sure) {
                const bool reached = reach(record, units, value);
                Require(!sure || (hint.whole && HintAllows(view, plain.records[i - 1], hint, true)),
                        "a run of files called a name sure that does not hold the hint's units");
                return reached;
            },
            use_tally);
        EntryView e;
        more = reader.Next(e);
        Require(!more || !e.IsFile() || e.maybe || !HintAllows(view, e, hint),
                "the reader ruled out a name its hint allows");
        reach(more ? e.record_offset : UINT64_MAX, e.name_units, e.value);
        if (more && e.IsFile()) kb += e.value;
    }
    for (const EntryView& r : plain.records) plain_kb += r.IsFile() ? r.value : 0;
    Require(kb == plain_kb && reader.fault() == plain.fault,
            "a run of files and the plain reading end a block differently");
    Require(tally.files == tallied.files && tally.units == tallied.units && tally.kb == tallied.kb,
            "the tally of sure files differs from the files it took");
}

// Every block the folders reach (a bounded number), read by both readers.
void CheckReader(const CacheView& view) {
    std::vector<uint32_t> pending{kRootBlockOffset}, seen;
    for (size_t blocks = 0; !pending.empty() && blocks < 64; ++blocks) {
        const uint32_t block = pending.back();
        pending.pop_back();
        const PlainBlock plain = ReadBlockPlainly(view, block);
        BlockReader reader(view, block);
        EntryView e;
        size_t i = 0;
        for (; reader.Next(e); ++i) {
            const EntryView* p = i < plain.records.size() ? &plain.records[i] : nullptr;
            Require(p && e.record_offset == p->record_offset && e.tag == p->tag &&
                        e.name_offset == p->name_offset && e.name_units == p->name_units &&
                        e.value == p->value && e.last_write == p->last_write,
                    "the block reader and the plain reading give different records");
        }
        Require(
            i == plain.records.size() && reader.fault() == plain.fault &&
                (plain.fault == BlockFault::None || reader.fault_offset() == plain.fault_offset),
            "the block reader and the plain reading end a block differently");
        CheckRuns(view, block, plain);
        for (const EntryView& r : plain.records) {
            if (r.IsFolder() && r.value >= kFirstBlockOffset && r.value < view.size &&
                std::find(seen.begin(), seen.end(), r.value) == seen.end()) {
                seen.push_back(r.value);
                pending.push_back(r.value);
            }
        }
    }
}

// A path of real names picked from the file: a drive, then up to `depth` entries below it,
// going down through folders where there are any.
struct Walked {
    std::vector<std::u16string> names;
    uint64_t time = 0;
};

Walked WalkNames(const CacheView& view, uint32_t state, int depth) {
    Walked walked;
    state = state * 2654435761u | 1;
    uint32_t block = kRootBlockOffset;
    for (int level = 0; level <= depth; ++level) {
        BlockReader reader(view, block);
        std::vector<EntryView> entries, folders;
        EntryView e;
        while (entries.size() < 64 && reader.NextEntry(e)) {
            entries.push_back(e);
            if (e.IsFolder() && e.value != NoBlock) folders.push_back(e);
        }
        if (entries.empty()) break;
        const std::vector<EntryView>& from = level < depth && !folders.empty() ? folders : entries;
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        const EntryView& pick = from[state % from.size()];
        walked.names.push_back(pick.Name(view));
        walked.time = pick.last_write;
        if (!pick.IsFolder() || pick.value < kFirstBlockOffset || pick.value >= view.size) break;
        block = pick.value;
    }
    return walked;
}

std::u16string Join(const std::vector<std::u16string>& names, char16_t separator) {
    std::u16string out;
    for (const std::u16string& name : names) {
        if (!out.empty() && out.back() != separator) out += separator;
        out += name;
    }
    return out;
}

// Whether the walked names spell the folder path the lookup must rebuild when it finds them:
// no name hides a separator, is empty, or loses blanks trimmed from the location's ends.
bool PredictsFoundPath(const Walked& walked, char16_t separator) {
    const auto blank = [](char16_t c) {
        return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
    };
    for (size_t i = 0; i < walked.names.size(); ++i) {
        const std::u16string& name = walked.names[i];
        if (name.empty() || blank(name.front()) || blank(name.back())) return false;
        const bool posix_drive = separator == u'/' && i == 0;
        if (posix_drive ? name[0] != u'/' || (name.size() > 1 && name.back() == u'/')
                        : name.find(separator) != name.npos || name.size() > 259)
            return false;
    }
    return !walked.names.empty();
}

struct Query {
    SearchCriteria criteria;  // the pattern as typed: QueryPattern folds it
    char16_t separator = u'/';
    std::u16string expected_base;  // the folder path a found location must give, or empty
};

struct Outcome {
    QueryOutcome code = QueryOutcome::Done;
    bool damaged = false;
    bool counted = false;
    bool from_index = false;
    uint64_t total_kb = 0, matches = 0;
    ResultSet results;
};

Outcome Run(const std::u16string& cache, const Query& query, QueryCapacities capacities,
            int& errors_shown, bool count_only = false, unsigned threads = 1) {
    CountErrors errors;
    CQueryer queryer(errors, cache, capacities);
    queryer.SetCountOnly(count_only);
    queryer.SetWalkThreads(threads);
    queryer.SetPathSeparator(query.separator);
    BuildFilterChain(queryer, query.criteria);
    const QueryOutcome code =
        RunQueryLocked(queryer, QueryPattern(query.criteria.pattern), query.criteria.location);
    errors_shown += errors.count;
    return {.code = code,
            .damaged = queryer.damaged(),
            .counted = queryer.counted(),
            .total_kb = queryer.total_size_kb(),
            .matches = queryer.match_count(),
            .results = std::move(queryer.results())};
}

// The query through the index engine: the index when the file gave one, else its walk.
Outcome RunIndexed(const std::u16string& cache, const Query& query, int& errors_shown,
                   bool count_only, unsigned threads, NameIndex::Route route) {
    CountErrors errors;
    CQueryer walk(errors, cache);
    walk.SetPathSeparator(query.separator);
    IndexedEngine engine(errors, cache, walk, query.separator, threads);
    engine.SetRoute(route);
    engine.RefreshNow();
    // The engine keeps the memory of one answer for the next: a listing of everything first,
    // so that anything it leaves behind shows in the answer compared.
    engine.Run(SearchCriteria{.pattern = u"*"}, false);
    const EngineAnswer answer = engine.Run(query.criteria, count_only);
    // A pending listing read row by row must give what writing it all gives.
    ResultSet& set = *answer.results;
    std::vector<ResultRow> rows;
    for (size_t i = 0; i < set.size(); ++i) rows.push_back(set.Row(i));
    set.Complete();
    Require(set.size() == rows.size(), "writing a pending listing changed its size");
    for (size_t i = 0; i < rows.size(); ++i) {
        const ResultRecord& r = set.records[i];
        Require(rows[i].name == set.Name(r) && rows[i].location == set.Location(r) &&
                    rows[i].size_kb == r.size_kb && rows[i].is_folder == (r.is_folder != 0) &&
                    rows[i].last_write == r.last_write,
                "a pending row differs from its written record");
    }
    errors_shown += errors.count;
    return {.code = answer.outcome,
            .damaged = answer.damaged,
            .from_index = answer.from_index,
            .total_kb = answer.total_size_kb,
            .matches = answer.matches,
            .results = std::move(set)};
}

bool SameResults(const Outcome& a, const Outcome& b) {
    if (a.code != b.code || a.damaged != b.damaged || a.total_kb != b.total_kb ||
        a.results.size() != b.results.size())
        return false;
    const auto key = [](const ResultSet& set, size_t i) {
        const ResultRecord& r = set.records[i];
        return std::tuple(r.size_kb, r.is_folder, r.last_write, set.Location(r), set.Name(r));
    };
    for (size_t i = 0; i < a.results.size(); ++i)
        if (key(a.results, i) != key(b.results, i)) return false;
    return true;
}

// The query three ways (roomy, tight, a bare count), which must agree, and each again walked in
// parts, which must give exactly the same; a query of an existing file shows no message, and
// calls nothing damaged that the check accepts; a found location holds every record.
Outcome RunChecked(const std::u16string& cache, const Query& query, uint8_t capacity_choice,
                   bool check_ok) {
    static constexpr QueryCapacities kTight[] = {{4, 32, 2}, {16, 256, 4}, {256, 4096, 32}};
    const unsigned threads = 2 + capacity_choice % 3;
    int errors = 0;
    const auto walked = [&](QueryCapacities capacities, bool count_only) {
        Outcome one = Run(cache, query, capacities, errors, count_only);
        const Outcome parts = Run(cache, query, capacities, errors, count_only, threads);
        Require(
            SameResults(one, parts) && one.counted == parts.counted && one.matches == parts.matches,
            "the walk in parts answered differently from the walk on one thread");
        return one;
    };
    Outcome roomy = walked(QueryCapacities{4096, 65536, 256}, false);
    const Outcome tight = walked(kTight[capacity_choice % 3], false);
    const Outcome counted = walked(QueryCapacities{}, true);
    // The index by each route, listing and counting: the routes share no code past the name
    // test, so each must agree with the walk on its own.
    for (const NameIndex::Route route : {NameIndex::Route::Scan, NameIndex::Route::Postings})
        for (const bool count_only : {false, true}) {
            const Outcome indexed =
                RunIndexed(cache, query, errors, count_only, threads - !count_only, route);
            Require(SameResults(count_only ? counted : roomy, indexed) &&
                        indexed.matches == roomy.results.size(),
                    "the index answered differently from the walk");
            Require(!check_ok || indexed.from_index,
                    "no index was built for a file the check accepts");
        }
    Require(roomy.code != QueryOutcome::Failed && errors == 0,
            "a query of an existing file failed or showed a message");
    Require(SameResults(roomy, tight), "the counting route answered differently");
    Require(counted.code == roomy.code && counted.damaged == roomy.damaged &&
                counted.matches == roomy.results.size() && counted.total_kb == roomy.total_kb,
            "a bare count answered differently");
    Require(!check_ok || !roomy.damaged, "a query called a file damaged that the check accepts");
    if (roomy.code == QueryOutcome::Done && !query.expected_base.empty()) {
        const bool fold = query.separator == u'\\';
        const std::u16string want = fold ? FoldCaseCopy(query.expected_base) : query.expected_base;
        for (const ResultRecord& r : roomy.results.records) {
            const std::u16string location(roomy.results.Location(r));
            Require((fold ? FoldCaseCopy(location) : location).starts_with(want),
                    "a record lies outside the location that was found");
        }
    }
    return roomy;
}

const char16_t* const kPatterns[] = {
    u"",    u";",  u"a",          u"txt",   u"*",  u"?",      u"*.txt", u"a*b",
    u"*a*", u"??", u"*.TXT;*.md", u"a;b?;", u";;", u"\u00c9", u"*?*?*", u"x*",
};

Query ChosenQuery(const uint8_t* control, const CacheView& view) {
    Query query;
    SearchCriteria& c = query.criteria;
    const uint8_t pattern = control[0], location = control[1], filters = control[2],
                  dress = control[3];
    query.separator = (filters & 0x80) ? u'\\' : u'/';
    const char16_t other = query.separator == u'/' ? u'\\' : u'/';

    // The location: none, "My Computer", a fixed text, or a walk of 0 to 4 levels below a drive.
    // The walk also gives the name some patterns are made from, and the time the date bounds
    // lie around.
    const int kind = location & 7;
    const Walked walked =
        WalkNames(view, location >> 3 | uint32_t(dress) << 5, kind >= 3 ? kind - 3 : dress >> 5);
    static const char16_t* const kFixed[] = {u"/",       u"\\",          u"C:",   u"C:\\docs\\",
                                             u"//",      u"/data/docs",  u" \t ", u"relative/x",
                                             u"C:\\\\x", u"/data//docs", u"c:",   u"\\\\server"};
    c.location = kind == 1 ? u"My Computer" : u"";
    if (kind == 2) {
        c.location = kFixed[(location >> 3) % std::size(kFixed)];
    } else if (kind >= 3) {
        c.location = Join(walked.names, (dress & 0x10) ? other : query.separator);
        const int trailing = dress & 3;
        c.location.append(trailing, query.separator);
        if (dress & 8) {
            for (char16_t& u : c.location)
                if ((u | 0x20) >= u'a' && (u | 0x20) <= u'z') u ^= 0x20;
        }
        if (dress & 4) c.location = u" " + c.location + u"\t";
        const bool plain =
            !(dress & 0x10) && (query.separator == u'/' ? !(dress & 8) : trailing <= 1);
        if (plain && PredictsFoundPath(walked, query.separator)) {
            query.expected_base = Join(walked.names, query.separator);
            if (query.expected_base.back() != query.separator)
                query.expected_base += query.separator;
        }
    }

    // The pattern: a fixed one, or one made from the last walked name in one of four shapes.
    if ((pattern & 0x10) && !walked.names.empty()) {
        const std::u16string& name = walked.names.back();
        const std::u16string part = name.substr(name.size() / 4, name.size() / 2);
        const int shape = pattern >> 6;
        c.pattern = shape == 0   ? part
                    : shape == 1 ? u"*" + part + u"*"
                    : shape == 2 ? name + u";*.zz"
                                 : name;
        if (shape == 3 && !name.empty()) c.pattern[name.size() / 2] = u'?';
    } else {
        c.pattern = kPatterns[pattern & 15];
    }

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
    const size_t n = std::min(size, kControlBytes);
    std::copy(data, data + n, control);
    data += n, size -= n;
    std::vector<uint8_t> image(data, data + std::min(size, kHeadBytes));
    if (size > kHeadBytes) {
        image.resize(kFirstBlockOffset);
        image.insert(image.end(), data + kHeadBytes, data + size);
    }
    temp.Write(image);
    const std::u16string cache = FromUtf8(temp.path);
    const CacheView view{image.data(), static_cast<uint32_t>(image.size())};
    const CacheCheckReport report = CheckCache(view);

    if (image.empty()) {  // an empty file cannot be mapped: every query fails, with a message
        CountErrors errors;
        CQueryer queryer(errors, cache);
        Require(RunQueryLocked(queryer, u"a", u"") == QueryOutcome::Failed && errors.count == 1,
                "a query of an empty file did not fail with a message");
        return;
    }

    // The query the control bytes describe; sorting its results reads every record's texts.
    const Query chosen = ChosenQuery(control, view);
    CheckReader(view);
    Outcome outcome = RunChecked(cache, chosen, control[4], report.ok);
    SortResults(outcome.results, static_cast<SortKey>(control[5] % 5));

    // Everything: with a file the check accepts, every entry comes back once, and the files
    // carry the sizes the check added up.
    const Query all{.criteria = {.pattern = u"*", .location = u""}, .separator = chosen.separator};
    const Outcome everything = RunChecked(cache, all, control[5], report.ok);
    if (report.ok) {
        uint64_t files = 0, file_kb = 0;
        for (const ResultRecord& r : everything.results.records) {
            files += !r.is_folder;
            file_kb += r.is_folder ? 0 : r.size_kb;
        }
        Require(everything.results.size() == report.drives + report.folders + report.files &&
                    files == report.files && file_kb == report.total_kib,
                "the query and the check count different entries");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzOne(data, size);
    return 0;
}
