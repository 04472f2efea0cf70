// The two histories of the main window: the patterns and the locations that were searched with
// the Search button or Enter, most recent first, kept in settings.ini between runs.
//
// A history is a list of texts that the window mirrors in a combo box's drop-down list. Every
// change is worked out here, applied to the list, and handed back as one edit that the window
// applies to the box in the same way, so the box and the list never differ. The location list
// always starts with "My Computer", which is never stored.
//
// Settings values are read back through a buffer of 32,768 characters and kept one to a line, so
// a text with a line break, or longer than the buffer can hold, would come back cut or would
// break the section: such a text is searched but never enters a history. A damaged settings file
// loads no more entries than the history may hold, and never more than kHistoryCeiling.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvella {

enum class HistoryKind {
    Patterns,   // section PATTERNHISTORY, missing entries read "*.mp3"
    Locations,  // section FOLDERHISTORY, missing entries read "My Computer"
};

inline constexpr std::u16string_view kMyComputer = u"My Computer";
// No history holds more entries than this, whatever its maxnumber says.
inline constexpr int kHistoryCeiling = 1000;
// The longest text that reads back whole: the read buffer less the terminator, less one more
// since a value that fills the buffer cannot be told from one that was cut.
inline constexpr size_t kLongestStorableText = 32768 - 2;

// Whether `text` can be stored as a settings value and read back as it is.
bool StorableText(std::u16string_view text);

// What a search did to a history, to be done to the box in this order: delete entry `removed`,
// insert `text` at `inserted_at`, and select that entry when `select` holds. -1 means no such
// step. `store` is false only when the history must not be written back.
struct HistoryEdit {
    int removed = -1;
    int inserted_at = -1;
    std::u16string text;
    bool select = false;
    bool store = true;
    bool operator==(const HistoryEdit&) const = default;
};

class SearchHistory {
  public:
    // An empty history that holds at most `maxnumber` entries ("My Computer" counted).
    SearchHistory(HistoryKind kind, int maxnumber);

    // The limit and the entries stored in `settings`.
    static SearchHistory Load(HistoryKind kind, const std::u16string& settings);

    // The entries as the box lists them, the most recent first (after "My Computer").
    const std::vector<std::u16string>& entries() const { return entries_; }
    // How many entries lead the list without being history: 1 for "My Computer", else 0.
    int fixed_entries() const { return kind_ == HistoryKind::Locations ? 1 : 0; }
    int limit() const { return limit_; }

    // A search was started with `text`: the entry that begins with it (in any case) moves to
    // the top, replaced by `text`; a new text goes on top, the oldest entry making room.
    HistoryEdit Add(std::u16string_view text);
    // Forgets every entry but "My Computer".
    void Clean();

    // Writes the entries to `settings` in place of those stored before. False when the file
    // could not be written.
    bool Store(const std::u16string& settings) const;

  private:
    HistoryEdit Apply(HistoryEdit edit);
    int FindEntry(std::u16string_view text) const;

    HistoryKind kind_;
    int limit_;  // 0: the history is off
    std::vector<std::u16string> entries_;
};

}  // namespace corvella
