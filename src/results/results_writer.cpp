#include "results/results_writer.h"

#include <string>

namespace corvella {

namespace {

constexpr std::u16string_view kDirToken = u"[FILEDIR]";
constexpr std::u16string_view kNameToken = u"[FILENAME]";

}  // namespace

std::u16string FormatResultLine(std::u16string_view format, std::u16string_view location,
                                std::u16string_view name) {
    std::u16string line;
    line.reserve(format.size() + location.size() + name.size());
    for (size_t i = 0; i < format.size();) {
        if (format.substr(i, kDirToken.size()) == kDirToken) {
            line += location;
            i += kDirToken.size();
        } else if (format.substr(i, kNameToken.size()) == kNameToken) {
            line += name;
            i += kNameToken.size();
        } else {
            line += format[i++];
        }
    }
    return line;
}

std::u16string FormatThousands(uint64_t value) {
    const std::string digits = std::to_string(value);
    std::u16string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) out += u',';
        out += char16_t(digits[i]);
    }
    return out;
}

}  // namespace corvella
