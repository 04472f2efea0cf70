#include "app/browse_for_folder_win.h"

#include <windows.h>
// The shell's declarations build on <windows.h>.
#include <shlobj.h>

namespace corvella {

std::wstring BrowseForFolder(const wchar_t* title) {
    BROWSEINFOW browse{};
    browse.lpszTitle = title;
    std::wstring chosen;
    if (PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&browse)) {
        wchar_t path[MAX_PATH] = {};
        if (SHGetPathFromIDListW(item, path)) chosen = path;
        CoTaskMemFree(item);
    }
    return chosen;
}

}  // namespace corvella
