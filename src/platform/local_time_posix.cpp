#include <ctime>

#include "platform/local_time.h"

namespace corvella::platform {

namespace {

constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;

}  // namespace

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
    // mktime's failure value, -1, is also a real time: 1969-12-31 23:59:59 UTC, which ends that
    // day wherever the clock showed UTC. A failure leaves tm_wday as it was (C23 says so; glibc,
    // musl and the BSDs have always done it), a success sets it to 0..6.
    when.tm_wday = -1;
    const std::time_t seconds = std::mktime(&when);
    if (when.tm_wday < 0) return false;
    // mktime normalises 31 February into March: such a day does not exist.
    if (when.tm_mday != day || when.tm_mon != month - 1) return false;
    int64_t units = (int64_t(seconds) + kSecondsFrom1601To1970) * kUnitsPerSecond;
    if (end_of_day) units += kUnitsPerSecond - kUnitsPerSecond / 1000;  // 23:59:59.999
    // East of Greenwich, 1601-01-01 begins before the first FILETIME: the day then starts at 0.
    filetime = units < 0 ? 0 : uint64_t(units);
    return true;
}

bool FileTimeToLocalParts(uint64_t filetime, LocalTimeParts& parts) {
    if (filetime >> 63) return false;  // Windows refuses these too: the same text on both
    // Whole seconds before the shift to 1970, so that earlier times round down, not toward zero.
    const int64_t seconds = int64_t(filetime / kUnitsPerSecond) - kSecondsFrom1601To1970;
    const std::time_t when = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (when != seconds || !localtime_r(&when, &local)) return false;
    parts.year = local.tm_year + 1900;
    parts.month = local.tm_mon + 1;
    parts.day = local.tm_mday;
    parts.hour = local.tm_hour;
    parts.minute = local.tm_min;
    parts.second = local.tm_sec;
    return true;
}

}  // namespace corvella::platform
