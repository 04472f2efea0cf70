#include "cache/state_file.h"

#include "platform/file.h"
#include "platform/ini_text.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace corvella {

namespace {

constexpr char16_t kSection[] = u"STATEINFO";
constexpr char16_t kProgramExit[] = u"ProgramExit";
constexpr char16_t kUpdateCacheExit[] = u"UpdateCacheExit";
constexpr char16_t kFirstRun[] = u"FirstRun";
constexpr char16_t kCacheFileSize[] = u"CacheFileSize";

}  // namespace

StateFile::StateFile(std::u16string path) : path_(std::move(path)) {}

bool StateFile::Exists() const {
    return platform::FileExists(path_);
}

std::u16string StateFile::Get(std::u16string_view key) const {
    return platform::ReadIniString(path_, kSection, key, u"");
}

bool StateFile::Set(std::u16string_view key, std::u16string_view value) {
    return platform::WriteIniString(path_, kSection, key, value);
}

bool StateFile::IsTrue(std::u16string_view key) const {
    return EqualsAsciiNoCase(Get(key), u"TRUE");
}

bool StateFile::SetFlag(std::u16string_view key, bool on) {
    return Set(key, on ? u"TRUE" : u"FALSE");
}

bool StateFile::SetProgramExit(bool orderly) {
    return SetFlag(kProgramExit, orderly);
}

bool StateFile::ProgramExitedCleanly() const {
    return IsTrue(kProgramExit);
}

bool StateFile::ProgramExitRecorded() const {
    return !Get(kProgramExit).empty();
}

bool StateFile::SetUpdateCacheExit(bool ended) {
    return SetFlag(kUpdateCacheExit, ended);
}

bool StateFile::UpdateCacheEnded() const {
    return IsTrue(kUpdateCacheExit);
}

bool StateFile::SetFirstRun() {
    return SetFlag(kFirstRun, true);
}

bool StateFile::SetCacheFileSize(uint64_t mib) {
    return Set(kCacheFileSize, Widen(std::to_string(mib)));
}

uint32_t StateFile::CacheFileSizeMiB() const {
    return static_cast<uint32_t>(IniNumber(Get(kCacheFileSize)));
}

}  // namespace corvella
