// What the save dialog checks before it closes, in the order the user hears of it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace corvella {

inline constexpr char16_t kSaveBlankMessage[] =
    u"Invalid information, file path or save format must not be blank.";
inline constexpr char16_t kSaveFormatMessage[] =
    u"Invalid save format, format must contain [FILEDIR] or [FILENAME] filed. ";
inline constexpr char16_t kSaveOverwriteQuestion[] =
    u"File already exists. Do you want to overwrite it ?";
inline constexpr char16_t kSaveOverwriteCaption[] = u"Confirm Message";

enum class SaveInputCheck {
    Blank,         // the path or the format is empty once trimmed
    NoNameToken,   // the format names neither the folder nor the file
    AskOverwrite,  // something exists at the path: ask before replacing it
    Accepted,
};

// Trims blanks from both ends of `path` and `format` (in place), then checks them in order.
// `exists` is asked only when everything before it passed.
SaveInputCheck CheckSaveInput(std::u16string& path, std::u16string& format,
                              const std::function<bool(const std::u16string&)>& exists);

// Where the dialog proposes to save: SearchResults.txt in the user's documents folder, which a
// standard user may write to; the root of C:, where such a user may not, only when that folder
// is unknown.
std::u16string DefaultSavePath(std::u16string_view documents_folder);

}  // namespace corvella
