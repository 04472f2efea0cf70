#include <ctime>

#include "platform/local_time.h"

namespace corvella::platform {

bool LocalDayToFileTime(int year, int month, int day, bool end_of_day, uint64_t& filetime) {
    if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || day > 31) return false;
    std::tm when{};
    when.tm_year = year - 1900;
    when.tm_mon = month - 1;
    when.tm_mday = day;
    when.tm_hour = end_of_day ? 23 : 0;
    when.tm_min = end_of_day ? 59 : 0;
    when.tm_sec = end_of_day ? 59 : 0;
    when.tm_isdst = -1;  // whatever daylight saving time says for that day
    const std::time_t seconds = std::mktime(&when);
    // mktime normalises 31 February into March: such a day does not exist.
    if (seconds == std::time_t(-1) || when.tm_mday != day || when.tm_mon != month - 1) return false;
    const int64_t units = (int64_t(seconds) + 11644473600LL) * 10000000LL;
    if (units < 0) return false;
    filetime = uint64_t(units) + (end_of_day ? 9990000u : 0u);
    return true;
}

bool FileTimeToLocalParts(uint64_t filetime, LocalTimeParts& parts) {
    if (filetime >> 63) return false;  // Windows refuses these too: the same text on both
    // Whole seconds before the shift to 1970, so that earlier times round down, not toward zero.
    const int64_t seconds = int64_t(filetime / 10000000u) - 11644473600LL;
    const std::time_t when = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (when != seconds || !localtime_r(&when, &local)) return false;
    parts.year = local.tm_year + 1900;
    parts.month = local.tm_mon + 1;
    parts.day = local.tm_mday;
    parts.hour = local.tm_hour;
    parts.minute = local.tm_min;
    return true;
}

}  // namespace corvella::platform
