#include "platform/ini_text.h"

#include <climits>
#include <vector>

#include "platform/text.h"

namespace corvella {

namespace {

struct Line {
    std::u16string_view text;  // without its line end
    std::u16string_view end;   // "\r\n", "\n" or empty on the last line
};

std::vector<Line> SplitLines(std::u16string_view text) {
    std::vector<Line> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find(u'\n', start);
        if (nl == std::u16string_view::npos) {
            lines.push_back({text.substr(start), {}});
            break;
        }
        size_t stop = nl;
        if (stop > start && text[stop - 1] == u'\r') --stop;
        lines.push_back({text.substr(start, stop - start), text.substr(stop, nl + 1 - stop)});
        start = nl + 1;
    }
    return lines;
}

// The section name of a "[name]" line, if it is one.
std::optional<std::u16string_view> SectionOf(std::u16string_view line) {
    line = TrimBlanks(line);
    if (line.size() < 2 || line.front() != u'[') return std::nullopt;
    const size_t close = line.find(u']');
    if (close == std::u16string_view::npos) return std::nullopt;
    return TrimBlanks(line.substr(1, close - 1));
}

// The key of a "key=value" line, if it is one.
std::optional<std::u16string_view> KeyOf(std::u16string_view line, std::u16string_view* value) {
    const std::u16string_view trimmed = TrimBlanks(line);
    if (trimmed.empty() || trimmed.front() == u';') return std::nullopt;
    const size_t eq = line.find(u'=');
    if (eq == std::u16string_view::npos) return std::nullopt;
    if (value) *value = TrimBlanks(line.substr(eq + 1));
    return TrimBlanks(line.substr(0, eq));
}

}  // namespace

std::optional<std::u16string> IniGet(std::u16string_view text, std::u16string_view section,
                                     std::u16string_view key) {
    bool inside = false;
    for (const Line& line : SplitLines(text)) {
        if (auto name = SectionOf(line.text)) {
            inside = EqualsAsciiNoCase(*name, section);
            continue;
        }
        std::u16string_view value;
        if (auto k = KeyOf(line.text, &value); inside && k && EqualsAsciiNoCase(*k, key)) {
            if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"')
                value = value.substr(1, value.size() - 2);
            return std::u16string(value);
        }
    }
    return std::nullopt;
}

std::u16string IniSet(std::u16string_view text, std::u16string_view section,
                      std::u16string_view key, std::optional<std::u16string_view> value) {
    const std::vector<Line> lines = SplitLines(text);
    std::u16string out;
    out.reserve(text.size() + key.size() + 16);
    const auto entry = [&] {
        std::u16string s(key);
        s += u'=';
        s += *value;
        return s;
    };
    bool inside = false, done = false, seen_section = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (auto name = SectionOf(line.text)) {
            if (inside && !done && value) {  // key missing from its section: add it at the end
                out += entry();
                out += u"\r\n";
                done = true;
            }
            inside = EqualsAsciiNoCase(*name, section);
            seen_section = seen_section || inside;
        } else if (auto k = KeyOf(line.text, nullptr);
                   inside && !done && k && EqualsAsciiNoCase(*k, key)) {
            done = true;
            if (!value) continue;  // deleted: the line goes
            out += entry();
            out += line.end;
            continue;
        }
        out += line.text;
        out += line.end;
    }
    if (!done && value) {
        if (!out.empty() && out.back() != u'\n') out += u"\r\n";
        if (!seen_section) {
            out += u'[';
            out += section;
            out += u"]\r\n";
        }
        out += entry();
        out += u"\r\n";
    }
    return out;
}

std::u16string IniSetSection(std::u16string_view text, std::u16string_view section,
                             const IniEntries& entries) {
    std::u16string body;
    for (const auto& [key, value] : entries) body += key + u'=' + value + u"\r\n";
    std::u16string out;
    out.reserve(text.size() + body.size() + section.size() + 8);
    bool inside = false, done = false;
    for (const Line& line : SplitLines(text)) {
        if (auto name = SectionOf(line.text)) {
            inside = !done && EqualsAsciiNoCase(*name, section);
            out += line.text;
            out += line.end.empty() ? u"\r\n" : line.end;
            if (inside) {
                out += body;
                done = true;
            }
            continue;
        }
        if (inside) continue;  // the old body goes
        out += line.text;
        out += line.end;
    }
    if (!done) {
        if (!out.empty() && out.back() != u'\n') out += u"\r\n";
        out += u'[';
        out += section;
        out += u"]\r\n";
        out += body;
    }
    return out;
}

int IniNumber(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    long long n = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        n = n * 10 + (text[i] - u'0');
        if (n > INT_MAX) n = INT_MAX + 1LL;  // held just past the range; clamped below
    }
    if (negative) n = -n;
    if (n > INT_MAX) return INT_MAX;
    if (n < INT_MIN) return INT_MIN;
    return static_cast<int>(n);
}

}  // namespace corvella
