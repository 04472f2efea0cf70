#include "quickbuttons/toolbar_section.h"

#include <algorithm>
#include <string>

#include "platform/case_fold.h"
#include "platform/ini_text.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace corvella {

namespace {

std::u16string Key(const char16_t* name, int index) {
    return name + FromUtf8(std::to_string(index));
}

std::u16string Bounded(std::u16string value) {
    if (value.size() > kMaxValueLength) value.resize(kMaxValueLength);
    return value;
}

// A value that spans lines would end the section's text early and start keys of its own.
std::u16string OneLine(std::u16string value) {
    std::replace_if(value.begin(), value.end(), [](char16_t c) { return c == u'\r' || c == u'\n'; },
                    u' ');
    return value;
}

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

}  // namespace

QuickButtonDef DefaultQuickButton() {
    return {u"Default", u"*.mp3", kDefaultIconPath, u"DEFAULT"};
}

int QuickButtonCount(std::u16string_view tbnumber) {
    return std::clamp(IniNumber(tbnumber), 0, kMaxQuickButtons);
}

std::vector<QuickButtonDef> ReadToolbarSection(const std::u16string& settings) {
    const auto read = [&](std::u16string_view key, std::u16string_view fallback) {
        return Bounded(platform::ReadIniString(settings, kToolbarSection, key, fallback));
    };
    const int count = QuickButtonCount(read(u"tbnumber", u"0"));
    const QuickButtonDef defaults = DefaultQuickButton();
    std::vector<QuickButtonDef> buttons;
    buttons.reserve(count);
    for (int i = 0; i < count; ++i) {
        buttons.push_back({read(Key(u"ICONTEXT_", i), defaults.label),
                           read(Key(u"QUERYPATTER_", i), defaults.pattern),
                           read(Key(u"ICON_", i), defaults.icon_path),
                           read(Key(u"SEARCHLOC_", i), defaults.location)});
    }
    return buttons;
}

std::u16string StoredIconPath(std::u16string_view icon_path, std::u16string_view current_folder) {
    std::u16string path = FoldCaseCopy(icon_path);
    std::u16string folder = FoldCaseCopy(current_folder);
    while (folder.size() > 1 && IsSeparator(folder.back())) folder.pop_back();
    // Only a whole folder name is replaced: "c:\app" is not the start of "c:\apps\x.ico".
    if (!folder.empty() && path.size() > folder.size() && path.starts_with(folder) &&
        IsSeparator(path[folder.size()]))
        path.replace(0, folder.size(), u".");
    return path;
}

std::vector<std::pair<std::u16string, std::u16string>> ToolbarSectionEntries(
    const std::vector<QuickButtonDef>& buttons, std::u16string_view current_folder) {
    std::vector<std::pair<std::u16string, std::u16string>> entries;
    const int count = static_cast<int>(std::min<size_t>(buttons.size(), kMaxQuickButtons));
    entries.emplace_back(u"tbnumber", FromUtf8(std::to_string(count)));
    for (int i = 0; i < count; ++i) {
        const QuickButtonDef& b = buttons[i];
        entries.emplace_back(Key(u"ICON_", i), OneLine(StoredIconPath(b.icon_path, current_folder)));
        entries.emplace_back(Key(u"ICONTEXT_", i), OneLine(b.label));
        entries.emplace_back(Key(u"QUERYPATTER_", i), OneLine(b.pattern));
        entries.emplace_back(Key(u"SEARCHLOC_", i), OneLine(b.location));
    }
    return entries;
}

bool WriteToolbarSection(const std::u16string& settings, const std::vector<QuickButtonDef>& buttons,
                         std::u16string_view current_folder) {
    return platform::WriteIniSection(settings, kToolbarSection,
                                     ToolbarSectionEntries(buttons, current_folder));
}

std::u16string QuickSearchLocation(std::u16string_view button_location,
                                   std::u16string_view location_box) {
    const std::u16string_view trimmed = TrimBlanks(button_location);
    if (trimmed.empty() || trimmed == u"DEFAULT") return std::u16string(location_box);
    return std::u16string(button_location);
}

}  // namespace corvella
