#include "platform/drive_selection.h"

namespace corvella {

std::vector<std::u16string> SelectDriveRoots(
    const std::function<bool(const std::u16string& root)>& is_fixed) {
    std::vector<std::u16string> roots;
    for (char16_t letter = u'C'; letter <= u'Z'; ++letter) {
        std::u16string root{letter, u':', u'\\'};
        if (is_fixed(root)) roots.push_back(std::move(root));
    }
    return roots;
}

}  // namespace corvella
