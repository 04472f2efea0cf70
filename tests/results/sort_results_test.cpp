// The five orders with all their ties.
#include "results/sort_results.h"

#include <gtest/gtest.h>

#include "support/test_tree.h"

namespace corvella {
namespace {

using test::AddResult;

TEST(Sort, EveryKeyWithItsTies) {
    // A dot sorts before letters; "Ärger" folds past ASCII; a drive's location is empty.
    const struct {
        SortKey key;
        std::vector<std::u16string> order;
    } cases[] = {
        {SortKey::Name, {u"C:\\alpha.txt", u"C:\\b", u"C:\\", u"C:\\Makefile", u"C:\\a\\readme",
                         u"C:\\b\\Readme", u"C:\\x.c", u"C:\\zeta.TXT", u"C:\\\u00c4rger"}},
        {SortKey::Location, {u"C:\\", u"C:\\alpha.txt", u"C:\\b", u"C:\\Makefile", u"C:\\x.c",
                             u"C:\\zeta.TXT", u"C:\\\u00c4rger", u"C:\\a\\readme", u"C:\\b\\Readme"}},
        {SortKey::Size, {u"C:\\", u"C:\\x.c", u"C:\\alpha.txt", u"C:\\zeta.TXT", u"C:\\a\\readme",
                         u"C:\\b\\Readme", u"C:\\\u00c4rger", u"C:\\Makefile", u"C:\\b"}},
        {SortKey::Type, {u"C:\\b", u"C:\\", u"C:\\x.c", u"C:\\alpha.txt", u"C:\\zeta.TXT",
                         u"C:\\Makefile", u"C:\\a\\readme", u"C:\\b\\Readme", u"C:\\\u00c4rger"}},
        {SortKey::Date, {u"C:\\b", u"C:\\a\\readme", u"C:\\b\\Readme", u"C:\\alpha.txt",
                         u"C:\\Makefile", u"C:\\x.c", u"C:\\zeta.TXT", u"C:\\\u00c4rger", u"C:\\"}},
    };
    for (const auto& c : cases) {
        ResultSet s;
        AddResult(s, u"C:\\b\\", u"Readme", 5, false, 300);
        AddResult(s, u"C:\\a\\", u"readme", 5, false, 300);
        AddResult(s, u"", u"C:", 50, true, 0);
        AddResult(s, u"C:\\", u"zeta.TXT", 7, false, 100);
        AddResult(s, u"C:\\", u"alpha.txt", 7, false, 200);
        AddResult(s, u"C:\\", u"b", 1, true, 400);
        AddResult(s, u"C:\\", u"Makefile", 2, false, 100);
        AddResult(s, u"C:\\", u"x.c", 9, false, 100);
        AddResult(s, u"C:\\", u"\u00c4rger", 3, false, 100);
        SortResults(s, c.key);
        std::vector<std::u16string> paths;
        for (const auto& r : s.records) paths.push_back(s.FullPath(r, u'\\'));
        EXPECT_EQ(paths, c.order) << int(c.key);
    }
    EXPECT_EQ(TypeKey(u"a.tar.gz"), u".gz");
    EXPECT_EQ(TypeKey(u"Makefile"), u"Makefile");
    // Sizes compare unsigned: the largest value is the largest.
    ResultSet s;
    AddResult(s, u"", u"small", 1);
    AddResult(s, u"", u"huge", 0xFFFFFFFF);
    SortResults(s, SortKey::Size);
    EXPECT_EQ(s.Name(s.records[0]), u"huge");
}

}  // namespace
}  // namespace corvella
