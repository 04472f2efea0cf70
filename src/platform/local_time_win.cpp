#include <windows.h>

#include "platform/local_time.h"

namespace corvella::platform {

namespace {

constexpr int64_t kUnitsPerDay = 86400LL * 10000000;

// A local time as a FILETIME count; false when it does not fit in one.
bool LocalToUtcUnits(const SYSTEMTIME& local, int64_t& units) {
    SYSTEMTIME utc{};
    FILETIME result{};
    // Unlike the C runtime's mktime, this covers every year a FILETIME can hold.
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) ||
        !SystemTimeToFileTime(&utc, &result))
        return false;
    units = int64_t((uint64_t(result.dwHighDateTime) << 32) | result.dwLowDateTime);
    return true;
}

}  // namespace

bool LocalDayToFileTime(int year, int month, int day, bool end_of_day, uint64_t& filetime) {
    if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || day > 31) return false;
    // Not every system refuses 29 February of a common year: check the day here.
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int days[12] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (day > days[month - 1]) return false;
    // East of Greenwich, 1601-01-01 begins before the first FILETIME, which the conversion
    // refuses (or wraps, depending on the system). The next day, with the same zone rule, is
    // converted instead and taken back a day; a start that falls before 0 becomes 0.
    const bool first_day = year == 1601 && month == 1 && day == 1;
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(year);
    local.wMonth = static_cast<WORD>(month);
    local.wDay = static_cast<WORD>(first_day ? 2 : day);
    local.wHour = end_of_day ? 23 : 0;
    local.wMinute = end_of_day ? 59 : 0;
    local.wSecond = end_of_day ? 59 : 0;
    local.wMilliseconds = end_of_day ? 999 : 0;
    int64_t units = 0;
    if (!LocalToUtcUnits(local, units)) return false;
    if (first_day) units -= kUnitsPerDay;
    filetime = units < 0 ? 0 : uint64_t(units);
    return true;
}

bool FileTimeToLocalParts(uint64_t filetime, LocalTimeParts& parts) {
    FILETIME utc{static_cast<DWORD>(filetime), static_cast<DWORD>(filetime >> 32)};
    FILETIME local{};
    SYSTEMTIME st{};
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return false;
    parts.year = st.wYear;
    parts.month = st.wMonth;
    parts.day = st.wDay;
    parts.hour = st.wHour;
    parts.minute = st.wMinute;
    parts.second = st.wSecond;
    return true;
}

}  // namespace corvella::platform
