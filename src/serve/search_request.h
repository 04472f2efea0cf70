// One search as the command line asks it, with everything that depends on the asker already
// settled: the cache file's absolute path, a relative --in joined to the asker's folder, the
// dates turned into UTC by the asker's time zone, the default format filled in. The keeper and
// the file walk answer the same request with the same code (search_answer.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "results/sort_results.h"
#include "search/search_criteria.h"

namespace corvella {

struct SearchRequest {
    std::u16string cache_path;
    SearchCriteria criteria;
    std::optional<SortKey> sort;
    std::u16string format = u"[FILEDIR][FILENAME]";
    bool count_only = false;
    unsigned threads = 1;  // 1 .. kMostWalkThreads
};

inline constexpr unsigned kMostWalkThreads = 256;

}  // namespace corvella
