#include "platform/text.h"

#include <cstdint>

namespace corvella {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// Length of the valid UTF-8 sequence at s[i], or 0 when the byte there does not start one.
// Overlong forms, surrogates and values past U+10FFFF are not valid.
size_t ValidSequence(std::string_view s, size_t i, char32_t& cp) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    const size_t left = s.size() - i;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        if (left < 2 || (b(i + 1) & 0xC0) != 0x80) return 0;
        cp = (char32_t(c & 0x1F) << 6) | (b(i + 1) & 0x3F);
        return 2;
    }
    if (c >= 0xE0 && c <= 0xEF) {
        if (left < 3 || (b(i + 1) & 0xC0) != 0x80 || (b(i + 2) & 0xC0) != 0x80) return 0;
        cp = (char32_t(c & 0x0F) << 12) | (char32_t(b(i + 1) & 0x3F) << 6) | (b(i + 2) & 0x3F);
        if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (left < 4 || (b(i + 1) & 0xC0) != 0x80 || (b(i + 2) & 0xC0) != 0x80 ||
            (b(i + 3) & 0xC0) != 0x80)
            return 0;
        cp = (char32_t(c & 0x07) << 18) | (char32_t(b(i + 1) & 0x3F) << 12) |
             (char32_t(b(i + 2) & 0x3F) << 6) | (b(i + 3) & 0x3F);
        if (cp < 0x10000 || cp > 0x10FFFF) return 0;
        return 4;
    }
    return 0;
}

void AppendCodePoint(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

}  // namespace

void AppendFromUtf8(std::string_view bytes, std::u16string& out) {
    size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {  // most names are ASCII
            out += char16_t(c);
            ++i;
            continue;
        }
        char32_t cp = 0;
        const size_t n = ValidSequence(bytes, i, cp);
        if (n == 0) {
            out += char16_t(kEscapeBase + c);
            ++i;
        } else if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
            i += n;
        } else {
            out += char16_t(cp);
            i += n;
        }
    }
}

std::u16string FromUtf8(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    AppendFromUtf8(bytes, out);
    return out;
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u < 0x80) {
            out += char(u);
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            AppendCodePoint(0x10000 + ((char32_t(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00), out);
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out += char(u - kEscapeBase);  // an escaped byte goes back as itself
        } else {
            // Other lone surrogates (possible in Windows names) are written in the generalised
            // three-byte form rather than dropped.
            AppendCodePoint(u, out);
        }
    }
    return out;
}

std::u16string_view TrimBlanks(std::u16string_view text) {
    const auto blank = [](char16_t c) {
        return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
    };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool EqualsAsciiNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z') x = char16_t(x + 32);
        if (y >= u'A' && y <= u'Z') y = char16_t(y + 32);
        if (x != y) return false;
    }
    return true;
}

std::string StableHashName(std::u16string_view text) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : ToUtf8(text)) hash = (hash ^ c) * 0x100000001b3ull;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string name;
    for (int shift = 60; shift >= 0; shift -= 4) name += kHex[(hash >> shift) & 15];
    return name;
}

std::u16string Widen(std::string_view ascii) {
    std::u16string out;
    out.reserve(ascii.size());
    for (char c : ascii) out += char16_t(static_cast<unsigned char>(c));
    return out;
}

}  // namespace corvella
