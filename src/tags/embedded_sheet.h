// CUE sheets carried inside a sound file: a FLAC CUESHEET metadata block, a
// CUESHEET Vorbis comment (FLAC, Ogg Vorbis, Ogg FLAC, Opus) or an APEv2
// "Cuesheet" item (WavPack, Monkey's Audio, any file with an APEv2 tag), and
// the file's own comments that fill in what the sheet lacks. Read straight
// from the file's bytes: no codec library is loaded.
//
// Bad input reads as "no sheet": every size is checked against what the
// file still holds before it is used, a metadata item over 16 MiB is not
// read, and nothing raises.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ACS_Streams.h"

namespace quillet {

// One track of a FLAC CUESHEET block (the lead-out excluded).
struct TFlacCueTrack {
    int Number = 0;
    bool Audio = true;
    int64_t Start = -1;  // the sample of INDEX 01; -1 when the track has none
    bool operator==(const TFlacCueTrack&) const = default;
};

struct TEmbeddedSheet {
    std::string Text;                  // the CUESHEET comment or Cuesheet item (UTF-8 as declared)
    std::vector<TFlacCueTrack> Block;  // a FLAC CUESHEET block's tracks
    uint32_t SampleRate = 0;           // FLAC STREAMINFO's rate: the block counts at it
    // The file's own Vorbis comments or APEv2 text items, as KEY=value.
    std::vector<std::string> Comments;
    bool Empty() const { return Text.empty() && Block.empty(); }
};

// What `stream` carries, by its first bytes: native FLAC (after any ID3v2
// tag), Ogg (the first logical stream's comment header, and for Ogg FLAC
// its metadata blocks), else an APEv2 tag at the end.
TEmbeddedSheet ReadEmbeddedSheet(TStream& stream);
// The same for a file; nothing for one that is not a regular file or cannot
// be opened.
TEmbeddedSheet ReadEmbeddedSheet(const std::string& path);

// The value of the first KEY=value comment whose key matches (ASCII case
// ignored); empty when none does.
std::string CommentValue(const std::vector<std::string>& comments, std::string_view key);

}  // namespace quillet
