// Mount points that a walk of the local disks must not enter.
#pragma once

#include <string>
#include <string_view>

namespace corvella::platform {

// The one list of file-system types that are virtual, network or optical.
bool IsSkippedFileSystemType(std::string_view type);
// True when `folder` + `name` is the mount point of such a file system, according to
// /proc/self/mountinfo as read at the first call. `folder` ends with "/". Cheap for the names
// that no such mount point ends in, which is nearly all of them.
bool IsSkippedMountPoint(std::string_view folder, std::string_view name);
// Decodes the octal escapes (\040 for a space) of a mountinfo path field.
std::string UnescapeMountPath(std::string_view field);

}  // namespace corvella::platform
