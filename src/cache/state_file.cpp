#include "cache/state_file.h"

#include "platform/file.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace corvella {

namespace {

constexpr char16_t kSection[] = u"STATEINFO";

}  // namespace

StateFile::StateFile(std::u16string path) : path_(std::move(path)) {}

bool StateFile::Exists() const {
    return platform::FileExists(path_);
}

std::u16string StateFile::Get(std::u16string_view key) const {
    return platform::ReadProfileString(path_, kSection, key, u"");
}

bool StateFile::Set(std::u16string_view key, std::u16string_view value) {
    return platform::WriteProfileString(path_, kSection, key, value);
}

bool IsTrueFlag(std::u16string_view value) {
    return EqualsAsciiNoCase(value, u"TRUE");
}

}  // namespace corvella
