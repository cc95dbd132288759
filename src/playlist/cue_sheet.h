// CUE sheets: an album ripped as one file (or several), with the tracks
// marked by time. This file reads a sheet's text into tracks; cue_entries.h
// turns them into playlist entries.
//
// Understood: FILE, TRACK nn TYPE, INDEX 00/01 (other indexes are checked
// and otherwise ignored), PREGAP, POSTGAP, TITLE, PERFORMER, and REM GENRE,
// DATE, DISCNUMBER and REPLAYGAIN_ALBUM_*/TRACK_*. Commands match without
// regard to case; values are quoted ("...") or bare (the rest of the line;
// for FILE, without the last word, its type). Anything else is skipped. The
// FILE type word (WAVE, MP3, ...) is not looked at: the file's content
// chooses its input.
//
// Times are MM:SS:FF, 75 frames a second, kept in flicks (time_range.h), so
// they land on exact samples at every common rate. Bad input never stops the
// reading: a track that cannot be played gets an Error, a problem with the
// sheet as a whole goes to Problems.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "replay_gain.h"

namespace quillet {

inline constexpr int64_t kFlicksPerCueFrame = 705600000 / 75;
// More tracks than this (a CD holds 99) are not read: the rest of the sheet
// is a problem, not an allocation.
inline constexpr size_t kMaxCueTracks = 10000;
// A TITLE, PERFORMER or REM value keeps at most this many bytes (whole
// characters); an entry's title is cut further (MaxTitleChars).
inline constexpr size_t kMaxCueValueBytes = 4096;

struct TCueTrack {
    int Number = 0;
    bool Audio = true;  // TRACK nn AUDIO; data tracks give no entry
    // Index into TCueSheet::Files of the FILE in force at INDEX 01 (npos:
    // none yet), and the INDEX 01 time in flicks from that file's start.
    size_t File = std::string::npos;
    int64_t Start = -1;
    int64_t Pregap = 0, Postgap = 0;  // PREGAP / POSTGAP, flicks
    std::string Title, Performer;
    TReplayGainFields Gain;  // REM REPLAYGAIN_* lines inside the track
    std::string Error;       // why the track cannot be played; empty when it can
};

struct TCueSheet {
    std::string Title, Performer, Genre, Date, DiscNumber;
    TReplayGainFields Gain;          // REM REPLAYGAIN_* lines before the first track
    std::vector<std::string> Files;  // FILE names as written, in order
    std::vector<TCueTrack> Tracks;   // in sheet order
    std::vector<std::string> Problems;
    // Lines ignored without a loss ("track 3: bad PREGAP time, ignored").
    std::vector<std::string> Notes;
};

// "MM:SS:FF" as frames (1/75 s); nullopt unless MM is 1..6 digits, SS 00..59
// and FF 00..74, each all digits.
std::optional<int64_t> ParseCueTime(std::string_view text);

// Reads a sheet's UTF-8 text (text_encoding.h turns a file's bytes into it).
// Beyond the rules above: an INDEX outside a track or before any FILE, a bad
// time, INDEX 01 before INDEX 00 of the same file, an INDEX 01 not after
// the previous track's in the same file, and a track without INDEX 01 (or,
// failing that, INDEX 00, where it then starts) each set that track's
// Error. A bad PREGAP or POSTGAP time and a second INDEX 01 in a track (a
// TRACK line left out) are ignored with a Note; the track stays. A sheet
// without a track is a Problem.
TCueSheet ParseCueSheet(std::string_view text);

}  // namespace quillet
