// What the media commands share: the input the player would choose for a
// file, the checks and tag lines they print alike, and number parsing for
// their options.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ACS_Classes.h"
#include "PlayList.h"
#include "track_input.h"

namespace quillet::cli {

// The input the player would use for the whole file at `path`
// (OpenTrackInput). Raises "Format not supported" for a file no input plays.
Owned<TAuFileIn> OpenInput(const std::string& path);

// The entries a command-line argument stands for, as the player adds them: a
// sound file's (itself, or the tracks of the sheet it carries), a playlist's
// or CUE sheet's (a missing FILE found under another playable extension),
// anything else as itself (opening it then says what is wrong). Each problem
// (a track left out and why) goes to stderr as "ARG: problem"; returns
// false when there was one.
bool ArgumentEntries(const std::string& arg, std::vector<TPlaylistEntry>& entries);

// The input understood the file and its format is one a sink can play:
// channels and a rate, and a width of 8, 16, 24 or 32 bits.
bool PlayableFormat(TAuFileIn& input);

// One "SET.Field: value" line per non-empty tag field the input itself read
// (SET: id3v2 for MP3/WMA, vorbis for FLAC/Ogg, apev2 for Musepack); with
// `vorbisOnly`, only the Vorbis comments.
void PrintInputTags(TAuFileIn& input, bool vorbisOnly = false);

// The album tag the input read (UTF-8; empty when none): ID3v2 for MP3, WMA
// and FFmpeg's containers, Vorbis comments for FLAC and Ogg, APEv2 for
// Musepack.
std::string AlbumTag(TAuFileIn& input);

// A whole decimal number, nothing else; false leaves `value` alone.
bool ParseInt64(const std::string& text, int64_t& value);

}  // namespace quillet::cli
