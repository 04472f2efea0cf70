#include "results/icon_queue.h"

#include <algorithm>

namespace corvella {

void IconQueue::Push(int row) {
    std::lock_guard lock(lock_);
    rows_.push_back(row);
}

std::optional<int> IconQueue::TakeFront(int rows_per_page) {
    std::lock_guard lock(lock_);
    const size_t page = static_cast<size_t>(std::max(rows_per_page, 0));
    if (rows_.size() > page + 1) rows_.erase(rows_.begin(), rows_.end() - (page + 1));
    if (rows_.empty()) return std::nullopt;
    const int row = rows_.front();
    rows_.pop_front();
    return row;
}

size_t IconQueue::size() const {
    std::lock_guard lock(lock_);
    return rows_.size();
}

}  // namespace corvella
