// Calendar days in the user's time zone.
#pragma once

#include <cstdint>

namespace corvella::platform {

// FILETIME (UTC) of a local calendar day's first moment, or of its last millisecond
// (23:59:59.999), with that day's own daylight saving rule. False for a date that does not exist
// or cannot be represented.
bool LocalDayToFileTime(int year, int month, int day, bool end_of_day, uint64_t& filetime);

}  // namespace corvella::platform
