// The registry values the program keeps in the user's part of the registry: the autorun value
// behind Start With Windows, the marker of a user's first start, and Windows' own time-outs for
// the end of a session. The rules are plain functions over a small key-value interface, so the
// same rules run over the Windows registry in the program and over a map in the tests.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace corvella {

// A value as the registry holds it: text (REG_SZ), or of some other type.
struct RegistryValue {
    bool is_text = false;
    std::u16string text;  // when is_text
};

// One key, opened for reading and writing.
class RegistryKey {
  public:
    virtual ~RegistryKey() = default;
    // Nothing when the value does not exist.
    virtual std::optional<RegistryValue> Query(std::u16string_view name) const = 0;
    // As text (REG_SZ). False when it could not be written.
    virtual bool SetText(std::u16string_view name, std::u16string_view text) = 0;
    // False when it could not be deleted, also when it did not exist.
    virtual bool Delete(std::u16string_view name) = 0;
};

// The user's part of the registry (HKEY_CURRENT_USER), keys named by their paths below it.
class UserRegistry {
  public:
    virtual ~UserRegistry() = default;
    // Null when the key does not exist or does not open for reading and writing.
    virtual std::unique_ptr<RegistryKey> Open(std::u16string_view path) = 0;
    // Creates the key when it is missing; true when this call created it.
    virtual bool CreateIfMissing(std::u16string_view path) = 0;
};

inline constexpr std::u16string_view kRunKeyPath =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr std::u16string_view kAutorunName = u"Corvella";
inline constexpr std::u16string_view kDesktopKeyPath = u"Control Panel\\Desktop";
// Missing only before the program's first start for a user.
inline constexpr std::u16string_view kFirstStartKeyPath = u"Software\\Corvella";

// What the autorun value starts: the program, hidden in the tray. The path is quoted, so that a
// path with blanks ("C:\Program Files\...") cannot start a program named by its first words.
std::u16string AutorunValue(std::u16string_view executable);

enum class AutorunAtStart {
    Off,          // no autorun value, or no Run key to hold one
    On,           // the value names this executable now
    WriteFailed,  // the value exists (or was to be made) but could not be written
};

// At every start. On a user's first start the autorun value is made; on later starts a value
// that exists is written again with this executable's path (a moved program keeps starting, and
// a value of an older version without quotes gets them); one that was deleted stays deleted.
// Then the end-of-session time-outs: Windows must not end a hung program by itself and must
// wait at least 5,000 ms for a program to answer and close.
AutorunAtStart ApplyStartupRegistry(UserRegistry& registry, std::u16string_view executable);

// Start With Windows turned on (writes the autorun value) or off (deletes it). False when the
// Run key does not open or the value cannot be written or deleted.
bool SetAutorun(UserRegistry& registry, bool on, std::u16string_view executable);

}  // namespace corvella
