// Queries over real cache files: order and folder sizes, locations, every filter, caches that
// updates have loosened, more matches than the first walk holds, and damaged files.
#include "search/queryer.h"

#include <gtest/gtest.h>

#include "cache/cache_shared.h"
#include "cache/cacher.h"
#include "cache/entry_record.h"
#include "search/search_criteria.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

using test::FakeTree;

constexpr uint64_t T1 = 133000000000000000ull, T2 = 133100000000000000ull;

struct Row {
    std::u16string location, name;
    uint32_t size;
    bool folder;
    uint64_t time;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& r) {
    return out << test::Narrow(r.location) << "|" << test::Narrow(r.name) << " " << r.size
               << (r.folder ? " folder" : " file");
}

class QueryTest : public ::testing::Test {
  protected:
    // C:\ Windows\ System32\ kernel32.dll a.txt | notepad.exe | readme.txt empty.txt Data\ (not
    // entered); D:\ d.txt
    void SetUp() override {
        tree_.Add(u"C:\\", {u"Windows", true, 0, T1})
            .Add(u"C:\\", {u"readme.txt", false, 3000, T1});
        tree_.Add(u"C:\\", {u"empty.txt", false, 0, T2}).Add(u"C:\\", {u"Data", true, 0, T2, true});
        tree_.Add(u"C:\\Windows\\", {u"System32", true, 0, T2})
            .Add(u"C:\\Windows\\", {u"notepad.exe", false, 1024, T2});
        tree_.Add(u"C:\\Windows\\System32\\", {u"kernel32.dll", false, 5000, T1})
            .Add(u"C:\\Windows\\System32\\", {u"a.txt", false, 1, T2});
        tree_.Add(u"D:\\", {u"d.txt", false, 10, T1});
        Build({u"C:\\", u"D:\\"});
    }

    void Build(const std::vector<std::u16string>& roots) {
        ASSERT_TRUE(test::BuildFake(tree_, roots, dir_.U16("cache.db")));
    }

    std::vector<Row> Query(const SearchCriteria& criteria, QueryOutcome* code = nullptr,
                           QueryCapacities capacities = {}) {
        CQueryer q(errors_, dir_.U16("cache.db"), capacities);
        q.SetPathSeparator(separator_);
        BuildFilterChain(q, criteria);
        const QueryOutcome result =
            RunQueryLocked(q, QueryPattern(criteria.pattern), criteria.location);
        if (code) *code = result;
        damaged_ = q.damaged();
        counted_ = q.counted();
        total_ = q.total_size_kb();
        std::vector<Row> rows;
        const ResultSet& r = q.results();
        for (const ResultRecord& rec : r.records)
            rows.push_back({std::u16string(r.Location(rec)), std::u16string(r.Name(rec)),
                            rec.size_kb, rec.is_folder != 0, rec.last_write});
        return rows;
    }
    std::vector<Row> Query(std::u16string pattern, std::u16string location = u"My Computer",
                           QueryOutcome* code = nullptr) {
        SearchCriteria c;
        c.pattern = std::move(pattern);
        c.location = std::move(location);
        return Query(c, code);
    }
    static std::vector<std::u16string> Names(const std::vector<Row>& rows) {
        std::vector<std::u16string> names;
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
    char16_t separator_ = u'\\';
    bool damaged_ = false, counted_ = false;
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

TEST_F(QueryTest, WholeCacheInCacheOrderFoldersAfterTheirContentsWithSubtreeSizes) {
    QueryOutcome code = QueryOutcome::Failed;
    EXPECT_EQ(Query(u"*", u"My Computer", &code), kEverything);
    EXPECT_EQ(code, QueryOutcome::Done);
    EXPECT_EQ(total_, 5u + 1 + 6 + 2 + 8 + 3 + 0 + 0 + 11 + 1 + 1);
    for (const char16_t* blank : {u"", u"   ", u"\tMy Computer "}) {
        EXPECT_EQ(Query(u"*", blank, &code).size(), kEverything.size());
        EXPECT_EQ(code, QueryOutcome::Done);
    }
    EXPECT_TRUE(errors_.messages.empty());
}

TEST_F(QueryTest, LocationsAreFoundCaseBlindAndSpelledAsStored) {
    QueryOutcome code = QueryOutcome::Failed;
    const auto rows = Query(u"*", u"c:\\windows", &code);
    EXPECT_EQ(code, QueryOutcome::Done);
    EXPECT_EQ(rows, std::vector<Row>(kEverything.begin(), kEverything.begin() + 4));
    for (const char16_t* same : {u"C:\\Windows\\", u"  C:\\WINDOWS  "}) {
        EXPECT_EQ(Query(u"*", same, &code), rows);
        EXPECT_EQ(code, QueryOutcome::Done);
    }
    for (const char16_t* drive : {u"C:", u"c:\\"}) {
        EXPECT_EQ(Query(u"*", drive, &code).size(), 8u);  // everything below C:, not C: itself
        EXPECT_EQ(code, QueryOutcome::Done);
    }
}

TEST_F(QueryTest, LocationsThatNameNoFolderSearchEverything) {
    for (const char16_t* bad : {u"C:\\readme.txt", u"C:\\Data", u"C:\\\\Windows", u"\\Windows",
                                u"C:\\Missing", u"C:\\Windows\\\\", u"Q:"}) {
        QueryOutcome code = QueryOutcome::Done;
        EXPECT_EQ(Query(u"*", bad, &code), kEverything) << test::Narrow(bad);
        EXPECT_EQ(code, QueryOutcome::NoSuchLocation) << test::Narrow(bad);
    }
}

TEST_F(QueryTest, FiltersKindTopLevelSizeAndDate) {
    // A name exactly as long as the pattern needs is still a match.
    EXPECT_EQ(Names(Query(u"d.txt")), std::vector<std::u16string>{u"d.txt"});
    EXPECT_EQ(Names(Query(u"?.txt")), (std::vector<std::u16string>{u"a.txt", u"d.txt"}));
    SearchCriteria c;
    c.pattern = u"*";
    c.no_subdirectories = true;
    EXPECT_EQ(Names(Query(c)), (std::vector<std::u16string>{u"C:", u"D:"}));
    c.location = u"C:\\Windows";
    EXPECT_EQ(Names(Query(c)), (std::vector<std::u16string>{u"System32", u"notepad.exe"}));

    c = {};
    c.pattern = u"*";
    c.kind = SearchKind::FilesOnly;
    c.min_size_enabled = true;
    c.min_size_kb = 1;  // only the empty file goes
    EXPECT_EQ(Names(Query(c)),
              (std::vector<std::u16string>{u"kernel32.dll", u"a.txt", u"notepad.exe", u"readme.txt",
                                           u"d.txt"}));
    c.kind = SearchKind::FoldersOnly;
    c.min_size_enabled = false;
    c.max_size_enabled = true;
    c.max_size_kb = 8;  // inclusive; a folder counts its whole subtree
    EXPECT_EQ(Names(Query(c)),
              (std::vector<std::u16string>{u"System32", u"Windows", u"Data", u"D:"}));

    c = {};
    c.pattern = u"*.txt";
    c.date_from_enabled = c.date_to_enabled = true;
    c.date_from = c.date_to = T1;  // both bounds include an equal time
    EXPECT_EQ(Names(Query(c)), (std::vector<std::u16string>{u"readme.txt", u"d.txt"}));
    c.date_from = T1 + 1;
    EXPECT_TRUE(Query(c).empty());
}

TEST_F(QueryTest, RemovedFolderEntriesAreSkippedAndAddNothing) {
    std::vector<uint8_t> f = Bytes();
    Store16(&f[kFirstBlockOffset + 4], kTagRemovedFolder);  // C:\Windows
    Write(f);
    const auto rows = Query(u"*");
    EXPECT_EQ(Names(rows), (std::vector<std::u16string>{u"readme.txt", u"empty.txt", u"Data", u"C:",
                                                        u"d.txt", u"D:"}));
    EXPECT_EQ(rows[3].size, 3u);
}

TEST_F(QueryTest, ALoosenedCacheAnswersLikeAFreshOne) {
    // What updates leave behind: C:\Windows's block moved to the end into a larger space with
    // leftovers after its end tag, its old space on the free list, and zeroed room past data end.
    std::vector<uint8_t> f = Bytes();
    const uint32_t old_block = Load32(&f[kFirstBlockOffset + 4 + ValueFieldOffset(7)]);
    const uint32_t capacity = Load32(&f[old_block]);
    const uint32_t moved = static_cast<uint32_t>(f.size());
    f.insert(f.end(), f.begin() + old_block, f.begin() + old_block + capacity);
    f.insert(f.end(), 40, 0xEE);  // leftovers
    Store32(&f[moved], capacity + 40);
    Store32(&f[kFirstBlockOffset + 4 + ValueFieldOffset(7)], moved);
    Store32(&f[old_block + 4], NoBlock);  // the free list's only block
    Store32(&f[kFreeListHeadOffset], old_block);
    Store32(&f[kDataEndOffset], static_cast<uint32_t>(f.size()));
    f.resize(f.size() + 3 * 4096, 0);
    Store32(&f[kFileSizeOffset], static_cast<uint32_t>(f.size()));
    Write(f);
    EXPECT_EQ(Query(u"*"), kEverything);
    EXPECT_FALSE(damaged_);
    EXPECT_EQ(Query(u"*", u"C:\\Windows\\System32").size(), 2u);
}

TEST_F(QueryTest, MatchesBeyondTheFirstWalksCapacityAreAllReturned) {
    SearchCriteria c;
    c.pattern = u"*";
    // Records: 4 fit, so 11 matches take the counting walk; the pool: too few characters.
    for (QueryCapacities small : {QueryCapacities{4, 1000, 1}, QueryCapacities{1000, 60, 10}}) {
        EXPECT_EQ(Query(c, nullptr, small), kEverything);
        EXPECT_TRUE(counted_);
    }
    EXPECT_EQ(Query(c), kEverything);
    EXPECT_FALSE(counted_);
}

TEST_F(QueryTest, ACountOnlyQueryCountsAndTotalsWhatTheFullOneReturns) {
    for (const char16_t* pattern : {u"*", u"txt", u"*.exe;*.dll", u"nothing"}) {
        for (const char16_t* location : {u"", u"C:\\Windows", u"C:\\Missing"}) {
            SearchCriteria c;
            c.pattern = pattern;
            c.location = location;
            c.min_size_enabled = true;
            c.min_size_kb = 1;
            QueryOutcome code = QueryOutcome::Done, count_code = QueryOutcome::Failed;
            const size_t rows = Query(c, &code).size();
            const uint64_t total = total_;
            CQueryer q(errors_, dir_.U16("cache.db"));
            q.SetPathSeparator(u'\\');
            q.SetCountOnly(true);
            BuildFilterChain(q, c);
            count_code = RunQueryLocked(q, QueryPattern(c.pattern), c.location);
            EXPECT_EQ(count_code, code);
            EXPECT_EQ(q.match_count(), rows) << test::Narrow(pattern);
            EXPECT_EQ(q.total_size_kb(), total) << test::Narrow(pattern);
            EXPECT_TRUE(q.results().records.empty());
        }
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
    CQueryer q(errors, dir.U16("big.db"));
    q.SetPathSeparator(u'\\');
    q.AddFilter(QueryFilter::Name);
    ASSERT_EQ(RunQueryLocked(q, u"f*", u""), QueryOutcome::Done);
    EXPECT_TRUE(q.counted());
    const ResultSet& r = q.results();
    ASSERT_EQ(r.size(), 560000u);
    EXPECT_EQ(r.Name(r.records.front()), u"f000000000");
    EXPECT_EQ(r.Name(r.records[269999]), u"f000269999");
    EXPECT_EQ(r.Location(r.records[270000]), u"C:\\b\\");
    EXPECT_EQ(r.Name(r.records.back()), u"f000019999");
    EXPECT_EQ(r.Location(r.records.back()), u"C:\\c\\");
}

TEST_F(QueryTest, DamagedFilesGiveWhatCanBeReadWithoutCrashingOrLooping) {
    const std::vector<uint8_t> good = Bytes();
    std::vector<uint8_t> f = good;
    f.resize(f.size() - 30);  // D:'s block is cut
    Write(f);
    auto rows = Query(u"*");
    EXPECT_TRUE(damaged_);
    EXPECT_GE(rows.size(), 8u);

    f = good;  // System32 points back at C:'s block: a cycle
    const uint32_t windows = Load32(&f[kFirstBlockOffset + 4 + ValueFieldOffset(7)]);
    Store32(&f[windows + 4 + ValueFieldOffset(8)], kFirstBlockOffset);
    Write(f);
    rows = Query(u"*");
    EXPECT_TRUE(damaged_);
    EXPECT_EQ(rows.size(), kEverything.size() - 2);  // System32's two files are gone

    f = good;  // a drive pointing into the header
    Store32(&f[kRootEntriesOffset + ValueFieldOffset(2)], 16);
    Write(f);
    rows = Query(u"*");
    EXPECT_TRUE(damaged_);
    EXPECT_EQ(Names(rows), (std::vector<std::u16string>{u"C:", u"d.txt", u"D:"}));
}

TEST_F(QueryTest, ACacheThatCannotBeOpenedFailsWithItsMessage) {
    {
        platform::ExclusiveFile holder;
        ASSERT_TRUE(holder.OpenExisting(dir_.U16("cache.db")));
        QueryOutcome code = QueryOutcome::Done;
        EXPECT_TRUE(Query(u"*", u"", &code).empty());
        EXPECT_EQ(code, QueryOutcome::Failed);
    }
    CQueryer q(errors_, dir_.U16("missing.db"));
    EXPECT_EQ(q.RunQuery(u"*", u""), QueryOutcome::Failed);
    ASSERT_EQ(errors_.messages.size(), 2u);
    for (const auto& m : errors_.messages)
        EXPECT_EQ(m,
                  u"Can not open dat file! File may be used by another program or does not "
                  u"exists! In CQueryer::InitTraverse - 000");
}

TEST_F(QueryTest, PosixRootsResolveByLongestPrefixThenCaseSensitively) {
    tree_ = FakeTree();
    tree_.Add(u"/", {u"srv", true}).Add(u"/", {u"etc", true}).Add(u"/etc/", {u"hosts"});
    tree_.AddFolder(u"/srv/");
    tree_.Add(u"/srv/data/", {u"x", true}).Add(u"/srv/data/x/", {u"f.txt"});
    Build({u"/", u"/srv/data/"});
    separator_ = u'/';
    QueryOutcome code = QueryOutcome::Failed;
    EXPECT_EQ(Query(u"*", u"/srv/data/x/", &code),
              (std::vector<Row>{{u"/srv/data/x/", u"f.txt", 0, false, 0}}));
    EXPECT_EQ(code, QueryOutcome::Done);
    const auto all = Query(u"*", u"/", &code);
    EXPECT_EQ(code, QueryOutcome::Done);
    EXPECT_EQ(all.front(), (Row{u"/", u"srv", 0, true, 0}));
    EXPECT_EQ(all[1], (Row{u"/etc/", u"hosts", 0, false, 0}));
    EXPECT_EQ(Query(u"*", u"/etc", &code).size(), 1u);
    for (const char16_t* bad : {u"/SRV/data/x", u"/srv//data", u"/etc/hosts", u"etc", u"/nope"}) {
        Query(u"*", bad, &code);
        EXPECT_EQ(code, QueryOutcome::NoSuchLocation) << test::Narrow(bad);
    }
    const auto whole = Query(u"*", u"My Computer", &code);
    EXPECT_EQ(whole.back(), (Row{u"", u"/srv/data", 0, true, 0}));
}

}  // namespace
}  // namespace corvella
