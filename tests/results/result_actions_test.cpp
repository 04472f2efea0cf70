// The clipboard texts, the file drop block, the command prompt's folder, the delete list and the
// rows a drag carries.
#include "results/result_actions.h"

#include <gtest/gtest.h>

#include <set>

namespace corvella {
namespace {

using namespace std::string_literals;

ActionRow Row(int index, std::u16string location, std::u16string name, bool folder = false) {
    return ActionRow{index, true, std::move(name), std::move(location), folder};
}
ActionRow Unreadable(int index) {
    return ActionRow{index, false, {}, {}, false};
}

// Faults: the last line without its CR LF (a paste joins it to what follows); a drive row
// losing its name in the folder copy; an unreadable row shifting the lines after it.
TEST(ResultActions, PathCopiesGiveOneCrLfLinePerRow) {
    const std::vector<ActionRow> rows = {Row(0, u"D:\\a b\\", u"x.txt"), Row(1, u"", u"C:"),
                                         Unreadable(2), Row(3, u"D:\\", u"y")};
    EXPECT_EQ(FilePathsText(rows), u"D:\\a b\\x.txt\r\nC:\r\n\r\nD:\\y\r\n");
    EXPECT_EQ(FolderPathsText(rows), u"D:\\a b\\\r\nC:\r\n\r\nD:\\\r\n");
    EXPECT_EQ(FilePathsText({}), u"");
}

// Faults: the folder or its name reaching the command line (a folder named "a&calc" would run
// calc); a drive row starting in the current folder of that drive instead of its root.
TEST(ResultActions, CommandPromptStartsInTheRowsFolder) {
    EXPECT_EQ(CommandPromptFolder(Row(0, u"D:\\a&calc\\", u"f.txt")), u"D:\\a&calc\\");
    EXPECT_EQ(CommandPromptFolder(Row(0, u"D:\\x\\", u"a&b", true)), u"D:\\x\\");
    EXPECT_EQ(CommandPromptFolder(Row(0, u"", u"C:")), u"C:\\");
    EXPECT_EQ(CommandPromptFolder(Unreadable(0)), u"");
}

// Faults: a wrong header (offset, wide flag) makes a paste read garbage or ANSI; a missing final
// NUL lets the reader run past the list; a drive copied as "C:" (its current folder) not "C:\".
TEST(ResultActions, FileDropBlockIsAHeaderAndADoubleNulTerminatedList) {
    const auto block = FileDropBlock({Row(0, u"D:\\q\\", u"\u00e9.txt"), Row(1, u"", u"C:")});
    ASSERT_TRUE(block.has_value());
    const std::vector<uint8_t> header = {20, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                         0,  0, 0, 0, 0, 0, 1, 0, 0, 0};
    ASSERT_GE(block->size(), header.size());
    EXPECT_EQ(std::vector<uint8_t>(block->begin(), block->begin() + 20), header);
    const std::u16string list = u"D:\\q\\\u00e9.txt\0C:\\\0\0"s;
    ASSERT_EQ(block->size(), 20 + 2 * list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ((*block)[20 + 2 * i], list[i] & 0xFF) << i;
        EXPECT_EQ((*block)[21 + 2 * i], list[i] >> 8) << i;
    }
    EXPECT_FALSE(FileDropBlock({}).has_value());
    EXPECT_FALSE(FileDropBlock({Row(0, u"D:\\", u"a"), Unreadable(1)}).has_value());
}

// Faults: a drive handed to the shell to delete, or removed from the list although nothing
// happened to it; a row that the shell did not delete (cancelled, in use) leaving the list;
// an unreadable row letting a partial list through.
TEST(ResultActions, DeleteHandsOverOnlyFilesAndRemovesOnlyWhatWentAway) {
    const auto request = PlanDelete({Row(2, u"D:\\q\\", u"a.txt"), Row(3, u"", u"D:"),
                                     Row(5, u"D:\\q\\", u"sub", true), Row(8, u"D:\\", u"b")});
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->shell_list, u"D:\\q\\a.txt\0D:\\q\\sub\0D:\\b\0\0"s);
    EXPECT_EQ(request->rows, (std::vector<int>{2, 5, 8}));
    const std::set<std::u16string> still = {u"D:\\q\\sub"};
    EXPECT_EQ(RowsDeleted(*request, [&](const std::u16string& p) { return still.count(p) > 0; }),
              (std::vector<int>{2, 8}));
    EXPECT_FALSE(PlanDelete({Row(0, u"", u"C:")}).has_value());
    EXPECT_FALSE(PlanDelete({Row(0, u"D:\\", u"a"), Unreadable(1)}).has_value());
}

// Faults: a drive dragged out (a drop would copy or move a whole drive); a drive among files
// stopping the files' drag; an unreadable row letting fewer files go than the user picked.
TEST(ResultActions, DragCarriesFilesAndFoldersButNoDrive) {
    const auto dragged = RowsToDrag(
        {Row(1, u"", u"C:"), Row(2, u"D:\\q\\", u"a.txt"), Row(6, u"D:\\", u"sub", true)});
    ASSERT_TRUE(dragged.has_value());
    ASSERT_EQ(dragged->size(), 2u);
    EXPECT_EQ((*dragged)[0].index, 2);
    EXPECT_EQ((*dragged)[1].index, 6);
    EXPECT_FALSE(RowsToDrag({Row(0, u"", u"D:")}).has_value());
    EXPECT_FALSE(RowsToDrag({Row(0, u"D:\\", u"a"), Unreadable(1)}).has_value());
    EXPECT_FALSE(RowsToDrag({}).has_value());
}

// Faults: rows of two folders handed to the shell together (its menu would be built for the
// first row's folder and act on the wrong entries), also when a drive row comes first; rows of
// one folder refused; an unreadable row letting the menu act on a part of the selection.
TEST(ResultActions, ShellMenuTakesRowsOfOneFolderOnly) {
    const ShellMenuTarget same =
        ShellMenuTargetFor({Row(0, u"D:\\q\\", u"a"), Row(4, u"D:\\q\\", u"b", true)});
    EXPECT_EQ(same.outcome, ShellMenuOutcome::Paths);
    EXPECT_EQ(same.paths, (std::vector<std::u16string>{u"D:\\q\\a", u"D:\\q\\b"}));
    const ShellMenuTarget drives = ShellMenuTargetFor({Row(0, u"", u"C:"), Row(1, u"", u"D:")});
    EXPECT_EQ(drives.paths, (std::vector<std::u16string>{u"C:\\", u"D:\\"}));
    EXPECT_EQ(ShellMenuTargetFor({Row(0, u"", u"D:"), Row(1, u"D:\\q\\", u"a")}).outcome,
              ShellMenuOutcome::NotSameFolder);
    EXPECT_EQ(ShellMenuTargetFor({Row(0, u"D:\\q\\", u"a"), Unreadable(1)}).outcome,
              ShellMenuOutcome::Unreadable);
    EXPECT_EQ(ShellMenuTargetFor({}).outcome, ShellMenuOutcome::NoRows);
}

}  // namespace
}  // namespace corvella
