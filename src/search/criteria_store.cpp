#include "search/criteria_store.h"

namespace corvella {

namespace {

// A bound that is off keeps no value, so that a later read cannot take an old one for new.
template <typename T>
void SetBound(bool& enabled, T& value, std::optional<T> bound) {
    enabled = bound.has_value();
    value = bound.value_or(T{});
}

}  // namespace

SearchCriteria CriteriaStore::Snapshot() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return criteria_;
}

void CriteriaStore::SetKind(SearchKind kind) {
    const std::lock_guard<std::mutex> hold(lock_);
    criteria_.kind = kind;
}

void CriteriaStore::SetNoSubdirectories(bool on) {
    const std::lock_guard<std::mutex> hold(lock_);
    criteria_.no_subdirectories = on;
}

void CriteriaStore::SetMinSize(std::optional<uint32_t> kb) {
    const std::lock_guard<std::mutex> hold(lock_);
    SetBound(criteria_.min_size_enabled, criteria_.min_size_kb, kb);
}

void CriteriaStore::SetMaxSize(std::optional<uint32_t> kb) {
    const std::lock_guard<std::mutex> hold(lock_);
    SetBound(criteria_.max_size_enabled, criteria_.max_size_kb, kb);
}

void CriteriaStore::SetDateFrom(std::optional<uint64_t> filetime) {
    const std::lock_guard<std::mutex> hold(lock_);
    SetBound(criteria_.date_from_enabled, criteria_.date_from, filetime);
}

void CriteriaStore::SetDateTo(std::optional<uint64_t> filetime) {
    const std::lock_guard<std::mutex> hold(lock_);
    SetBound(criteria_.date_to_enabled, criteria_.date_to, filetime);
}

}  // namespace corvella
