// The local fixed drives, and the folders a build leaves out.
#pragma once

#include <string>
#include <vector>

namespace corvella::platform {

// Windows: "C:\" ... "Z:\" for the drives the system reports as fixed. POSIX: "/".
std::vector<std::u16string> FixedDriveRoots();
// The one folder a build does not enter, with a trailing separator, or empty. Windows: the
// user's network-neighbourhood folder, whose shortcuts point off the machine. POSIX: none.
std::u16string BuildSkipFolder();
// The per-user folder that holds the settings, the state file and the cache.
// Windows: the application-data folder + "\Corvella Data". POSIX: $XDG_DATA_HOME/corvella,
// else ~/.local/share/corvella.
std::u16string DataFolder();

// The separator of full paths on this platform.
#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

}  // namespace corvella::platform
