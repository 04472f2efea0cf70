#include <windows.h>

#include "platform/dir_list.h"
#include "platform/long_path_win.h"

namespace corvella::platform {

namespace {

WIN32_FIND_DATAW& Data(std::vector<unsigned char>& bytes) {
    return *reinterpret_cast<WIN32_FIND_DATAW*>(bytes.data());
}

}  // namespace

bool DirLister::Open(const std::u16string& folder) {
    Close();
    data_.assign(sizeof(WIN32_FIND_DATAW), 0);
    std::wstring pattern = LongPath(folder);
    if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
    pattern += L'*';
    // Basic info skips the 8.3 names; large fetch asks for bigger batches from the file system.
    find_.Reset(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &Data(data_),
                                 FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    have_first_ = find_.IsOpen();
    return have_first_;
}

bool DirLister::Next(DirEntry& entry) {
    if (!find_.IsOpen()) return false;
    if (have_first_) {
        have_first_ = false;
    } else if (!FindNextFileW(find_.get(), &Data(data_))) {
        return false;
    }
    const WIN32_FIND_DATAW& d = Data(data_);
    name_.assign(reinterpret_cast<const char16_t*>(d.cFileName));
    entry.name = name_;
    entry.folder = (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.no_enter = entry.folder && (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entry.size_bytes =
        entry.folder ? 0 : (uint64_t(d.nFileSizeHigh) << 32) | uint64_t(d.nFileSizeLow);
    entry.last_write = (uint64_t(d.ftLastWriteTime.dwHighDateTime) << 32) |
                       uint64_t(d.ftLastWriteTime.dwLowDateTime);
    return true;
}

void DirLister::Close() {
    find_.Close();
    have_first_ = false;
}

}  // namespace corvella::platform
