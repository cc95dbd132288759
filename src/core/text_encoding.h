// Text files that declare no encoding (playlists, CUE sheets): which code
// page they were written in, and their text as UTF-8. Tag formats that say
// how their text is encoded (ID3v2, Vorbis comments, APEv2) never come here.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// Whether `s` is well-formed UTF-8 (no overlongs, surrogates or values past
// U+10FFFF).
bool IsValidUtf8(std::string_view s);

// A whole file's bytes as UTF-8 text:
// - a UTF-8 byte-order mark is dropped, and the rest is taken as UTF-8;
// - valid UTF-8 (plain ASCII included) is returned as it is;
// - otherwise the code page libuchardet names for the whole text is
//   converted from (iconv); ISO-8859-1 is read as Windows-1252, its
//   superset for every printable character, since text files never mean the
//   C1 controls those bytes would be in ISO-8859-1;
// - when no code page is named or the conversion fails, the bytes are
//   returned unchanged (the 8-bit reading: each invalid byte shows as
//   U+FFFD where the text is displayed).
// `charset`, when given, receives the code page converted from ("UTF-8"
// for the first two cases, empty for the last).
std::string DecodeUndeclaredText(std::string_view bytes, std::string* charset = nullptr);

// The whole of `bytes` read as `charset` (an iconv name) into UTF-8; nullopt
// when iconv does not know the code page or a byte has no meaning in it.
std::optional<std::string> DecodeAs(std::string_view bytes, const std::string& charset);

// The code pages a text that declares none is most likely in, for a caller
// that can tell a right reading from a wrong one (a CUE sheet whose file
// names exist under one reading only): the locale's (from LC_ALL, LC_CTYPE
// or LANG, when it is not UTF-8), then Windows-1252, Windows-1251, GB18030,
// Shift-JIS, Big5 and EUC-KR, each once.
std::vector<std::string> LikelyCodePages();

}  // namespace quillet
