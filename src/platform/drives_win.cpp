#include <shlobj.h>
#include <windows.h>

#include "platform/drive_selection.h"
#include "platform/drives.h"
#include "platform/text_win.h"

namespace corvella::platform {

namespace {

std::u16string ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return FromWide(path, wcslen(path));
}

}  // namespace

std::vector<std::u16string> FixedDriveRoots() {
    return SelectDriveRoots([](const std::u16string& root) {
        return GetDriveTypeW(ToWide(root).c_str()) == DRIVE_FIXED;
    });
}

std::u16string BuildSkipFolder() {
    std::u16string folder = ShellFolder(CSIDL_NETHOOD);
    if (!folder.empty() && folder.back() != u'\\') folder += u'\\';
    return folder;
}

std::u16string DataFolder() {
    return ShellFolder(CSIDL_APPDATA) + u"\\Corvella Data";
}

}  // namespace corvella::platform
