#include "results/result_set.h"

namespace corvella {

std::u16string_view ResultSet::Text(uint32_t offset) const {
    if (offset >= pool.size()) return {};
    const char16_t* start = pool.data() + offset;
    size_t length = 0;
    while (offset + length < pool.size() && start[length] != 0) ++length;
    return {start, length};
}

std::u16string ResultSet::FullPath(const ResultRecord& r, char16_t separator) const {
    std::u16string path(Location(r));
    path += Name(r);
    if (Location(r).empty() && (path.empty() || path.back() != separator)) path += separator;
    return path;
}

void ResultSet::Clear() {
    records.clear();
    records.shrink_to_fit();
    pool.clear();
    pool.shrink_to_fit();
}

}  // namespace corvella
