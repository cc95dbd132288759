// Title, artist and album of a file, from its tags: for the list's rows
// ("Artist - Title") and the media-player interface's metadata. Opens the
// file with an input of its own, so it may run on any thread (never on the
// GUI thread: opening may load a codec library). No Qt.
#pragma once

#include <string>
#include <string_view>

namespace quillet {

struct TTrackTags {
    std::string Title;  // UTF-8; empty when no tag gives one
    std::string Artist;
    std::string Album;
    bool operator==(const TTrackTags&) const = default;
};

// By the input that plays the file: MP3 from ID3v2, then APEv2, then ID3v1,
// then the MP3 input's fields; WMA and the formats FFmpeg reads (Opus, M4A...)
// from the input's fields; Ogg Vorbis and FLAC from their Vorbis comments;
// any other file from ID3v2, APEv2 or ID3v1. The
// first set with a title gives all three fields; without any title, artist
// and album come from the first set that has each. Nothing for a file that
// cannot be opened or is not a regular file.
TTrackTags ReadTrackTags(const std::string& path);

// Text made fit for one line of display: invalid UTF-8 becomes U+FFFD, line
// breaks and other control characters become spaces, direction embeddings,
// overrides and isolates go, and so do blanks at the ends.
std::string OneLine(std::string_view text);
// "Artist - Title", or the title alone without an artist; empty without a
// title. Both made one line first.
std::string JoinTagTitle(std::string_view artist, std::string_view title);
// "Artist - Title" from the file's tags (ReadTrackTags); empty when none
// gives a title or the file cannot be read.
std::string ReadTagTitle(const std::string& path);

}  // namespace quillet
