#include "results/list_model.h"

#include <algorithm>

namespace corvella {

void ResultListModel::SetListMode(ListMode mode) {
    {
        std::lock_guard lock(mode_lock_);
        ideal_width_.store(kStartIdealWidth);
        list_mode_ = mode;
    }
    tip_item_.store(-1);
}

ListMode ResultListModel::list_mode() const {
    std::lock_guard lock(mode_lock_);
    return list_mode_;
}

void ResultListModel::SetResults(ResultSet* results) {
    std::lock_guard lock(results_lock_);
    results_ = results;
}

const ResultRecord* ResultListModel::Record(int index, int item_count) const {
    if (index < 0 || index >= item_count || !results_) return nullptr;
    if (static_cast<size_t>(index) >= results_->records.size()) return nullptr;
    return &results_->records[static_cast<size_t>(index)];
}

bool ResultListModel::GetItem(int index, int item_count, ListItem& item) const {
    std::lock_guard lock(results_lock_);
    const ResultRecord* r = Record(index, item_count);
    if (!r) return false;
    item.name = results_->Name(*r);
    item.location = results_->Location(*r);
    item.size_kb = r->size_kb;
    item.is_folder = r->is_folder != 0;
    item.last_write = r->last_write;
    item.icon = r->icon;
    return true;
}

bool ResultListModel::GetItemFullPath(int index, int item_count, char16_t separator,
                                      std::u16string& path) const {
    std::lock_guard lock(results_lock_);
    const ResultRecord* r = Record(index, item_count);
    if (!r) return false;
    path = results_->FullPath(*r, separator);
    return true;
}

bool ResultListModel::SetItemIcon(int index, int item_count, int32_t icon) {
    std::lock_guard lock(results_lock_);
    if (!Record(index, item_count)) return false;
    results_->records[static_cast<size_t>(index)].icon = icon;
    return true;
}

int ResultListModel::RemoveRows(const std::vector<int>& ascending_rows, int item_count) {
    std::lock_guard lock(results_lock_);
    int removed = 0;
    for (const int row : ascending_rows) {
        // Every earlier removal moved this row up by one.
        const int now = row - removed;
        if (!Record(now, item_count - removed)) break;
        results_->records.erase(results_->records.begin() + now);
        ++removed;
    }
    if (removed > 0) tip_item_.store(-1);
    return removed;
}

std::optional<uint64_t> ResultListModel::TotalSizeKB(int item_count) const {
    std::lock_guard lock(results_lock_);
    if (!results_) return std::nullopt;
    uint64_t total = 0;
    const size_t rows =
        std::min(results_->records.size(), static_cast<size_t>(std::max(item_count, 0)));
    for (size_t i = 0; i < rows; ++i) total += results_->records[i].size_kb;
    return total;
}

bool ResultListModel::Sort(SortKey key) {
    std::lock_guard lock(results_lock_);
    if (results_) SortResults(*results_, key);
    tip_item_.store(-1);
    return results_ != nullptr;
}

}  // namespace corvella
