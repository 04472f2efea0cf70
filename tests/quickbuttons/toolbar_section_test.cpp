// The TOOLBAR section through a real settings file: defaults, damage, the one-write save.
#include "quickbuttons/toolbar_section.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/ini_text.h"
#include "platform/profile.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(ToolbarSection, MissingKeysTakeTheirDefaultsAndDamagedSectionsStayBounded) {
    // A count from a damaged or hostile file must neither exhaust memory nor go negative.
    const std::pair<const char16_t*, int> counts[] = {
        {u"2000000000", kMaxQuickButtons}, {u"-5", 0}, {u"abc", 0}, {u"3x", 3}, {u"", 0}};
    for (const auto& [text, n] : counts) EXPECT_EQ(QuickButtonCount(text), n) << "tbnumber " << n;

    test::TempDir dir;
    const std::u16string settings = dir.U16("settings.ini");
    EXPECT_TRUE(ReadToolbarSection(settings).empty());  // no file, no section
    WriteText(dir.path() / "settings.ini",
              "[TOOLBAR]\r\ntbnumber=2000000000\r\nICONTEXT_0=" + std::string(100000, 'x') +
                  "\r\nICONTEXT_1=Music\r\n");
    const std::vector<QuickButtonDef> buttons = ReadToolbarSection(settings);
    ASSERT_EQ(buttons.size(), size_t(kMaxQuickButtons));
    EXPECT_LE(buttons[0].label.size(), kMaxValueLength);
    EXPECT_EQ(buttons[1].label, u"Music");
    EXPECT_EQ(buttons[1].pattern, u"*.mp3");
    EXPECT_EQ(buttons[255],
              (QuickButtonDef{u"Default", u"*.mp3", u".\\icons\\default.ico", u"DEFAULT"}));
}

TEST(ToolbarSection, IconPathsAreStoredLowerCaseAndRelativeInsideTheCurrentFolder) {
    EXPECT_EQ(StoredIconPath(u"C:\\Corvella\\Icons\\Music.ico", u"c:\\corvella"),
              u".\\icons\\music.ico");
    EXPECT_EQ(StoredIconPath(u"C:\\Corvella\\Icons\\Music.ico", u"C:\\Corvella\\"),
              u".\\icons\\music.ico");
    EXPECT_EQ(StoredIconPath(u"D:\\Art\\Music.ico", u"c:\\corvella"), u"d:\\art\\music.ico");
    // A folder whose name only begins like the current one's is not inside it.
    EXPECT_EQ(StoredIconPath(u"C:\\CorvellaOld\\a.ico", u"C:\\Corvella"),
              u"c:\\corvellaold\\a.ico");
    EXPECT_EQ(StoredIconPath(u".\\icons\\default.ico", u"C:\\Corvella"), u".\\icons\\default.ico");
}

TEST(ToolbarSection, SavingReplacesTheWholeSectionAndReadsBack) {
    test::TempDir dir;
    const std::u16string settings = dir.U16("settings.ini");
    WriteText(dir.path() / "settings.ini",
              "[OPTIONS]\r\nENABLE_DIALOGS=1\r\n[TOOLBAR]\r\ntbnumber=3\r\nICON_2=old.ico\r\n"
              "ICONTEXT_2=Old\r\nQUERYPATTER_2=*.old\r\nSEARCHLOC_2=C:\\old\r\n[CACHEFILE]\r\n"
              "filepath=default.db\r\n");
    const std::vector<QuickButtonDef> saved = {
        {u"Documents", u"*.doc*;*.pdf", u"C:\\App\\Icons\\Docs.ico", u"DEFAULT"},
        {u"Two\r\nlines", u"*.jpg", u"D:\\pics.ico", u"D:\\Photos"}};
    ASSERT_TRUE(WriteToolbarSection(settings, saved, u"c:\\app"));

    const std::vector<QuickButtonDef> read = ReadToolbarSection(settings);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0],
              (QuickButtonDef{u"Documents", u"*.doc*;*.pdf", u".\\icons\\docs.ico", u"DEFAULT"}));
    // A line break in a value would have started keys of its own.
    EXPECT_EQ(read[1], (QuickButtonDef{u"Two  lines", u"*.jpg", u"d:\\pics.ico", u"D:\\Photos"}));
    // No key of the removed third button stays, and the other sections are untouched.
    for (const char16_t* key : {u"ICON_2", u"ICONTEXT_2", u"QUERYPATTER_2", u"SEARCHLOC_2"})
        EXPECT_EQ(platform::ReadIniString(settings, kToolbarSection, key, u"gone"), u"gone");
    EXPECT_EQ(platform::ReadIniString(settings, u"OPTIONS", u"ENABLE_DIALOGS", u""), u"1");
    EXPECT_EQ(platform::ReadIniString(settings, u"CACHEFILE", u"filepath", u""), u"default.db");

    ASSERT_TRUE(WriteToolbarSection(settings, {}, u"c:\\app"));
    EXPECT_TRUE(ReadToolbarSection(settings).empty());
    EXPECT_FALSE(WriteToolbarSection(dir.U16("no such folder/settings.ini"), saved, u"c:\\app"));
}

TEST(ToolbarSection, SectionTextKeepsOtherLinesAsTheyWere) {
    const std::u16string text =
        u"; mine\r\n[A]\r\nx=1\r\n[toolbar]\r\ntbnumber=9\r\n; old\r\n[B]\r\ny=2";
    EXPECT_EQ(IniSetSection(text, u"TOOLBAR", {{u"tbnumber", u"0"}}),
              u"; mine\r\n[A]\r\nx=1\r\n[toolbar]\r\ntbnumber=0\r\n[B]\r\ny=2");
    EXPECT_EQ(IniSetSection(u"[A]\r\nx=1", u"TOOLBAR", {{u"tbnumber", u"1"}}),
              u"[A]\r\nx=1\r\n[TOOLBAR]\r\ntbnumber=1\r\n");
}

TEST(QuickSearchLocation, DefaultMeansTheLocationBox) {
    EXPECT_EQ(QuickSearchLocation(u"DEFAULT", u"D:\\qz"), u"D:\\qz");
    EXPECT_EQ(QuickSearchLocation(u"  DEFAULT ", u"D:\\qz"), u"D:\\qz");
    EXPECT_EQ(QuickSearchLocation(u"", u"My Computer"), u"My Computer");
    // Only the exact word: a folder named "default" is a location like any other.
    EXPECT_EQ(QuickSearchLocation(u"default", u"D:\\qz"), u"default");
    EXPECT_EQ(QuickSearchLocation(u"D:\\music", u"D:\\qz"), u"D:\\music");
}

}  // namespace
}  // namespace corvella
