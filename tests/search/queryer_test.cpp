// Queries over real cache files: order and folder sizes, locations spelled as Windows does, more
// matches than the first walk holds, and damaged files. Caches that updates have loosened are
// searched by tools/live_watch.py.
// The filters, counting, sorting and POSIX roots are checked against an independent reference
// over the command line (tools/reference_search.py). Every query here is also walked in parts on
// several threads, and answered by the in-memory index, which must both answer exactly as the
// walk on one thread does.
#include "search/queryer.h"

#include <gtest/gtest.h>

#include <tuple>

#include "cache/cache_shared.h"
#include "cache/cacher.h"
#include "cache/entry_record.h"
#include "search/search_criteria.h"
#include "search/search_engine.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

using test::FakeTree;
using Names = std::vector<std::u16string>;

constexpr uint64_t T1 = 133000000000000000ull, T2 = 133100000000000000ull;

struct Row {
    std::u16string location, name;
    uint32_t size;
    bool folder;
    uint64_t time;
    bool operator==(const Row&) const = default;
};

std::vector<Row> RowsOf(const ResultSet& r) {
    std::vector<Row> rows;
    for (const ResultRecord& rec : r.records)
        rows.push_back({std::u16string(r.Location(rec)), std::u16string(r.Name(rec)), rec.size_kb,
                        rec.is_folder != 0, rec.last_write});
    return rows;
}

class QueryTest : public ::testing::Test {
  protected:
    // Rows as kEverything lists them; C:\Data is not entered.
    void SetUp() override {
        tree_.Add(u"C:\\", {u"Windows", true, 0, T1})
            .Add(u"C:\\", {u"readme.txt", false, 3000, T1});
        tree_.Add(u"C:\\", {u"empty.txt", false, 0, T2}).Add(u"C:\\", {u"Data", true, 0, T2, true});
        tree_.Add(u"C:\\Windows\\", {u"System32", true, 0, T2})
            .Add(u"C:\\Windows\\", {u"notepad.exe", false, 1024, T2});
        tree_.Add(u"C:\\Windows\\System32\\", {u"kernel32.dll", false, 5000, T1})
            .Add(u"C:\\Windows\\System32\\", {u"a.txt", false, 1, T2});
        tree_.Add(u"D:\\", {u"d.txt", false, 10, T1});
        ASSERT_TRUE(test::BuildFake(tree_, {u"C:\\", u"D:\\"}, dir_.U16("cache.db")));
    }

    std::vector<Row> Query(const SearchCriteria& c, QueryCapacities capacities = {}) {
        const std::vector<Row> rows = QueryOn(1, c, capacities);
        const auto plain = std::tuple(code_, damaged_, counted_, total_);
        EXPECT_EQ(QueryOn(3, c, capacities), rows) << "walked in parts";
        EXPECT_EQ(std::tuple(code_, damaged_, counted_, total_), plain) << "walked in parts";
        EXPECT_EQ(FromIndex(c), rows);
        return rows;
    }
    // A damaged file gets no index: the walk answers, and says so.
    std::vector<Row> FromIndex(const SearchCriteria& c) {
        CQueryer walk(errors_, dir_.U16("cache.db"));
        walk.SetPathSeparator(u'\\');
        IndexedEngine engine(errors_, dir_.U16("cache.db"), walk, u'\\', 3);
        engine.RefreshNow();
        const EngineAnswer a = engine.Run(c, /*count_only=*/false);
        EXPECT_EQ(std::tuple(a.from_index, a.outcome, a.damaged, a.total_size_kb),
                  std::tuple(!damaged_ && code_ != QueryOutcome::Failed, code_, damaged_, total_));
        // Row by row, as the list view reads a pending listing, and then every record written.
        ResultSet& set = *a.results;
        std::vector<Row> rows;
        for (size_t i = 0; i < set.size(); ++i) {
            const ResultRow r = set.Row(i);
            rows.push_back({r.location, r.name, r.size_kb, r.is_folder, r.last_write});
        }
        set.Complete();
        EXPECT_EQ(RowsOf(set), rows) << "written";
        const EngineAnswer count = engine.Run(c, /*count_only=*/true);
        EXPECT_EQ(std::tuple(count.matches, count.total_size_kb),
                  std::tuple(rows.size(), a.total_size_kb));
        return rows;
    }
    std::vector<Row> QueryOn(unsigned threads, const SearchCriteria& c,
                             QueryCapacities capacities) {
        CQueryer q(errors_, dir_.U16("cache.db"), capacities);
        q.SetPathSeparator(u'\\');
        q.SetWalkThreads(threads);
        BuildFilterChain(q, c);
        code_ = RunQueryLocked(q, QueryPattern(c.pattern), c.location);
        damaged_ = q.damaged();
        counted_ = q.counted();
        total_ = q.total_size_kb();
        in_parts_ = q.walked_in_parts();
        return RowsOf(q.results());
    }
    std::vector<Row> Query(std::u16string pattern, std::u16string location = u"My Computer") {
        return Query(
            SearchCriteria{.pattern = std::move(pattern), .location = std::move(location)});
    }
    static Names NamesOf(const std::vector<Row>& rows) {
        Names names;
        for (const Row& r : rows) names.push_back(r.name);
        return names;
    }
    std::vector<uint8_t> Bytes() { return test::ReadBytes(dir_.path() / "cache.db"); }
    void Write(const std::vector<uint8_t>& bytes) {
        test::WriteBytes(dir_.path() / "cache.db", bytes);
    }

    test::TempDir dir_;
    FakeTree tree_;
    test::CollectErrors errors_;
    QueryOutcome code_ = QueryOutcome::Failed;
    bool damaged_ = false, counted_ = false, in_parts_ = false;
    uint64_t total_ = 0;
};

const std::vector<Row> kEverything = {
    {u"C:\\Windows\\System32\\", u"kernel32.dll", 5, false, T1},
    {u"C:\\Windows\\System32\\", u"a.txt", 1, false, T2},
    {u"C:\\Windows\\", u"System32", 6, true, T2},
    {u"C:\\Windows\\", u"notepad.exe", 2, false, T2},
    {u"C:\\", u"Windows", 8, true, T1},
    {u"C:\\", u"readme.txt", 3, false, T1},
    {u"C:\\", u"empty.txt", 0, false, T2},
    {u"C:\\", u"Data", 0, true, T2},
    {u"", u"C:", 11, true, 0},
    {u"D:\\", u"d.txt", 1, false, T1},
    {u"", u"D:", 1, true, 0},
};

// Cache order, folders after their contents with subtree sizes; locations found case-blind and
// spelled as stored; a location that names no folder searches everything and says so.
TEST_F(QueryTest, LocationsSelectTheirSubtreeInCacheOrder) {
    const std::vector<Row> windows(kEverything.begin(), kEverything.begin() + 4);
    const std::vector<Row> c_drive(kEverything.begin(), kEverything.begin() + 8);
    const struct {
        const char16_t* location;
        const std::vector<Row>& rows;
        QueryOutcome code;
    } cases[] = {
        {u"My Computer", kEverything, QueryOutcome::Done},
        {u"", kEverything, QueryOutcome::Done},
        {u"\tMy Computer ", kEverything, QueryOutcome::Done},
        {u"c:\\windows", windows, QueryOutcome::Done},
        {u"  C:\\WINDOWS\\  ", windows, QueryOutcome::Done},
        {u"C:", c_drive, QueryOutcome::Done},  // below C:, not C: itself
        {u"c:\\", c_drive, QueryOutcome::Done},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(test::Narrow(c.location));
        EXPECT_EQ(Query(u"*", c.location), c.rows);
        EXPECT_EQ(code_, c.code);
    }
    for (const char16_t* bad : {u"C:\\readme.txt", u"C:\\Data", u"C:\\\\Windows", u"\\Windows",
                                u"C:\\Missing", u"C:\\Windows\\\\", u"Q:"}) {
        EXPECT_EQ(Query(u"*", bad), kEverything) << test::Narrow(bad);
        EXPECT_EQ(code_, QueryOutcome::NoSuchLocation) << test::Narrow(bad);
    }
    Query(u"*");
    EXPECT_TRUE(in_parts_);  // or the comparisons above prove nothing
    EXPECT_EQ(total_, 5u + 1 + 6 + 2 + 8 + 3 + 0 + 0 + 11 + 1 + 1);
    EXPECT_TRUE(errors_.messages.empty());
}

TEST_F(QueryTest, MatchesBeyondTheFirstWalksCapacityAreAllReturned) {
    // 11 matches; D:'s block is entered with 9 records. Records: one too few; the pool: too few
    // characters; the slack: D: entered with exactly capacity - slack records still goes on, and
    // with one more gives up although all 11 would fit.
    const std::pair<QueryCapacities, bool> cases[] = {{{10, 1000, 1}, true},
                                                      {{1000, 60, 10}, true},
                                                      {{11, 1000, 2}, false},
                                                      {{13, 1000, 5}, true},
                                                      {{}, false}};
    for (const auto& [capacities, counted] : cases) {
        SCOPED_TRACE(capacities.records);
        EXPECT_EQ(Query({.pattern = u"*"}, capacities), kEverything);
        EXPECT_EQ(counted_, counted);
    }
}

TEST(QueryCapacity, MoreThan530000MatchesWithTheRealCapacities) {
    test::TempDir dir;
    FakeTree tree;
    // 540,000 records exist when the third folder begins: past 530,000, so the first walk gives
    // up and the counting walk sizes the arrays.
    for (const char16_t* folder : {u"C:\\a\\", u"C:\\b\\", u"C:\\c\\"}) {
        tree.Add(u"C:\\", {std::u16string(1, folder[3]), true});
        tree.AddGenerated(folder, folder[3] == u'c' ? 20000 : 270000, 10);
    }
    ASSERT_TRUE(test::BuildFake(tree, {u"C:\\"}, dir.U16("big.db")));
    test::CollectErrors errors;
    // In parts, only the records held as the third folder begins tell that the walk on one
    // thread would have counted: 560,000 fit the capacity.
    for (unsigned threads : {1u, 2u}) {
        SCOPED_TRACE(threads);
        CQueryer q(errors, dir.U16("big.db"));
        q.SetPathSeparator(u'\\');
        q.SetWalkThreads(threads);
        q.AddFilter(QueryFilter::Name);
        ASSERT_EQ(RunQueryLocked(q, u"f*", u""), QueryOutcome::Done);
        EXPECT_TRUE(q.counted());
        const ResultSet& r = q.results();
        ASSERT_EQ(r.size(), 560000u);
        EXPECT_EQ(r.Name(r.records.front()), u"f000000000");
        EXPECT_EQ(r.Location(r.records[270000]), u"C:\\b\\");
        EXPECT_EQ(r.FullPath(r.records.back(), u'\\'), u"C:\\c\\f000019999");
    }
    // The index has no capacities to carry: every match, the same ones.
    CQueryer walk(errors, dir.U16("big.db"));
    IndexedEngine engine(errors, dir.U16("big.db"), walk, u'\\', 2);
    ASSERT_EQ(engine.RefreshNow(), IndexedEngine::Refresh::Built);
    const EngineAnswer a = engine.Run({.pattern = u"f*", .location = u""}, false);
    ASSERT_TRUE(a.from_index);
    ASSERT_EQ(a.results->size(), 560000u);
    a.results->Complete();  // on both threads, the second part's offsets moved
    EXPECT_EQ(a.results->Location(a.results->records[270000]), u"C:\\b\\");
    EXPECT_EQ(a.results->FullPath(a.results->records.back(), u'\\'), u"C:\\c\\f000019999");
}

TEST_F(QueryTest, DamagedFilesGiveWhatCanBeReadWithoutCrashingOrLooping) {
    const std::vector<uint8_t> good = Bytes();
    std::vector<uint8_t> f = good;
    f.resize(f.size() - 30);  // D:'s block is cut
    Write(f);
    EXPECT_GE(Query(u"*").size(), 8u);
    EXPECT_TRUE(damaged_);

    f = good;  // System32 points back at C:'s block: a cycle
    const uint32_t windows = Load32(&f[kFirstBlockOffset + 4 + ValueFieldOffset(7)]);
    Store32(&f[windows + 4 + ValueFieldOffset(8)], kFirstBlockOffset);
    Write(f);
    EXPECT_EQ(Query(u"*").size(), kEverything.size() - 2);  // System32's two files are gone
    EXPECT_TRUE(damaged_);
    EXPECT_FALSE(in_parts_);  // a block with two routes: only one thread knows which comes first

    f = good;  // a drive pointing into the header
    Store32(&f[kRootEntriesOffset + ValueFieldOffset(2)], 16);
    Write(f);
    EXPECT_EQ(NamesOf(Query(u"*")), (Names{u"C:", u"d.txt", u"D:"}));
    EXPECT_TRUE(damaged_);
}

TEST_F(QueryTest, ACacheThatCannotBeOpenedFailsWithItsMessage) {
    {
        platform::ExclusiveFile holder;
        ASSERT_TRUE(holder.OpenExisting(dir_.U16("cache.db")));
        EXPECT_TRUE(Query(u"*", u"").empty());
        EXPECT_EQ(code_, QueryOutcome::Failed);
    }
    // A queryer that lives on between keystrokes lets the file go after each query, so that a
    // watcher's apply or a build can take it in between.
    CQueryer kept(errors_, dir_.U16("cache.db"));
    ASSERT_EQ(kept.RunQuery(u"a.txt", u""), QueryOutcome::Done);
    EXPECT_TRUE(platform::ExclusiveFile().OpenExisting(dir_.U16("cache.db")));
    CQueryer q(errors_, dir_.U16("missing.db"));
    EXPECT_EQ(q.RunQuery(u"*", u""), QueryOutcome::Failed);
    EXPECT_EQ(errors_.messages,
              std::vector<std::u16string>(
                  5,  // the held file: once by each walk; the index engine walks it twice
                  u"Can not open dat file! File may be used by another program or does not "
                  u"exists! In CQueryer::InitTraverse - 000"));
}

}  // namespace
}  // namespace corvella
