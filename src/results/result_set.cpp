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

bool ResultSet::RemoveItem(size_t index) {
    if (index >= records.size()) return false;
    records.erase(records.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

uint64_t ResultSet::GetTotalSizeKB() const {
    uint64_t total = 0;
    for (const ResultRecord& r : records) total += r.size_kb;
    return total;
}

void ResultSet::Clear() {
    records.clear();
    records.shrink_to_fit();
    pool.clear();
    pool.shrink_to_fit();
}

}  // namespace corvella
