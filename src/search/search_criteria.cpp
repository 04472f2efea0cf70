#include "search/search_criteria.h"

#include <ctime>

#include "search/case_fold.h"

namespace corvella {

std::u16string QueryPattern(std::u16string_view text) {
    return text.empty() ? std::u16string(u";") : FoldCaseCopy(text);
}

void BuildFilterChain(CQueryer& queryer, const SearchCriteria& criteria) {
    queryer.ClearFilters();
    queryer.AddFilter(CQueryer::kFilterName);
    if (criteria.no_subdirectories) queryer.AddFilter(CQueryer::kFilterTopLevel);
    if (criteria.kind == SearchKind::FilesOnly) queryer.AddFilter(CQueryer::kFilterFilesOnly);
    if (criteria.kind == SearchKind::FoldersOnly) queryer.AddFilter(CQueryer::kFilterFoldersOnly);
    if (criteria.min_size_enabled) {
        queryer.min_size_kb = criteria.min_size_kb;
        queryer.AddFilter(CQueryer::kFilterMinSize);
    }
    if (criteria.max_size_enabled) {
        queryer.max_size_kb = criteria.max_size_kb;
        queryer.AddFilter(CQueryer::kFilterMaxSize);
    }
    if (criteria.date_from_enabled) {
        queryer.date_from = criteria.date_from;
        queryer.AddFilter(CQueryer::kFilterDateFrom);
    }
    if (criteria.date_to_enabled) {
        queryer.date_to = criteria.date_to;
        queryer.AddFilter(CQueryer::kFilterDateTo);
    }
}

bool LocalDayToFileTime(int year, int month, int day, bool end_of_day, uint64_t& filetime) {
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > 31) return false;
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

}  // namespace corvella
