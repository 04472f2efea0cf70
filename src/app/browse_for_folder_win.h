// The shell's folder picker, as every Browse button for a location uses it.
#pragma once

#include <string>

namespace corvella {

// The folder the user picks under `title`, from the desktop down; empty when the picker is
// cancelled or the item is no file-system folder. The callers put "My Computer" for empty.
std::wstring BrowseForFolder(const wchar_t* title);

}  // namespace corvella
