#include "results/results_writer.h"

#include <cstdio>
#include <string>

#include "platform/local_time.h"

namespace corvella {

namespace {

constexpr std::u16string_view kDirToken = u"[FILEDIR]";
constexpr std::u16string_view kNameToken = u"[FILENAME]";
constexpr std::u16string_view kSizeToken = u"[SIZE]";
constexpr std::u16string_view kDateToken = u"[DATE]";

struct Token {
    std::u16string_view text;
    std::u16string_view value;
};

template <size_t N>
std::u16string ReplaceTokens(std::u16string_view format, const Token (&tokens)[N]) {
    std::u16string line;
    line.reserve(format.size() + 64);
    for (size_t i = 0; i < format.size();) {
        const Token* hit = nullptr;
        if (format[i] == u'[')
            for (const Token& t : tokens)
                if (format.substr(i, t.text.size()) == t.text) hit = &t;
        if (hit) {
            line += hit->value;
            i += hit->text.size();
        } else {
            line += format[i++];
        }
    }
    return line;
}

}  // namespace

std::u16string FormatResultLine(std::u16string_view format, std::u16string_view location,
                                std::u16string_view name) {
    const Token tokens[] = {{kDirToken, location}, {kNameToken, name}};
    return ReplaceTokens(format, tokens);
}

std::u16string FormatSavedLine(std::u16string_view format, const SavedLineFields& fields) {
    const std::string size = std::to_string(fields.size_kb);
    const std::u16string size_text(size.begin(), size.end());
    // Formatted only when asked for: a time zone lookup per line costs more than the line.
    const std::u16string date = format.find(kDateToken) == std::u16string_view::npos
                                    ? std::u16string()
                                    : FormatLocalDateTime(fields.last_write);
    const Token tokens[] = {{kDirToken, fields.location},
                            {kNameToken, fields.name},
                            {kSizeToken, size_text},
                            {kDateToken, date}};
    return ReplaceTokens(format, tokens);
}

std::u16string FormatLocalDateTime(uint64_t filetime) {
    platform::LocalTimeParts t;
    if (!platform::FileTimeToLocalParts(filetime, t)) return {};
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month,
                                t.day, t.hour, t.minute, t.second);
    return n > 0 ? std::u16string(text, text + n) : std::u16string();
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
