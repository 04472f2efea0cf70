// The search criteria as the option pages edit them and the search thread reads them.
//
// The pages write on the user-interface thread, a search worker reads as each pass begins. Each
// change and each read happen under one lock, so a pass sees every criterion as it was at one
// moment: never a bound's flag without its value, never half of a 64-bit date.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>

#include "search/search_criteria.h"

namespace corvella {

class CriteriaStore {
  public:
    // The criteria now, pattern and location left at their defaults (the request has those).
    SearchCriteria Snapshot() const;

    void SetKind(SearchKind kind);
    void SetNoSubdirectories(bool on);
    // A bound in KB, or none.
    void SetMinSize(std::optional<uint32_t> kb);
    void SetMaxSize(std::optional<uint32_t> kb);
    // A bound as a UTC FILETIME, or none.
    void SetDateFrom(std::optional<uint64_t> filetime);
    void SetDateTo(std::optional<uint64_t> filetime);

  private:
    mutable std::mutex lock_;
    SearchCriteria criteria_;
};

}  // namespace corvella
