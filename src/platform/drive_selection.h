// Which drives a build covers.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace corvella {

// The roots "C:\" to "Z:\" in alphabetical order for which `is_fixed` says yes. A and B are
// never asked about.
std::vector<std::u16string> SelectDriveRoots(
    const std::function<bool(const std::u16string& root)>& is_fixed);

}  // namespace corvella
