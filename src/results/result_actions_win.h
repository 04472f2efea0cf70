// The commands on the selected rows of the results list, as the system carries them out: shell
// launches, the clipboard and the shell's delete. What they hand over is built by the plain
// functions of result_actions.h.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "results/list_ctrl_ex_win.h"
#include "results/result_actions.h"

namespace corvella {

// The selected rows, ascending, each read under the results lock.
std::vector<ActionRow> ReadSelectedRows(CListCtrlEx& list);
// The first selected row; not readable when none is selected.
ActionRow ReadFirstSelectedRow(CListCtrlEx& list);

// Each row with the shell's default action, until a row cannot be read.
void OpenRows(const std::vector<ActionRow>& rows);
// Explorer with each row selected in its folder, or showing each row's folder.
void BrowseFiles(const std::vector<ActionRow>& rows);
void BrowseFolders(const std::vector<ActionRow>& rows);
// A command prompt in each row's folder.
void OpenCommandPrompts(const std::vector<ActionRow>& rows);

// False when the clipboard could not be opened or took nothing.
bool PutClipboardText(HWND owner, const std::u16string& text);
bool PutClipboardFiles(HWND owner, const std::vector<ActionRow>& rows);

// Sends the selected entries to the recycle bin through the shell (which asks the user), then
// takes the rows of the entries that are gone out of the list. Returns whether any row went.
bool DeleteSelectedRows(HWND owner, CListCtrlEx& list);

}  // namespace corvella
