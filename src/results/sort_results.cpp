#include "results/sort_results.h"

#include <algorithm>

#include "platform/case_fold.h"

namespace corvella {

std::u16string_view TypeKey(std::u16string_view name) {
    const size_t dot = name.rfind(u'.');
    return dot == std::u16string_view::npos ? name : name.substr(dot);
}

void SortResults(ResultSet& results, SortKey key) {
    const auto name_then_location = [&](const ResultRecord& a, const ResultRecord& b) {
        if (int c = CompareFolded(results.Name(a), results.Name(b))) return c < 0;
        return CompareFolded(results.Location(a), results.Location(b)) < 0;
    };
    std::vector<ResultRecord>& r = results.records;
    switch (key) {
        case SortKey::Name:
            std::stable_sort(r.begin(), r.end(), name_then_location);
            break;
        case SortKey::Location:
            std::stable_sort(r.begin(), r.end(), [&](const ResultRecord& a, const ResultRecord& b) {
                if (int c = CompareFolded(results.Location(a), results.Location(b))) return c < 0;
                return CompareFolded(results.Name(a), results.Name(b)) < 0;
            });
            break;
        case SortKey::Size:
            std::stable_sort(r.begin(), r.end(), [&](const ResultRecord& a, const ResultRecord& b) {
                if (a.size_kb != b.size_kb) return a.size_kb > b.size_kb;
                return name_then_location(a, b);
            });
            break;
        case SortKey::Type:
            std::stable_sort(r.begin(), r.end(), [&](const ResultRecord& a, const ResultRecord& b) {
                if (a.is_folder != b.is_folder) return a.is_folder > b.is_folder;
                if (int c = CompareFolded(TypeKey(results.Name(a)), TypeKey(results.Name(b))))
                    return c < 0;
                return name_then_location(a, b);
            });
            break;
        case SortKey::Date:
            std::stable_sort(r.begin(), r.end(), [&](const ResultRecord& a, const ResultRecord& b) {
                if (a.last_write != b.last_write) return a.last_write > b.last_write;
                return name_then_location(a, b);
            });
            break;
    }
}

}  // namespace corvella
