#include <cstdlib>

#include "platform/drives.h"
#include "platform/text.h"

namespace corvella::platform {

std::vector<std::u16string> FixedDriveRoots() {
    return {u"/"};
}

std::u16string BuildSkipFolder() {
    return {};
}

std::u16string DataFolder() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        return FromUtf8(xdg) + u"/corvella";
    const char* home = std::getenv("HOME");
    return FromUtf8(home && *home ? home : "/tmp") + u"/.local/share/corvella";
}

}  // namespace corvella::platform
