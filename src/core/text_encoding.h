// Text files that declare no encoding (playlists, CUE sheets): which code
// page they were written in, and their text as UTF-8. Tag text that says how
// it is encoded (ID3v2 UTF-16/UTF-8 frames, Vorbis comments, APEv2) never
// comes here; ID3 single-byte text, which rips in many code pages carry
// under the name ISO-8859-1, does (DecodeUndeclaredFields).
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

// Several short texts of one source (the single-byte fields of one tag), each
// as UTF-8. The code page is guessed over all of them together, as above, so
// that a few letters are read the way the rest of the tag shows: one short
// field alone says too little; and where the guess is one Latin-script code
// page over another, text whose every non-ASCII byte is a letter in
// Windows-1252 is read as Windows-1252, since a few words cannot tell them
// apart. Plain ASCII stays as it is; a text the guess cannot convert (or
// every text, when there is no guess) is read as ISO-8859-1.
std::vector<std::string> DecodeUndeclaredFields(const std::vector<std::string>& fields);

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
