#include "results/list_model.h"

#include <algorithm>
#include <new>

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

bool ResultListModel::Shown(int index, int item_count) const {
    return index >= 0 && index < item_count && results_ &&
           static_cast<size_t>(index) < results_->size();
}

bool ResultListModel::GetItem(int index, int item_count, ListItem& item) const {
    std::lock_guard lock(results_lock_);
    if (!Shown(index, item_count)) return false;
    try {
        item = results_->Row(static_cast<size_t>(index));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool ResultListModel::GetItemFullPath(int index, int item_count, char16_t separator,
                                      std::u16string& path) const {
    ListItem item;
    if (!GetItem(index, item_count, item)) return false;
    path = FullPathOf(item.location, item.name, separator);
    return true;
}

bool ResultListModel::SetItemIcon(int index, int item_count, int32_t icon) {
    std::lock_guard lock(results_lock_);
    if (!Shown(index, item_count)) return false;
    try {
        results_->SetIcon(static_cast<size_t>(index), icon);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

int ResultListModel::RemoveRows(const std::vector<int>& ascending_rows, int item_count) {
    std::lock_guard lock(results_lock_);
    int removed = 0;
    for (const int row : ascending_rows) {
        // Every earlier removal moved this row up by one.
        const int now = row - removed;
        if (!Shown(now, item_count - removed)) break;
        results_->EraseRow(static_cast<size_t>(now));
        ++removed;
    }
    if (removed > 0) tip_item_.store(-1);
    return removed;
}

std::optional<uint64_t> ResultListModel::TotalSizeKB(int item_count) const {
    std::lock_guard lock(results_lock_);
    if (!results_) return std::nullopt;
    uint64_t total = 0;
    const size_t rows = std::min(results_->size(), static_cast<size_t>(std::max(item_count, 0)));
    for (size_t i = 0; i < rows; ++i) total += results_->SizeKB(i);
    return total;
}

bool ResultListModel::Sort(SortKey key) {
    std::lock_guard lock(results_lock_);
    tip_item_.store(-1);
    if (!results_) return false;
    try {
        results_->Complete();
    } catch (const std::bad_alloc&) {
        return false;
    }
    SortResults(*results_, key);
    return true;
}

}  // namespace corvella
