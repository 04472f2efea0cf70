#include "app/registry_win.h"

#include <string>

#include "platform/text_win.h"

namespace corvella {

namespace {

class WinRegistryKey final : public RegistryKey {
  public:
    explicit WinRegistryKey(HKEY key) : key_(key) {}
    ~WinRegistryKey() override { RegCloseKey(key_); }
    WinRegistryKey(const WinRegistryKey&) = delete;
    WinRegistryKey& operator=(const WinRegistryKey&) = delete;

    std::optional<RegistryValue> Query(std::u16string_view name) const override {
        const std::wstring wide = platform::ToWide(name);
        // Sized by asking first: a value of any length is one that exists.
        DWORD type = 0, bytes = 0;
        if (RegQueryValueExW(key_, wide.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
            return std::nullopt;
        RegistryValue value;
        value.is_text = type == REG_SZ;
        if (!value.is_text) return value;
        std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        if (RegQueryValueExW(key_, wide.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(text.data()), &bytes) != ERROR_SUCCESS)
            return std::nullopt;
        // Stored text need not end in a NUL, or may end in several.
        text.resize(bytes / sizeof(wchar_t));
        text.resize(wcsnlen(text.c_str(), text.size()));
        value.text = platform::FromWide(text.data(), text.size());
        return value;
    }

    bool SetText(std::u16string_view name, std::u16string_view text) override {
        const std::wstring wide = platform::ToWide(text);
        // The stored size counts the terminating NUL.
        return RegSetValueExW(key_, platform::ToWide(name).c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(wide.c_str()),
                              static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) ==
               ERROR_SUCCESS;
    }

    bool Delete(std::u16string_view name) override {
        return RegDeleteValueW(key_, platform::ToWide(name).c_str()) == ERROR_SUCCESS;
    }

  private:
    HKEY key_;
};

}  // namespace

std::unique_ptr<RegistryKey> WinUserRegistry::Open(std::u16string_view path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, platform::ToWide(path).c_str(), 0, KEY_READ | KEY_WRITE,
                      &key) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<WinRegistryKey>(key);
}

bool WinUserRegistry::CreateIfMissing(std::u16string_view path) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, platform::ToWide(path).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, &key,
                        &disposition) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return disposition == REG_CREATED_NEW_KEY;
}

}  // namespace corvella
