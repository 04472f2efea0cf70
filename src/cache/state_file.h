// The state file ("stateinfo.ini"): the flags that let a start tell how the last build,
// defragmentation and run ended, all in section "STATEINFO".
#pragma once

#include <string>
#include <string_view>

namespace corvella {

class StateFile {
  public:
    explicit StateFile(std::u16string path);

    const std::u16string& path() const { return path_; }
    bool Exists() const;
    // "" when the key is missing.
    std::u16string Get(std::u16string_view key) const;
    // False when the file could not be written.
    bool Set(std::u16string_view key, std::u16string_view value);

  private:
    std::u16string path_;
};

// True when `value` is "TRUE" in any case.
bool IsTrueFlag(std::u16string_view value);

}  // namespace corvella
