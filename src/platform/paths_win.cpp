#include <windows.h>

#include "platform/long_path_win.h"
#include "platform/paths.h"
#include "platform/text_win.h"

namespace corvella::platform {

namespace {

// The position after `count` more separators from `from`, or the end.
size_t SkipComponents(const std::u16string& path, size_t from, int count) {
    for (; count > 0; --count) {
        const size_t separator = path.find(u'\\', from);
        if (separator == std::u16string::npos) return path.size();
        from = separator + 1;
    }
    return from;
}

// Where the first folder below the volume starts in an absolute path: past "C:\",
// "\\server\share\", "\\?\C:\" or "\\?\UNC\server\share\". The parts before it are not
// folders that CreateDirectory could make.
size_t FirstFolderStart(const std::u16string& path) {
    if (path.rfind(u"\\\\?\\UNC\\", 0) == 0) return SkipComponents(path, 8, 2);
    if (path.rfind(u"\\\\?\\", 0) == 0 || path.rfind(u"\\\\.\\", 0) == 0)
        return SkipComponents(path, 4, 1);  // "C:" or "Volume{...}"
    if (path.rfind(u"\\\\", 0) == 0) return SkipComponents(path, 2, 2);
    return SkipComponents(path, 0, 1);
}

}  // namespace

std::u16string AbsolutePath(const std::u16string& path) {
    const std::wstring wide = ToWide(path);
    const DWORD need = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (need == 0) return path;
    std::wstring full(need, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
    if (got == 0 || got >= need) return path;
    return FromWide(full.data(), got);
}

std::optional<std::u16string> FolderRoot(const std::u16string& path) {
    std::u16string root = AbsolutePath(path);
    const DWORD attributes = GetFileAttributesW(LongPath(root).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    if (root.back() != u'\\') root += u'\\';
    return root;
}

bool CreateParentFolders(const std::u16string& file) {
    const std::u16string full = AbsolutePath(file);
    const size_t cut = full.find_last_of(u'\\');
    if (cut == std::u16string::npos) return true;
    // Each level in turn below the volume; the levels that exist already are passed over.
    for (size_t i = FirstFolderStart(full) + 1; i <= cut; ++i) {
        if (i == cut || full[i] == u'\\') {
            const std::wstring part = LongPath(full.substr(0, i));
            if (CreateDirectoryW(part.c_str(), nullptr)) continue;
            // Whatever exists there must be a folder: a file of that name blocks the way.
            const DWORD attributes = GetFileAttributesW(part.c_str());
            if (GetLastError() != ERROR_ALREADY_EXISTS && attributes == INVALID_FILE_ATTRIBUTES)
                return false;
            if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
                return false;
        }
    }
    return true;
}

}  // namespace corvella::platform
