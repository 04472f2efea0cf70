// Local calendar days as FILETIME bounds. Days on which the clock changes, 23 and 25 hours long,
// are held against tools/reference_search.py, which searches them in a zone with daylight saving.
#include "platform/local_time.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace corvella {
namespace {

constexpr uint64_t kMs = 10000, kDay = 86400000 * kMs;
constexpr uint64_t kFileTime1970 = 116444736000000000;

TEST(LocalDay, BoundsOfADayAndDaysThatDoNotExist) {
    // A day's length and its place in the zone are pinned by the edge days below.
    uint64_t from = 0, t = 0;
    ASSERT_TRUE(platform::LocalDayToFileTime(2024, 1, 15, false, from));
    EXPECT_TRUE(platform::LocalDayToFileTime(2999, 12, 31, true, t));  // past 32-bit time
    EXPECT_GT(t, from + 975 * 365 * kDay);
    EXPECT_TRUE(platform::LocalDayToFileTime(2024, 2, 29, false, t));
    for (const auto& [y, m, d] :
         {std::tuple{2023, 2, 29}, {2024, 4, 31}, {2024, 13, 1}, {1600, 12, 31}})
        EXPECT_FALSE(platform::LocalDayToFileTime(y, m, d, false, t)) << y << "-" << m << "-" << d;
}

// A FILETIME as the local clock shows it, "YYYY-MM-DD hh:mm", or "none".
std::string Shows(uint64_t filetime) {
    platform::LocalTimeParts p;
    if (!platform::FileTimeToLocalParts(filetime, p)) return "none";
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", p.year, p.month, p.day, p.hour,
                  p.minute);
    return text;
}

// The days at the edges of the C library's time and of FILETIME. The end of a day is pinned to
// the millisecond by the clock on both sides of it (it shows 23:59, and the next day a
// millisecond later), and its start by the day's length. A start before FILETIME 0 is 0, and
// the clock at 0 then shows the day itself.
void ExpectEdgeDaysExact(bool first_day_starts_at_zero) {
    struct Edge {
        int year, month, day;
        const char *first, *last, *after;
    };
    const Edge edges[] = {
        {1969, 12, 31, "1969-12-31 00:00", "1969-12-31 23:59", "1970-01-01 00:00"},
        {1970, 1, 1, "1970-01-01 00:00", "1970-01-01 23:59", "1970-01-02 00:00"},
        {1601, 1, 1, "1601-01-01 00:00", "1601-01-01 23:59", "1601-01-02 00:00"},
    };
    for (const Edge& e : edges) {
        SCOPED_TRACE(e.first);
        uint64_t from = 0, to = 0;
        ASSERT_TRUE(platform::LocalDayToFileTime(e.year, e.month, e.day, false, from));
        ASSERT_TRUE(platform::LocalDayToFileTime(e.year, e.month, e.day, true, to));
        EXPECT_EQ(Shows(to), e.last);
        EXPECT_EQ(Shows(to + kMs), e.after);
        if (e.year == 1601) {
            EXPECT_EQ(from == 0, first_day_starts_at_zero);
        }
        if (from == 0) {
            EXPECT_EQ(Shows(0).substr(0, 10), "1601-01-01");
        } else {
            EXPECT_EQ(Shows(from), e.first);
            EXPECT_EQ(to - from, kDay - kMs);
        }
    }
}

#ifdef _WIN32
// The conversions follow the system's zone, which a test cannot change: the zone the tests run
// in (Wine takes the host's).
TEST(LocalDay, EdgeDaysAreWholeLocalDaysInTheSystemZone) {
    // At FILETIME 0 the clock east of Greenwich already shows 1601; west of it, 1600 or nothing.
    platform::LocalTimeParts at_zero;
    ExpectEdgeDaysExact(platform::FileTimeToLocalParts(0, at_zero) && at_zero.year == 1601);
}
#else
// TZ for one scope; the process's own zone comes back after it.
struct ZoneScope {
    explicit ZoneScope(const char* zone) : old(std::getenv("TZ") ? std::getenv("TZ") : "") {
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneScope() {
        old.empty() ? unsetenv("TZ") : setenv("TZ", old.c_str(), 1);
        tzset();
    }
    std::string old;
};

TEST(LocalDay, EdgeDaysAreWholeLocalDaysInEveryZone) {
    struct Zone {
        const char* name;
        int64_t minutes_east_in_1970;
        bool first_day_starts_at_zero;  // east of Greenwich in 1601 (local mean time), or on it
    };
    const Zone zones[] = {
        {"UTC", 0, true},
        {"America/Los_Angeles", -8 * 60, false},
        {"Asia/Kolkata", 5 * 60 + 30, true},
        {"Pacific/Kiritimati", -(10 * 60 + 40), false},  // +14 today, -10:40 then
    };
    for (const Zone& z : zones) {
        SCOPED_TRACE(z.name);
        ZoneScope zone(z.name);
        ExpectEdgeDaysExact(z.first_day_starts_at_zero);
        // Both sides of 1970 in plain numbers, which the clock readings above cannot vouch for.
        const uint64_t midnight = kFileTime1970 - z.minutes_east_in_1970 * 60 * 1000 * kMs;
        uint64_t end = 0, start = 0;
        ASSERT_TRUE(platform::LocalDayToFileTime(1969, 12, 31, true, end));
        ASSERT_TRUE(platform::LocalDayToFileTime(1970, 1, 1, false, start));
        EXPECT_EQ(end, midnight - kMs);
        EXPECT_EQ(start, midnight);
    }
}
#endif

}  // namespace
}  // namespace corvella
