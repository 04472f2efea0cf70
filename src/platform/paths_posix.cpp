#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/paths.h"
#include "platform/text.h"

namespace corvella::platform {

std::u16string AbsolutePath(const std::u16string& path) {
    if (!path.empty() && path[0] == u'/') return path;
    std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    if (!cwd) return path;
    std::u16string base = FromUtf8(cwd.get());
    if (base.empty() || base.back() != u'/') base += u'/';
    return base + path;
}

std::optional<std::u16string> FolderRoot(const std::u16string& path) {
    // realpath: one spelling per folder, so drive names and result paths are canonical.
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(ToUtf8(path).c_str(), nullptr),
                                                     &std::free);
    if (!real) return std::nullopt;
    struct stat st {};
    if (::stat(real.get(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
    std::u16string root = FromUtf8(real.get());
    if (root.back() != u'/') root += u'/';
    return root;
}

bool CreateParentFolders(const std::u16string& file) {
    std::string path = ToUtf8(AbsolutePath(file));
    const size_t cut = path.rfind('/');
    if (cut == std::string::npos || cut == 0) return true;
    path.resize(cut);
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            const std::string part = path.substr(0, i);
            if (::mkdir(part.c_str(), 0755) != 0) {
                struct stat st {};
                if (::stat(part.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
            }
        }
    }
    return true;
}

}  // namespace corvella::platform
