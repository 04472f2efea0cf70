// The parts of the Windows change source that its tests reach: the walk over a batch of change
// records, and the name of the file that wakes a blocked read.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace corvella::platform {

// Made and removed again in the root, so that a read blocking on the root returns.
inline constexpr char16_t kWakeFileName[] = u"QDR417260935581KTnnpWe31vMZB7305.qzrtmp";

// Walks the FILE_NOTIFY_INFORMATION records of a ReadDirectoryChangesW buffer of `bytes` bytes
// read over `root` (ending with "\"). For each record added, removed, modified or renamed to its
// new name, appends the long form of the folder the change happened in, ending with "\"; a folder
// that no longer exists is left out. Records that run past `bytes` end the walk.
void AppendChangedFolders(const std::u16string& root, const void* records, size_t bytes,
                          std::vector<std::u16string>& folders);

}  // namespace corvella::platform
