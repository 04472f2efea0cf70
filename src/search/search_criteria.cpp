#include "search/search_criteria.h"

#include "platform/case_fold.h"

namespace corvella {

std::u16string QueryPattern(std::u16string_view text) {
    return text.empty() ? std::u16string(u";") : FoldCaseCopy(text);
}

void BuildFilterChain(CQueryer& queryer, const SearchCriteria& criteria) {
    queryer.ClearFilters();
    queryer.AddFilter(QueryFilter::Name);
    if (criteria.no_subdirectories) queryer.AddFilter(QueryFilter::TopLevel);
    if (criteria.kind == SearchKind::FilesOnly) queryer.AddFilter(QueryFilter::FilesOnly);
    if (criteria.kind == SearchKind::FoldersOnly) queryer.AddFilter(QueryFilter::FoldersOnly);
    if (criteria.min_size_enabled) {
        queryer.min_size_kb = criteria.min_size_kb;
        queryer.AddFilter(QueryFilter::MinSize);
    }
    if (criteria.max_size_enabled) {
        queryer.max_size_kb = criteria.max_size_kb;
        queryer.AddFilter(QueryFilter::MaxSize);
    }
    if (criteria.date_from_enabled) {
        queryer.date_from = criteria.date_from;
        queryer.AddFilter(QueryFilter::DateFrom);
    }
    if (criteria.date_to_enabled) {
        queryer.date_to = criteria.date_to;
        queryer.AddFilter(QueryFilter::DateTo);
    }
}

}  // namespace corvella
