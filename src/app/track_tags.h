// Title, artist and album of a file, from its tags: for the list's rows
// ("Artist - Title") and the media-player interface's metadata. Opens the
// file with an input of its own, so it may run on any thread (never on the
// GUI thread: opening may load a codec library). No Qt.
#pragma once

#include <string>

namespace quillet {

struct TTrackTags {
    std::string Title;  // UTF-8; empty when no tag gives one
    std::string Artist;
    std::string Album;
    bool operator==(const TTrackTags&) const = default;
};

// By the file's extension: MP3 from ID3v2, then APEv2, then ID3v1, then the
// MP3 input's fields; WMA from the input's fields; Ogg Vorbis and FLAC from
// their Vorbis comments; any other file from ID3v2, APEv2 or ID3v1. The
// first set with a title gives all three fields; without any title, artist
// and album come from the first set that has each. Nothing for a file that
// cannot be opened or is not a regular file.
TTrackTags ReadTrackTags(const std::string& path);

}  // namespace quillet
