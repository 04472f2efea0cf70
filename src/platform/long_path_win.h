// Windows paths as the wide API wants them: absolute, and in the \\?\ form so that paths past
// MAX_PATH work with every call.
#pragma once

#include <string>

namespace corvella::platform {

std::wstring LongPath(const std::u16string& path);

}  // namespace corvella::platform
