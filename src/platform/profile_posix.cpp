#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/fd_posix.h"
#include "platform/ini_text.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace corvella::platform {

namespace {

std::u16string ReadAll(const std::u16string& file) {
    std::ifstream in(ToUtf8(file), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return FromUtf8(bytes.str());
}

// Written beside and renamed over, so a reader never sees half a file.
bool ReplaceFile(const std::u16string& file, const std::string& bytes) {
    const std::string target = ToUtf8(file);
    const std::string temp = target + ".new";
    Descriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.IsOpen()) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    // Closed before the rename either way; a failed close can be a failed write.
    const bool closed = fd.Close();
    const bool ok = done == bytes.size() && closed;
    if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::u16string ReadIniString(const std::u16string& file, std::u16string_view section,
                             std::u16string_view key, std::u16string_view fallback) {
    if (auto value = IniGet(ReadAll(file), section, key)) return *value;
    return std::u16string(fallback);
}

bool WriteIniString(const std::u16string& file, std::u16string_view section,
                    std::u16string_view key, std::optional<std::u16string_view> value) {
    return ReplaceFile(file, ToUtf8(IniSet(ReadAll(file), section, key, value)));
}

bool WriteIniSection(const std::u16string& file, std::u16string_view section,
                     const std::vector<std::pair<std::u16string, std::u16string>>& entries) {
    return ReplaceFile(file, ToUtf8(IniSetSection(ReadAll(file), section, entries)));
}

}  // namespace corvella::platform
