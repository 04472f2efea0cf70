// The quick buttons as the settings file keeps them: section TOOLBAR, "tbnumber" buttons, each
// with four keys numbered from 0. Reading is lenient and bounded, since the file is the user's
// to edit; writing replaces the whole section at once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvella {

// One saved search: what the button shows and what it searches.
struct QuickButtonDef {
    std::u16string label;
    std::u16string pattern;
    std::u16string icon_path;
    std::u16string location;  // "DEFAULT": the location box's text
    bool operator==(const QuickButtonDef&) const = default;
};

inline constexpr char16_t kToolbarSection[] = u"TOOLBAR";
inline constexpr char16_t kDefaultIconPath[] = u".\\icons\\default.ico";
// More buttons than any page can show or any menu can sensibly hold; a larger "tbnumber" is
// damage, not intent.
inline constexpr int kMaxQuickButtons = 256;
// What one value may hold: Windows reads a value into a buffer of 32,768 characters.
inline constexpr size_t kMaxValueLength = 32767;

// A button made of nothing but the defaults.
QuickButtonDef DefaultQuickButton();

// "tbnumber" read leniently (leading digits, else 0), held to 0..kMaxQuickButtons.
int QuickButtonCount(std::u16string_view tbnumber);

// The buttons of the settings file `settings`, missing keys taking their defaults.
std::vector<QuickButtonDef> ReadToolbarSection(const std::u16string& settings);

// An icon path as it is stored: lower case, and relative (".\...") when it lies inside the
// current folder `current_folder`.
std::u16string StoredIconPath(std::u16string_view icon_path, std::u16string_view current_folder);

// The section's keys and values for `buttons`, in order: "tbnumber" first.
std::vector<std::pair<std::u16string, std::u16string>> ToolbarSectionEntries(
    const std::vector<QuickButtonDef>& buttons, std::u16string_view current_folder);

// Replaces the section in one write. False when the file could not be written; the section is
// then as it was.
bool WriteToolbarSection(const std::u16string& settings, const std::vector<QuickButtonDef>& buttons,
                         std::u16string_view current_folder);

// Where a button searches: its own location, or the location box's text when the button's is
// empty or, without its blanks, exactly "DEFAULT".
std::u16string QuickSearchLocation(std::u16string_view button_location,
                                   std::u16string_view location_box);

}  // namespace corvella
