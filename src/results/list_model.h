// What the results list shows, kept apart from the list view that draws it.
//
// The list borrows the records of the last search: the query engine owns them and rebuilds them
// at its next query, which starts only after the search thread has set the borrowed pointer to
// null. Every access goes through the results lock and checks the pointer, so a row is never read
// from records that are being rebuilt.
//
// The number of rows is the list view's item count, which the caller passes in. That count is
// set by messages that may arrive after the records changed, so an index is also checked against
// the records themselves: a count that is behind never reads past them.
//
// Lock order: the mode lock (drawing holds it for a whole row), then the results lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "results/result_set.h"
#include "results/sort_results.h"

namespace corvella {

enum class ListMode : int {
    None = 0,
    Results = 1,
    Searching = 2,
    NoResults = 3,
    CacheBuilding = 4,
    CacheReady = 5,
};

inline constexpr int kStartIdealWidth = 600;

// One row, copied out under the results lock.
using ListItem = ResultRow;

class ResultListModel {
  public:
    std::recursive_mutex& mode_lock() { return mode_lock_; }
    std::recursive_mutex& results_lock() { return results_lock_; }

    // A new mode forgets the widest row and the row whose tool tip was shown.
    void SetListMode(ListMode mode);
    ListMode list_mode() const;
    void SetResults(ResultSet* results);
    // The borrowed records; use them only while holding results_lock().
    ResultSet* results() const { return results_; }

    // False when the index is out of range or no records are shown.
    bool GetItem(int index, int item_count, ListItem& item) const;
    bool GetItemFullPath(int index, int item_count, char16_t separator, std::u16string& path) const;
    bool SetItemIcon(int index, int item_count, int32_t icon);

    // Takes the rows out of the records, each given by the index it had before any of them went,
    // ascending; the rows behind move up. Returns how many went: the caller's list view has that
    // many rows fewer. Stops at a row that is no longer there.
    int RemoveRows(const std::vector<int>& ascending_rows, int item_count);
    // The sizes of the shown rows added up; nothing when no records are shown.
    std::optional<uint64_t> TotalSizeKB(int item_count) const;

    // False when no records are shown, or memory ran out writing those a listing left pending
    // (nothing is sorted then); the caller redraws either way.
    bool Sort(SortKey key);

    // The width that fits the widest row drawn since the last mode change.
    int ideal_width() const { return ideal_width_.load(); }
    void set_ideal_width(int width) { ideal_width_.store(width); }
    // The row whose tool tip text is current; -1 for none.
    int tip_item() const { return tip_item_.load(); }
    void set_tip_item(int row) { tip_item_.store(row); }

  private:
    // Whether `index` is a row shown that the records still hold.
    bool Shown(int index, int item_count) const;

    mutable std::recursive_mutex mode_lock_;
    mutable std::recursive_mutex results_lock_;
    ListMode list_mode_ = ListMode::None;
    ResultSet* results_ = nullptr;
    std::atomic<int> ideal_width_{kStartIdealWidth};
    std::atomic<int> tip_item_{-1};
};

}  // namespace corvella
