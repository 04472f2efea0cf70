#include "results/result_set.h"

namespace corvella {

std::u16string FullPathOf(std::u16string_view location, std::u16string_view name,
                          char16_t separator) {
    std::u16string path(location);
    path += name;
    if (location.empty() && (path.empty() || path.back() != separator)) path += separator;
    return path;
}

std::u16string_view ResultSet::Text(uint32_t offset) const {
    if (offset >= pool.size()) return {};
    const char16_t* start = pool.data() + offset;
    size_t length = 0;
    while (offset + length < pool.size() && start[length] != 0) ++length;
    return {start, length};
}

std::u16string ResultSet::FullPath(const ResultRecord& r, char16_t separator) const {
    return FullPathOf(Location(r), Name(r), separator);
}

ResultRow ResultSet::Row(size_t i) const {
    if (source_) {
        ResultRow row = source_->Row(entries_[i]);
        if (!icons_.empty()) row.icon = icons_[i];
        return row;
    }
    const ResultRecord& r = records[i];
    return ResultRow{std::u16string(Name(r)),
                     std::u16string(Location(r)),
                     r.size_kb,
                     r.is_folder != 0,
                     r.last_write,
                     r.icon};
}

uint32_t ResultSet::SizeKB(size_t i) const {
    return source_ ? source_->SizeKB(entries_[i]) : records[i].size_kb;
}

void ResultSet::SetIcon(size_t i, int32_t icon) {
    if (!source_) {
        records[i].icon = icon;
        return;
    }
    if (icons_.empty()) icons_.assign(entries_.size(), kIconUnresolved);
    icons_[i] = icon;
}

void ResultSet::EraseRow(size_t i) {
    if (!source_) {
        records.erase(records.begin() + ptrdiff_t(i));
        return;
    }
    entries_.erase(entries_.begin() + ptrdiff_t(i));
    if (!icons_.empty()) icons_.erase(icons_.begin() + ptrdiff_t(i));
}

std::vector<uint32_t>& ResultSet::StartPending(std::shared_ptr<const RecordSource> source) {
    Reset();
    source_ = std::move(source);
    return entries_;
}

void ResultSet::Complete() {
    if (!source_) return;
    try {
        records.reserve(entries_.size());
        source_->Write(entries_, *this);
    } catch (...) {
        records.clear();
        pool.clear();
        throw;
    }
    for (size_t i = 0; i < icons_.size(); ++i) records[i].icon = icons_[i];
    source_.reset();
    entries_.clear();
    icons_.clear();
}

void ResultSet::Reset() {
    records.clear();
    pool.clear();
    source_.reset();
    entries_.clear();
    icons_.clear();
}

void ResultSet::Clear() {
    *this = ResultSet();
}

}  // namespace corvella
