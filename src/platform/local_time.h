// Calendar days and times in the user's time zone.
#pragma once

#include <cstdint>

namespace corvella::platform {

// FILETIME (UTC) of a local calendar day's first moment, or of its last millisecond
// (23:59:59.999), with that day's own daylight saving rule. Every day from 1601-01-01 to
// 30827-12-31 has both; where 1601-01-01 begins before the first FILETIME (east of Greenwich),
// it begins at 0. False for a date that does not exist or lies outside those years.
bool LocalDayToFileTime(int year, int month, int day, bool end_of_day, uint64_t& filetime);

struct LocalTimeParts {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// A FILETIME (UTC) as the user's clock shows it; false when it cannot be represented.
bool FileTimeToLocalParts(uint64_t filetime, LocalTimeParts& parts);

}  // namespace corvella::platform
