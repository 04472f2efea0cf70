// The current user's part of the Windows registry, as the start-up registry rules see it.
#pragma once

#include <windows.h>

#include "app/startup_registry.h"

namespace corvella {

class WinUserRegistry final : public UserRegistry {
  public:
    std::unique_ptr<RegistryKey> Open(std::u16string_view path) override;
    bool CreateIfMissing(std::u16string_view path) override;
};

}  // namespace corvella
