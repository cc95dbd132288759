// Text conversions, in one place for the whole program. 8-bit ("narrow") text
// is UTF-8; wide text is UTF-16; ID3 single-byte text is ISO-8859-1.
// Invalid UTF-8 never fails a conversion: each bad byte becomes U+FFFD.
#pragma once

#include <charconv>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quillet {

std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);
// ISO-8859-1 bytes to UTF-8.
std::string Latin1ToUtf8(std::string_view s);
// UTF-8 to ISO-8859-1 bytes; characters outside it become '?'.
std::string Utf8ToLatin1(std::string_view s);
// UTF-8 to Windows-1252 bytes (ISO-8859-1 with printable characters where it
// has C1 controls); characters outside it become '?'.
std::string Utf8ToWindows1252(std::string_view s);
// Whether every byte is below 0x80.
bool IsAscii(std::string_view s);
// Text whose encoding nobody states (a stream's titles): kept when it is
// valid UTF-8 (IsValidUtf8, text_encoding.h), else read as ISO-8859-1, which
// every byte string is.
std::string Utf8OrLatin1(std::string_view s);

// Number of Unicode characters in UTF-8 text (a bad byte counts as one).
size_t Utf8Length(std::string_view s);
// The first `count` characters of UTF-8 text, never cutting one in half.
std::string Utf8Left(std::string_view s, size_t count);

// ASCII-only case folding (file extensions, INI keys, tag field names).
std::string AsciiLower(std::string_view s);
std::string AsciiUpper(std::string_view s);
bool SameTextAscii(std::string_view a, std::string_view b);
// Compares without regard to ASCII case: <0, 0, >0.
int CompareTextAscii(std::string_view a, std::string_view b);

// Text from a file or the network made safe to print on a terminal: C0
// controls (ESC, CR, LF, TAB...), DEL and C1 controls (U+0080..U+009F, and
// stray bytes 0x80..0x9F, which an 8-bit terminal takes as controls) are
// written as escapes ("\n", "\r", "\t", "\x1b", "\u009b"), so nothing a tag
// or a station says can move the cursor, retitle the window or reach the
// clipboard. Everything else, invalid UTF-8 included, is kept byte for byte
// (a Latin-1 file name prints as it always did). A backslash stays as it is.
std::string EscapeControls(std::string_view s);

// Removes leading and trailing characters <= ' ' (the run-time library's Trim).
std::string_view Trim(std::string_view s);

// A whole decimal number and nothing else, in T's range: a leading "-" is
// taken, a "+" only with `plus`; blanks, fractions and anything after the
// digits are not. The one parser of whole numbers read from files, settings
// and the command line.
template <class T>
std::optional<T> ParseWholeNumber(std::string_view text, bool plus = false) {
    if (plus && !text.empty() && text.front() == '+') text.remove_prefix(1);
    T value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    return value;
}

}  // namespace quillet
