// What the commands on the selected rows of the results list hand to the system: clipboard
// texts, the file drop list, the command prompt's start, the shell's delete list and which rows
// leave the list afterwards. Plain functions over rows already read, so that the window code
// only reads rows and makes the calls.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace corvella {

// One selected row as an action reads it. A row that cannot be read (the list shows a message
// row, or the records changed under it) is not `readable`; each action says what it does then.
struct ActionRow {
    int index = -1;
    bool readable = false;
    std::u16string name;
    std::u16string location;  // with its trailing backslash; empty for a drive
    bool is_folder = false;
};

// The row's path as the shell names it: location + name, a drive as its root ("C:\").
std::u16string ShellPath(const ActionRow& row);

// The folder a command prompt for the row starts in: the row's location, or a drive's root.
// The prompt is started with no command text at all, so no name is ever read by the command
// interpreter as a command. Empty for a row that cannot be read.
std::u16string CommandPromptFolder(const ActionRow& row);

// "Copy File Path": location + name per row, each line ending with CR LF (the last one too); a
// row that cannot be read gives an empty line.
std::u16string FilePathsText(const std::vector<ActionRow>& rows);
// "Copy Folder Path": each row's location, a drive's name, as lines like the above.
std::u16string FolderPathsText(const std::vector<ActionRow>& rows);

// "Copy": the clipboard's file drop block, a 20-byte header (offset of the list, a point, the
// non-client flag, the wide-character flag; little-endian 32-bit fields) followed by the UTF-16
// paths, each ending with a NUL and the list with one more. Nothing when no row is given or any
// row cannot be read.
std::optional<std::vector<uint8_t>> FileDropBlock(const std::vector<ActionRow>& rows);

// Drag out: the rows handed to a drop target, in their order. Drives stay behind, as they are
// never handed to the shell; nothing is dragged when a row cannot be read (a partial list would
// carry fewer files than the user picked) or no row is left.
std::optional<std::vector<ActionRow>> RowsToDrag(const std::vector<ActionRow>& rows);

// "Delete": the paths handed to the shell, each ending with a NUL and the list with one more,
// and the rows they came from. Drives are never handed over. Nothing when a row cannot be read
// or no row is left to delete.
struct DeleteRequest {
    std::u16string shell_list;
    std::vector<int> rows;              // ascending, as the rows were read
    std::vector<std::u16string> paths;  // one per row
};
std::optional<DeleteRequest> PlanDelete(const std::vector<ActionRow>& rows);

// The rows of a delete whose entries are really gone: the shell may have been cancelled part
// way, or failed on an entry in use, and a row still on the disk stays in the list.
std::vector<int> RowsDeleted(const DeleteRequest& request,
                             const std::function<bool(const std::u16string&)>& exists);

// The entries the shell's own menu is asked for: the rows' paths when they all share one folder
// (every drive counts as one folder: the computer). The shell's menu belongs to one folder, so
// rows from two folders, a drive among them included, get none.
enum class ShellMenuOutcome { Paths, NoRows, Unreadable, NotSameFolder };
struct ShellMenuTarget {
    ShellMenuOutcome outcome = ShellMenuOutcome::NoRows;
    std::vector<std::u16string> paths;
};
ShellMenuTarget ShellMenuTargetFor(const std::vector<ActionRow>& rows);

}  // namespace corvella
