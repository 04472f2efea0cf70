// The five orders with all their ties, and the operations on a result set.
#include "results/sort_results.h"

#include <gtest/gtest.h>

#include "results/result_set.h"

namespace corvella {
namespace {

struct Builder {
    ResultSet set;
    Builder& Add(std::u16string_view location, std::u16string_view name, uint32_t size,
                 bool folder = false, uint64_t time = 0) {
        ResultRecord r;
        r.location = static_cast<uint32_t>(set.pool.size());
        set.pool.insert(set.pool.end(), location.begin(), location.end());
        set.pool.push_back(0);
        r.name = static_cast<uint32_t>(set.pool.size());
        set.pool.insert(set.pool.end(), name.begin(), name.end());
        set.pool.push_back(0);
        r.size_kb = size;
        r.is_folder = folder;
        r.last_write = time;
        set.records.push_back(r);
        return *this;
    }
};

std::vector<std::u16string> Paths(const ResultSet& set) {
    std::vector<std::u16string> out;
    for (const auto& r : set.records) out.push_back(set.FullPath(r, u'\\'));
    return out;
}

ResultSet Sample() {
    Builder b;
    b.Add(u"C:\\b\\", u"Readme", 5, false, 300)
        .Add(u"C:\\a\\", u"readme", 5, false, 300)
        .Add(u"", u"C:", 50, true, 0)
        .Add(u"C:\\", u"zeta.TXT", 7, false, 100)
        .Add(u"C:\\", u"alpha.txt", 7, false, 200)
        .Add(u"C:\\", u"b", 1, true, 400)
        .Add(u"C:\\", u"Makefile", 2, false, 100)
        .Add(u"C:\\", u"x.c", 9, false, 100)
        .Add(u"C:\\", u"\u00c4rger", 3, false, 100);
    return b.set;
}

TEST(Sort, NameThenLocation) {
    ResultSet s = Sample();
    SortResults(s, SortKey::Name);
    EXPECT_EQ(Paths(s), (std::vector<std::u16string>{
                            u"C:\\alpha.txt", u"C:\\b", u"C:\\", u"C:\\Makefile", u"C:\\a\\readme",
                            u"C:\\b\\Readme", u"C:\\x.c", u"C:\\zeta.TXT", u"C:\\\u00c4rger"}));
}

TEST(Sort, LocationThenNameWithDrivesFirst) {
    ResultSet s = Sample();
    SortResults(s, SortKey::Location);
    EXPECT_EQ(Paths(s),
              (std::vector<std::u16string>{u"C:\\", u"C:\\alpha.txt", u"C:\\b", u"C:\\Makefile",
                                           u"C:\\x.c", u"C:\\zeta.TXT", u"C:\\\u00c4rger",
                                           u"C:\\a\\readme", u"C:\\b\\Readme"}));
}

TEST(Sort, SizeDescendingThenNameThenLocation) {
    ResultSet s = Sample();
    SortResults(s, SortKey::Size);
    EXPECT_EQ(Paths(s),
              (std::vector<std::u16string>{u"C:\\", u"C:\\x.c", u"C:\\alpha.txt", u"C:\\zeta.TXT",
                                           u"C:\\a\\readme", u"C:\\b\\Readme", u"C:\\\u00c4rger",
                                           u"C:\\Makefile", u"C:\\b"}));
    // Sizes compare unsigned: the largest value is the largest.
    Builder b;
    b.Add(u"", u"small", 1).Add(u"", u"huge", 0xFFFFFFFF);
    SortResults(b.set, SortKey::Size);
    EXPECT_EQ(b.set.Name(b.set.records[0]), u"huge");
}

TEST(Sort, TypeFoldersFirstThenExtensionWithDotlessNamesComparedWhole) {
    ResultSet s = Sample();
    SortResults(s, SortKey::Type);
    // ".c" < ".txt" < "makefile" < "readme": a dot sorts before letters; "Ärger" folds past ASCII.
    EXPECT_EQ(Paths(s),
              (std::vector<std::u16string>{u"C:\\b", u"C:\\", u"C:\\x.c", u"C:\\alpha.txt",
                                           u"C:\\zeta.TXT", u"C:\\Makefile", u"C:\\a\\readme",
                                           u"C:\\b\\Readme", u"C:\\\u00c4rger"}));
    EXPECT_EQ(TypeKey(u"a.tar.gz"), u".gz");
    EXPECT_EQ(TypeKey(u"Makefile"), u"Makefile");
    EXPECT_EQ(TypeKey(u".profile"), u".profile");
}

TEST(Sort, DateNewestFirstThenNameThenLocation) {
    ResultSet s = Sample();
    SortResults(s, SortKey::Date);
    EXPECT_EQ(Paths(s), (std::vector<std::u16string>{u"C:\\b", u"C:\\a\\readme", u"C:\\b\\Readme",
                                                     u"C:\\alpha.txt", u"C:\\Makefile", u"C:\\x.c",
                                                     u"C:\\zeta.TXT", u"C:\\\u00c4rger", u"C:\\"}));
}

TEST(ResultSet, RemoveItemAndTotal) {
    ResultSet s = Sample();
    EXPECT_EQ(s.GetTotalSizeKB(), 5u + 5 + 50 + 7 + 7 + 1 + 2 + 9 + 3);
    EXPECT_FALSE(s.RemoveItem(s.size()));
    EXPECT_TRUE(s.RemoveItem(s.size() - 1));  // the last row: nothing moves
    EXPECT_TRUE(s.RemoveItem(0));
    EXPECT_EQ(s.size(), 7u);
    EXPECT_EQ(s.Name(s.records[0]), u"readme");
    EXPECT_EQ(s.GetTotalSizeKB(), 5u + 50 + 7 + 7 + 1 + 2 + 9);
    Builder big;
    big.Add(u"", u"a", 0xFFFFFFFF).Add(u"", u"b", 0xFFFFFFFF);
    EXPECT_EQ(big.set.GetTotalSizeKB(), 2ull * 0xFFFFFFFF);  // no wrap at 4 TiB
}

}  // namespace
}  // namespace corvella
