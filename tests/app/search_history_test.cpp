// The search histories: how a search moves, replaces and drops entries, the limits, and what
// reaches settings.ini and comes back from it, damaged files included.
#include "app/search_history.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/profile.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

using Entries = std::vector<std::u16string>;

SearchHistory History(HistoryKind kind, int max, const Entries& oldest_last) {
    SearchHistory history(kind, max);
    for (auto it = oldest_last.rbegin(); it != oldest_last.rend(); ++it) history.Add(*it);
    return history;
}
SearchHistory Patterns(int max, const Entries& e) {
    return History(HistoryKind::Patterns, max, e);
}
SearchHistory Locations(int max, const Entries& e) {
    return History(HistoryKind::Locations, max, e);
}

// settings.ini in `dir` holding `text`; its path.
std::u16string WriteSettings(const test::TempDir& dir, const std::string& text) {
    std::ofstream(dir.path() / "settings.ini", std::ios::binary) << text;
    return dir.U16("settings.ini");
}

// Fault: a match kept the old spelling, was found case-sensitively, or left a duplicate behind;
// the edit told the box something other than what the list did.
TEST(SearchHistory, AMatchMovesToTheTopAsTheTextSearched) {
    SearchHistory history = Patterns(10, {u"*.txt", u"*.mp3", u"report"});
    const HistoryEdit edit = history.Add(u"*.MP");
    EXPECT_EQ(history.entries(), (Entries{u"*.MP", u"*.txt", u"report"}));
    EXPECT_EQ(edit, (HistoryEdit{1, 0, u"*.MP", true}));

    // The first entry from the top that begins with the text is the one taken.
    history.Add(u"re");
    history.Add(u"*.");
    EXPECT_EQ(history.entries(), (Entries{u"*.", u"re", u"*.txt"}));

    SearchHistory locations = Locations(10, {u"D:\\music", u"D:\\work"});
    locations.Add(u"d:\\WORK");
    EXPECT_EQ(locations.entries(), (Entries{u"My Computer", u"d:\\WORK", u"D:\\music"}));
}

// Fault: the limit was off by one, dropped the newest instead of the oldest, or counted (or
// dropped) "My Computer" wrongly; a limit of 1 deleted "My Computer" itself.
TEST(SearchHistory, TheOldestEntryMakesRoomAndMyComputerStays) {
    SearchHistory history = Patterns(3, {u"c", u"b", u"a"});
    const HistoryEdit edit = history.Add(u"d");
    EXPECT_EQ(history.entries(), (Entries{u"d", u"c", u"b"}));
    EXPECT_EQ(edit, (HistoryEdit{2, 0, u"d", false}));

    SearchHistory locations = Locations(5, {u"E:\\", u"D:\\c", u"D:\\b", u"D:\\a"});
    locations.Add(u"  F:\\new folder \t");
    EXPECT_EQ(locations.entries(),
              (Entries{u"My Computer", u"F:\\new folder", u"E:\\", u"D:\\c", u"D:\\b"}));

    for (int max : {0, 1, -4})
        EXPECT_EQ(Locations(max, {u"D:\\a"}).entries(), Entries{u"My Computer"}) << max;
    EXPECT_EQ(Patterns(0, {u"a"}).entries(), Entries{});
    EXPECT_EQ(SearchHistory(HistoryKind::Patterns, 2'000'000'000).limit(), kHistoryCeiling);
}

// Faults: "My Computer" (or a beginning of it) became a history entry or was written back; an
// empty or blank location was added; a text with a line break or too long for the read buffer
// entered the history, and so the settings file, where it breaks the section or comes back cut.
TEST(SearchHistory, MyComputerAndTextsThatCannotBeStoredChangeNothing) {
    const std::u16string longest(kLongestStorableText, u'x');
    const HistoryEdit unstored{-1, -1, u"", false, false};
    const struct {
        HistoryKind kind;
        std::u16string text;
        HistoryEdit edit;
    } cases[] = {{HistoryKind::Locations, u"my computer", unstored},
                 {HistoryKind::Locations, u"MY", unstored},
                 {HistoryKind::Locations, u"My Computer", unstored},
                 {HistoryKind::Locations, u"   ", {}},
                 {HistoryKind::Locations, u"D:\\a\rb", {}},
                 {HistoryKind::Patterns, u"", {}},
                 {HistoryKind::Patterns, u"one\r\n[OPTIONS]", {}},
                 {HistoryKind::Patterns, u"two\nlines", {}},
                 {HistoryKind::Patterns, std::u16string(u"nul\0x", 5), {}},
                 {HistoryKind::Patterns, longest + u'y', {}}};
    for (const auto& c : cases) {
        SearchHistory history = History(c.kind, 5, {u"D:\\a"});
        const Entries before = history.entries();
        EXPECT_EQ(history.Add(c.text), c.edit) << test::Narrow(c.text);
        EXPECT_EQ(history.entries(), before) << test::Narrow(c.text);
    }
}

// Fault: texts with INI syntax in them came back otherwise, or the limit was not kept.
TEST(SearchHistory, TextsWithIniSyntaxComeBackAsTheyWere) {
    test::TempDir dir;
    const std::u16string settings = WriteSettings(dir, "[PATTERNHISTORY]\r\nmaxnumber=20\r\n");
    const Entries hostile = {u"[PATTERNHISTORY]", u"hisnumber=0", u";not a comment", u"a=b=c",
                             std::u16string(kLongestStorableText, u'q')};
    SearchHistory patterns = SearchHistory::Load(HistoryKind::Patterns, settings);
    for (auto it = hostile.rbegin(); it != hostile.rend(); ++it) patterns.Add(*it);
    ASSERT_TRUE(patterns.Store(settings));
    EXPECT_EQ(SearchHistory::Load(HistoryKind::Patterns, settings).entries(), hostile);
    EXPECT_EQ(platform::ReadIniString(settings, u"PATTERNHISTORY", u"maxnumber", u""), u"20");
}

// Fault: a damaged count loaded past the limit (or hung for two billion entries), a negative
// one did anything, or storing over a damaged count hung deleting keys that never were.
TEST(SearchHistory, DamagedSettingsLoadWithinTheLimit) {
    test::TempDir dir;
    const std::u16string settings = WriteSettings(
        dir,
        "[PATTERNHISTORY]\r\nmaxnumber=3\r\nhisnumber=2000000000\r\nPATTERN_0=a\r\n"
        "PATTERN_2=c\r\nPATTERN_3=d\r\n"
        "[FOLDERHISTORY]\r\nmaxnumber=99999999999\r\nhisnumber=-7\r\nPATTERN_0=D:\\x\r\n");
    SearchHistory patterns = SearchHistory::Load(HistoryKind::Patterns, settings);
    // A missing entry reads as its default.
    EXPECT_EQ(patterns.entries(), (Entries{u"a", u"*.mp3", u"c"}));
    patterns.Add(u"new");
    EXPECT_EQ(patterns.entries(), (Entries{u"new", u"a", u"*.mp3"}));
    ASSERT_TRUE(patterns.Store(settings));
    EXPECT_EQ(platform::ReadIniString(settings, u"PATTERNHISTORY", u"PATTERN_3", u"gone"), u"gone");

    SearchHistory locations = SearchHistory::Load(HistoryKind::Locations, settings);
    EXPECT_EQ(locations.entries(), Entries{u"My Computer"});
    EXPECT_EQ(locations.limit(), kHistoryCeiling);

    WriteSettings(dir, "[FOLDERHISTORY]\r\nmaxnumber=2000000000\r\nhisnumber=2000000000\r\n");
    EXPECT_EQ(SearchHistory::Load(HistoryKind::Locations, settings).entries().size(),
              size_t(kHistoryCeiling));
}

// Fault: without a maxnumber the history was still loaded, or a search left the old keys.
TEST(SearchHistory, WithoutAMaximumTheFirstSearchErasesTheStoredHistory) {
    test::TempDir dir;
    const std::u16string settings =
        WriteSettings(dir, "[PATTERNHISTORY]\r\nhisnumber=2\r\nPATTERN_0=a\r\nPATTERN_1=b\r\n");
    SearchHistory patterns = SearchHistory::Load(HistoryKind::Patterns, settings);
    EXPECT_EQ(patterns.entries(), Entries{});
    patterns.Add(u"c");
    ASSERT_TRUE(patterns.Store(settings));
    EXPECT_EQ(platform::ReadIniString(settings, u"PATTERNHISTORY", u"hisnumber", u""), u"0");
    EXPECT_EQ(platform::ReadIniString(settings, u"PATTERNHISTORY", u"PATTERN_1", u"gone"), u"gone");
}

}  // namespace
}  // namespace corvella
