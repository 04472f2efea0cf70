// The rows waiting for their shell icon, oldest first.
//
// Every paint of a row whose icon is not known queues it again, so fast scrolling queues far
// more rows than anyone will see. Only about one page of the most recently painted rows is kept:
// the icon thread works on what is on screen, never on a backlog.
#pragma once

#include <deque>
#include <mutex>
#include <optional>

namespace corvella {

class IconQueue {
  public:
    void Push(int row);
    // Drops all but the newest rows_per_page + 1 rows once more than rows_per_page wait, then
    // takes the oldest that is left.
    std::optional<int> TakeFront(int rows_per_page);
    size_t size() const;

  private:
    mutable std::mutex lock_;
    std::deque<int> rows_;
};

}  // namespace corvella
