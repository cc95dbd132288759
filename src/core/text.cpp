#include "text.h"

#include <algorithm>
#include <cstdint>

#include "text_encoding.h"

namespace quillet {
namespace {

// Decodes one UTF-8 sequence at s[i]; advances i. A bad byte gives U+FFFD
// and advances by one, so any byte string converts.
char32_t DecodeUtf8(std::string_view s, size_t& i) {
    const auto b0 = static_cast<uint8_t>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
    } else {
        ++i;
        return 0xFFFD;
    }
    if (i + len > s.size()) {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<uint8_t>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += len;
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

char AsciiLowerChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        char32_t cp = DecodeUtf8(s, i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // a lone surrogate
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::string Latin1ToUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) AppendUtf8(out, static_cast<uint8_t>(c));
    return out;
}

std::string Utf8ToLatin1(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const char32_t cp = DecodeUtf8(s, i);
        out += cp <= 0xFF ? static_cast<char>(cp) : '?';
    }
    return out;
}

bool IsAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; });
}

std::string Utf8ToWindows1252(std::string_view s) {
    // Bytes 0x80..0x9F of Windows-1252; 0 where it leaves the byte unmapped.
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const char32_t cp = DecodeUtf8(s, i);
        char byte = '?';
        if ((cp < 0x80 || cp >= 0xA0) ? cp <= 0xFF : kHigh[cp - 0x80] == 0) {
            // Of U+0080..U+009F only what the five unmapped bytes read as.
            byte = static_cast<char>(cp);
        } else {
            for (int k = 0; k < 32; ++k)
                if (kHigh[k] == cp) byte = static_cast<char>(0x80 + k);
        }
        out += byte;
    }
    return out;
}

std::string Utf8OrLatin1(std::string_view s) {
    return IsValidUtf8(s) ? std::string(s) : Latin1ToUtf8(s);
}

size_t Utf8Length(std::string_view s) {
    size_t n = 0;
    for (size_t i = 0; i < s.size(); ++n) DecodeUtf8(s, i);
    return n;
}

std::string Utf8Left(std::string_view s, size_t count) {
    size_t i = 0;
    for (size_t n = 0; n < count && i < s.size(); ++n) DecodeUtf8(s, i);
    return std::string(s.substr(0, i));
}

std::string AsciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = AsciiLowerChar(c);
    return out;
}

std::string AsciiUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
}

int CompareTextAscii(std::string_view a, std::string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<uint8_t>(AsciiLowerChar(a[i]));
        const auto cb = static_cast<uint8_t>(AsciiLowerChar(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameTextAscii(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareTextAscii(a, b) == 0;
}

std::string EscapeControls(std::string_view s) {
    auto control = [](uint8_t b) { return b < 0x20 || b == 0x7F; };
    // Plain ASCII, most text, goes through untouched; from the first control
    // or non-ASCII byte on, characters are read whole, so the bytes of a
    // valid sequence are never taken for controls.
    size_t i = 0;
    while (i < s.size() && static_cast<uint8_t>(s[i]) < 0x80 &&
           !control(static_cast<uint8_t>(s[i])))
        ++i;
    if (i == s.size()) return std::string(s);
    std::string out(s.substr(0, i));
    out.reserve(s.size() + 16);
    static constexpr char kHex[] = "0123456789abcdef";
    while (i < s.size()) {
        const auto b = static_cast<uint8_t>(s[i]);
        if (b < 0x80) {
            ++i;
            if (!control(b)) {
                out += static_cast<char>(b);
            } else if (b == '\n') {
                out += "\\n";
            } else if (b == '\r') {
                out += "\\r";
            } else if (b == '\t') {
                out += "\\t";
            } else {
                out += "\\x";
                out += kHex[b >> 4];
                out += kHex[b & 15];
            }
            continue;
        }
        size_t next = i;
        const char32_t cp = DecodeUtf8(s, next);
        const bool valid = next - i > 1;  // a bad byte advances by one alone
        if (valid && cp >= 0x80 && cp <= 0x9F) {
            out += "\\u00";
            out += kHex[cp >> 4];
            out += kHex[cp & 15];
        } else if (!valid && b <= 0x9F) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out.append(s.substr(i, next - i));
        }
        i = next;
    }
    return out;
}

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<uint8_t>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<uint8_t>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

}  // namespace quillet
