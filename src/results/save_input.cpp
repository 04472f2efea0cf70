#include "results/save_input.h"

#include "platform/text.h"

namespace corvella {

SaveInputCheck CheckSaveInput(std::u16string& path, std::u16string& format,
                              const std::function<bool(const std::u16string&)>& exists) {
    path = std::u16string(TrimBlanks(path));
    format = std::u16string(TrimBlanks(format));
    if (path.empty() || format.empty()) return SaveInputCheck::Blank;
    // Only the two names make a line worth saving; the size and the date alone do not.
    if (format.find(u"[FILEDIR]") == std::u16string::npos &&
        format.find(u"[FILENAME]") == std::u16string::npos)
        return SaveInputCheck::NoNameToken;
    return exists(path) ? SaveInputCheck::AskOverwrite : SaveInputCheck::Accepted;
}

std::u16string DefaultSavePath(std::u16string_view documents_folder) {
    std::u16string folder(documents_folder);
    if (folder.empty()) return u"C:\\SearchResults.txt";
    if (folder.back() != u'\\') folder += u'\\';
    return folder + u"SearchResults.txt";
}

}  // namespace corvella
