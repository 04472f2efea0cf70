// What one search asks for, and how it becomes the query's chain of tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "search/queryer.h"

namespace corvella {

enum class SearchKind { All = 0, FilesOnly = 1, FoldersOnly = 2 };

struct SearchCriteria {
    std::u16string pattern;
    std::u16string location = u"My Computer";
    SearchKind kind = SearchKind::All;
    bool no_subdirectories = false;
    bool min_size_enabled = false;
    uint32_t min_size_kb = 0;
    bool max_size_enabled = false;
    uint32_t max_size_kb = 0;
    bool date_from_enabled = false;
    uint64_t date_from = 0;  // FILETIME, UTC
    bool date_to_enabled = false;
    uint64_t date_to = 0;
};

// The pattern as the query wants it: case-folded, and ";" (which matches nothing) for an empty
// text.
std::u16string QueryPattern(std::u16string_view text);

// Copies the bounds into the query and adds the tests in the search's fixed order: name, top
// level, kind, minimum and maximum size, first and last date.
void BuildFilterChain(CQueryer& queryer, const SearchCriteria& criteria);

}  // namespace corvella
