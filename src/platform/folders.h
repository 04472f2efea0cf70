// Folders made and removed one level at a time, whole-file copies and the process's own id:
// what making a new folder from parts needs.
#pragma once

#include <cstdint>
#include <string>

namespace corvella::platform {

// Makes one folder; its parent must exist. False when anything is already at `path`.
bool MakeFolder(const std::u16string& path);
// Removes a folder that is empty.
bool RemoveEmptyFolder(const std::u16string& path);
// Copies a regular file to `to`, which must not exist yet; the copy is writable. On failure `to`
// may be left partly written; the caller removes it.
bool CopyWholeFile(const std::u16string& from, const std::u16string& to);
// Renames a folder; false when anything is already at `to`.
bool RenameFolder(const std::u16string& from, const std::u16string& to);
uint32_t ProcessId();

}  // namespace corvella::platform
