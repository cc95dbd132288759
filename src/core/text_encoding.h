// Text files that declare no encoding (playlists, CUE sheets): which code
// page they were written in, and their text as UTF-8. Tag formats that say
// how their text is encoded (ID3v2, Vorbis comments, APEv2) never come here.
#pragma once

#include <string>
#include <string_view>

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

}  // namespace quillet
