// The state file ("stateinfo.ini"): the flags that let a start tell how the last build,
// defragmentation and run ended, all in section "STATEINFO". Earlier versions and other programs
// read it, so its keys and their texts never change: a flag is written "TRUE" or "FALSE" and
// reads as set only when it says "TRUE", in any case; a missing one is not set.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvella {

class StateFile {
  public:
    explicit StateFile(std::u16string path);

    const std::u16string& path() const { return path_; }
    bool Exists() const;

    // The setters are false when the file could not be written.

    // "ProgramExit": false while a program keeps the cache, true after its orderly exit.
    bool SetProgramExit(bool orderly);
    bool ProgramExitedCleanly() const;
    // Whether any program has recorded its exit here, in order or not.
    bool ProgramExitRecorded() const;

    // "UpdateCacheExit": false while a build or a defragmentation runs, true once it has ended.
    bool SetUpdateCacheExit(bool ended);
    bool UpdateCacheEnded() const;

    // "FirstRun": a program has started on this data folder.
    bool SetFirstRun();

    // "CacheFileSize": the cache file's size in whole MiB when it was last written whole. Read
    // as _wtoi reads it (0 when missing) and kept unsigned, as the measured size is.
    bool SetCacheFileSize(uint64_t mib);
    uint32_t CacheFileSizeMiB() const;

  private:
    std::u16string Get(std::u16string_view key) const;  // "" when the key is missing
    bool Set(std::u16string_view key, std::u16string_view value);
    bool IsTrue(std::u16string_view key) const;
    bool SetFlag(std::u16string_view key, bool on);

    std::u16string path_;
};

}  // namespace corvella
