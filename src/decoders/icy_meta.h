// ICY metadata, as internet radio servers send it: "icy-" headers in the
// response (the station's name) and, every so many bytes of audio, a block
// of Key='value'; pairs (StreamTitle, StreamUrl). FFmpeg's HTTP client takes
// the blocks out of the audio and keeps the latest one as text; these
// functions read that text, and FFmpeg's list of the icy headers.
//
// Servers state no encoding: every value is kept when it is valid UTF-8 and
// read as ISO-8859-1 otherwise (Utf8OrLatin1). Input is whatever the network
// gave: nothing here trusts a length or a quote to be there.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillet {

// The song a StreamTitle names.
struct TIcyTitle {
    std::string Artist;  // UTF-8; empty when the title names none
    std::string Title;
    bool operator==(const TIcyTitle&) const = default;
};

// The value of `key` (without regard to ASCII case) in a metadata block such
// as "StreamTitle='A - B';StreamUrl='';"; nullopt when the block has no such
// key. A value ends at the "';" after it, so an apostrophe inside a title
// stays; without one, at the block's last "'" or its end. A NUL ends the
// block (blocks are padded with them).
std::optional<std::string> IcyField(std::string_view block, std::string_view key);

// A StreamTitle split at its first " - " into artist and title (as stations
// send "Artist - Title"); one without it is all title. Blanks around each
// part are dropped.
TIcyTitle SplitStreamTitle(std::string_view streamTitle);

// The value of header `name` (without regard to ASCII case) in FFmpeg's list
// of icy headers, one "name: value" a line; empty when absent.
std::string IcyHeader(std::string_view headers, std::string_view name);

}  // namespace quillet
