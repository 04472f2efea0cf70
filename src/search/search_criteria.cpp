#include "search/search_criteria.h"

#include "platform/case_fold.h"

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

}  // namespace corvella
