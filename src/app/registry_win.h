// The user's part of the Windows registry, as the start-up registry rules see it.
#pragma once

#include <windows.h>

#include "app/startup_registry.h"

namespace corvella {

class WinUserRegistry final : public UserRegistry {
  public:
    // Keys are looked up below `root`: HKEY_CURRENT_USER for the program, a scratch key of
    // their own for the tests. `root` stays open while this object lives.
    explicit WinUserRegistry(HKEY root = HKEY_CURRENT_USER) : root_(root) {}

    std::unique_ptr<RegistryKey> Open(std::u16string_view path) override;
    bool CreateIfMissing(std::u16string_view path) override;

  private:
    HKEY root_;
};

}  // namespace corvella
