// Title, artist and album of a file, from the tags its input reads, for the
// media-player interface's metadata. Opens the file with an input of its own,
// so it may run on any thread (never on the GUI thread: opening may load a
// codec library). No Qt.
#pragma once

#include <string>

namespace quillet {

struct TTrackTags {
    std::string Title;  // UTF-8; empty when no tag gives one
    std::string Artist;
    std::string Album;
    bool operator==(const TTrackTags&) const = default;
};

// ID3v2, then APEv2, then ID3v1, each field from the first set that has it;
// Vorbis comments for Ogg Vorbis and FLAC. Nothing for a file that cannot be
// opened, is not a regular file or has no input.
TTrackTags ReadTrackTags(const std::string& path);

}  // namespace quillet
