// Turning paths typed on a command line into the forms the engine uses.
#pragma once

#include <optional>
#include <string>

namespace corvella::platform {

// The absolute form of `path`, resolved against the current folder.
std::u16string AbsolutePath(const std::u16string& path);
// An existing folder as an index root: absolute, ending in the separator ("C:\", "/",
// "/srv/data/"). Nothing when it is not a folder.
std::optional<std::u16string> FolderRoot(const std::u16string& path);
// Creates the folder that holds `file` and the folders above it, as needed.
bool CreateParentFolders(const std::u16string& file);

}  // namespace corvella::platform
