#include "text_encoding.h"

#include <iconv.h>
#include <uchardet/uchardet.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "text.h"

namespace quillet {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The whole of `in` converted from `charset` to UTF-8; false when iconv does
// not know the code page or meets a byte it does not map.
bool ConvertToUtf8(std::string_view in, const std::string& charset, std::string& out) {
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::unique_ptr<void, int (*)(iconv_t)> closer(cd, &iconv_close);
    // Every code page uchardet names widens a byte to at most 4 UTF-8 bytes.
    out.assign(in.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) ||
        iconv(cd, nullptr, nullptr, &dst, &dstLeft) == static_cast<size_t>(-1))
        return false;
    out.resize(out.size() - dstLeft);
    return true;
}

std::string GuessCharset(std::string_view bytes) {
    uchardet_t detector = uchardet_new();
    if (detector == nullptr) return {};
    std::string name;
    if (uchardet_handle_data(detector, bytes.data(), bytes.size()) == 0) {
        uchardet_data_end(detector);
        if (const char* found = uchardet_get_charset(detector)) name = found;
    }
    uchardet_delete(detector);
    return name;
}

}  // namespace

bool IsValidUtf8(std::string_view s) {
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    const size_t n = s.size();
    size_t i = 0;
    while (i < n) {
        const uint8_t b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint8_t lo = 0x80, hi = 0xBF;  // the second byte's range
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            if (b == 0xE0) lo = 0xA0;  // overlong
            if (b == 0xED) hi = 0x9F;  // surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            if (b == 0xF0) lo = 0x90;  // overlong
            if (b == 0xF4) hi = 0x8F;  // past U+10FFFF
        } else {
            return false;
        }
        if (n - i < len || p[i + 1] < lo || p[i + 1] > hi) return false;
        for (size_t k = 2; k < len; ++k)
            if ((p[i + k] & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

std::string DecodeUndeclaredText(std::string_view bytes, std::string* charset) {
    if (charset) charset->clear();
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom || IsValidUtf8(bytes)) {
        if (charset) *charset = "UTF-8";
        if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) bytes.remove_prefix(kUtf8Bom.size());
        return std::string(bytes);
    }
    std::string name = AsciiUpper(GuessCharset(bytes));
    if (name == "ISO-8859-1") name = "WINDOWS-1252";
    std::string out;
    if (!name.empty() && name != "ASCII" && name != "UTF-8") {
        if (ConvertToUtf8(bytes, name, out)) {
            if (charset) *charset = name;
            return out;
        }
        // Windows-1252 leaves five bytes unmapped; ISO-8859-1 maps them all.
        if (name == "WINDOWS-1252" && ConvertToUtf8(bytes, "ISO-8859-1", out)) {
            if (charset) *charset = "ISO-8859-1";
            return out;
        }
    }
    return std::string(bytes);
}

namespace {

// Code pages of the Latin script, which a guess from a few words confuses
// with one another (uchardet reads "Björk Guðmundsdóttir" as IBM852).
bool LatinScriptCodePage(const std::string& name) {
    static const char* const kNames[] = {
        "ISO-8859-1",   "ISO-8859-2",   "ISO-8859-3",   "ISO-8859-4",        "ISO-8859-9",
        "ISO-8859-10",  "ISO-8859-13",  "ISO-8859-14",  "ISO-8859-15",       "ISO-8859-16",
        "WINDOWS-1250", "WINDOWS-1252", "WINDOWS-1254", "WINDOWS-1257",      "WINDOWS-1258",
        "IBM437",       "IBM850",       "IBM852",       "MAC-CENTRALEUROPE", "MACINTOSH"};
    for (const char* n : kNames)
        if (name == n) return true;
    return false;
}

// Whether a byte above 0x7F is a letter in Windows-1252.
bool Cp1252Letter(uint8_t b) {
    switch (b) {
        case 0x83:
        case 0x8A:
        case 0x8C:
        case 0x8E:
        case 0x9A:
        case 0x9C:
        case 0x9E:
        case 0x9F:
        case 0xAA:
        case 0xB5:
        case 0xBA:
            return true;
        default:
            return b >= 0xC0 && b != 0xD7 && b != 0xF7;
    }
}

}  // namespace

std::vector<std::string> DecodeUndeclaredFields(const std::vector<std::string>& fields) {
    if (std::all_of(fields.begin(), fields.end(), [](const std::string& f) { return IsAscii(f); }))
        return fields;
    std::string joined;
    for (const std::string& f : fields) {
        if (IsAscii(f)) continue;  // says nothing about the code page
        joined += f;
        joined += '\n';
    }
    std::string charset;
    DecodeUndeclaredText(joined, &charset);
    // Among the Latin-script code pages the guess is weak on a few words:
    // text whose every high byte is a letter in Windows-1252 (the name the
    // format gives, and the most common) is read so. Cyrillic, Greek or
    // Asian guesses stand.
    if (LatinScriptCodePage(charset) && std::all_of(joined.begin(), joined.end(), [](char c) {
            return (c & 0x80) == 0 || Cp1252Letter(static_cast<uint8_t>(c));
        }))
        charset = "WINDOWS-1252";
    std::vector<std::string> out;
    out.reserve(fields.size());
    for (const std::string& f : fields) {
        std::string text;
        if (IsAscii(f) || (charset == "UTF-8" && IsValidUtf8(f)))
            text = f;
        else if (charset.empty() || charset == "UTF-8" || !ConvertToUtf8(f, charset, text))
            text = Latin1ToUtf8(f);
        out.push_back(std::move(text));
    }
    return out;
}

std::optional<std::string> DecodeAs(std::string_view bytes, const std::string& charset) {
    std::string out;
    if (!ConvertToUtf8(bytes, charset, out)) return std::nullopt;
    return out;
}

std::vector<std::string> LikelyCodePages() {
    std::vector<std::string> pages;
    // The first of these that is set names the locale (as setlocale reads them).
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') continue;
        std::string_view locale(value);
        const size_t dot = locale.find('.');
        if (dot != std::string_view::npos) {
            locale.remove_prefix(dot + 1);
            const std::string page = AsciiUpper(locale.substr(0, locale.find('@')));
            if (!page.empty() && page != "UTF-8" && page != "UTF8") pages.push_back(page);
        }
        break;
    }
    for (const char* page :
         {"WINDOWS-1252", "WINDOWS-1251", "GB18030", "SHIFT_JIS", "BIG5", "EUC-KR"})
        if (std::find(pages.begin(), pages.end(), page) == pages.end()) pages.emplace_back(page);
    return pages;
}

}  // namespace quillet
