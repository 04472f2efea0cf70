// The Linux change source with a cap on its own watches, so that running into the watch limit can
// be tried without using up the user's real allowance of the kernel's.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/change_source.h"

namespace corvella::platform {

// Behaves as if inotify_add_watch failed with ENOSPC once `max_watches` watches are held.
std::unique_ptr<ChangeSource> MakeInotifyChangeSource(size_t max_watches);

}  // namespace corvella::platform
