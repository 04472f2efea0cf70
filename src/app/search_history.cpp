#include "app/search_history.h"

#include <algorithm>

#include "platform/case_fold.h"
#include "platform/ini_text.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace corvella {

namespace {

std::u16string_view SectionOf(HistoryKind kind) {
    return kind == HistoryKind::Patterns ? u"PATTERNHISTORY" : u"FOLDERHISTORY";
}

std::u16string EntryKey(int index) {
    return u"PATTERN_" + Widen(std::to_string(index));
}

HistoryEdit Unchanged(bool store) {
    HistoryEdit edit;
    edit.store = store;
    return edit;
}

HistoryEdit Insertion(int removed, int at, std::u16string_view text, bool select) {
    HistoryEdit edit;
    edit.removed = removed;
    edit.inserted_at = at;
    edit.text = text;
    edit.select = select;
    return edit;
}

bool BeginsWithFolded(std::u16string_view entry, std::u16string_view text) {
    if (text.size() > entry.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (FoldCase(entry[i]) != FoldCase(text[i])) return false;
    return true;
}

}  // namespace

bool StorableText(std::u16string_view text) {
    return text.size() <= kLongestStorableText &&
           text.find_first_of(std::u16string_view(u"\r\n\0", 3)) == std::u16string_view::npos;
}

SearchHistory::SearchHistory(HistoryKind kind, int maxnumber)
    : kind_(kind), limit_(std::clamp(maxnumber, 0, kHistoryCeiling)) {
    if (kind_ == HistoryKind::Locations) entries_.emplace_back(kMyComputer);
}

SearchHistory SearchHistory::Load(HistoryKind kind, const std::u16string& settings) {
    const std::u16string_view section = SectionOf(kind);
    SearchHistory history(
        kind, IniNumber(platform::ReadIniString(settings, section, u"maxnumber", u"0")));
    if (history.limit_ == 0) return history;
    // A missing entry reads as the default, as the stored count promises one; the count itself
    // is not trusted beyond what the history may hold.
    const int stored = IniNumber(platform::ReadIniString(settings, section, u"hisnumber", u"0"));
    const int count = std::min(stored, history.limit_ - history.fixed_entries());
    const std::u16string_view fallback = kind == HistoryKind::Patterns ? u"*.mp3" : kMyComputer;
    for (int i = 0; i < count; ++i) {
        std::u16string text = platform::ReadIniString(settings, section, EntryKey(i), fallback);
        if (StorableText(text)) history.entries_.push_back(std::move(text));
    }
    return history;
}

int SearchHistory::FindEntry(std::u16string_view text) const {
    if (text.empty()) return -1;
    for (size_t i = 0; i < entries_.size(); ++i)
        if (BeginsWithFolded(entries_[i], text)) return static_cast<int>(i);
    return -1;
}

HistoryEdit SearchHistory::Apply(HistoryEdit edit) {
    if (edit.removed >= 0) entries_.erase(entries_.begin() + edit.removed);
    if (edit.inserted_at >= 0) entries_.insert(entries_.begin() + edit.inserted_at, edit.text);
    return edit;
}

HistoryEdit SearchHistory::Add(std::u16string_view text) {
    const int top = fixed_entries();
    const int found = FindEntry(text);
    // "My Computer", or the beginning of it: the whole computer is no history.
    if (found >= 0 && found < top) return Unchanged(false);
    if (found >= 0) return Apply(Insertion(found, top, text, true));

    const std::u16string_view added = top > 0 ? TrimBlanks(text) : text;
    // Locations count "My Computer" in their limit, so a limit of 1 leaves no room.
    if (added.empty() || limit_ <= top || !StorableText(added)) return Unchanged(true);
    const int count = static_cast<int>(entries_.size());
    return Apply(Insertion(count >= limit_ ? count - 1 : -1, top, added, false));
}

void SearchHistory::Clean() {
    entries_.resize(static_cast<size_t>(fixed_entries()));
}

bool SearchHistory::Store(const std::u16string& settings) const {
    const std::u16string_view section = SectionOf(kind_);
    const int before = IniNumber(platform::ReadIniString(settings, section, u"hisnumber", u"0"));
    const int count = static_cast<int>(entries_.size()) - fixed_entries();
    bool written = platform::WriteIniString(settings, section, u"hisnumber",
                                            std::u16string_view(Widen(std::to_string(count))));
    for (int i = 0; i < count; ++i)
        written &= platform::WriteIniString(settings, section, EntryKey(i),
                                            std::u16string_view(entries_[i + fixed_entries()]));
    // The entries stored before and not written over now. A damaged count is not trusted
    // further than a history can reach.
    for (int i = count; i < std::min(before, kHistoryCeiling); ++i)
        written &= platform::WriteIniString(settings, section, EntryKey(i), std::nullopt);
    return written;
}

}  // namespace corvella
