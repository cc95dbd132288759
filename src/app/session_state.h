// What the player remembers between runs: the playlist, the selected row, the
// volume, how the list plays and the ReplayGain setting, kept in the
// settings folder (ConfigFolder()) as two files: "playlist.m3u8" (the list,
// UTF-8) and "state.ini" (section "session"). Other parts of the player may
// keep their own keys in "state.ini": saving replaces only the keys written
// here. No Qt.
#pragma once

#include <string>
#include <vector>

#include "PlayList.h"
#include "gain.h"
#include "play_order.h"

namespace quillet {

inline constexpr char kStateFileName[] = "state.ini";
inline constexpr char kStatePlaylistName[] = "playlist.m3u8";
inline constexpr char kSessionSection[] = "session";

struct TSessionState {
    std::vector<TPlaylistEntry> Entries;
    int Row = -1;    // the selected row; -1 for none
    int Volume = 0;  // the volume slider's value (attenuation, 0..10000)
    TRepeat Repeat = TRepeat::List;
    bool Shuffle = false;
    TReplayGainSetting Gain;
};

// The state kept in `folder` (with a trailing "/"). Anything missing,
// unreadable or malformed gives its default (an empty list, no row, full
// volume, repeat list without shuffle, track gain with no pre-amp); a row
// outside the list gives none. Never raises.
TSessionState LoadSessionState(const std::string& folder);

// Whether an entry can be kept in the saved playlist: it names a file and
// its path holds no line break (a playlist line could not hold it).
bool KeptInSession(const TPlaylistEntry& entry);

// Writes the state into `folder`, creating it when needed; each file is
// replaced atomically. An entry whose path holds a line break cannot be
// written as a playlist line and is left out; line breaks in titles become
// blanks. Raises EInOutError (textfile.h) when a file cannot be written.
void SaveSessionState(const std::string& folder, const TSessionState& state);
// Writes the settings of `state` (not its entries: the lists keep their own
// files) into "state.ini". Raises EInOutError.
void SaveSessionSettings(const std::string& folder, const TSessionState& state);

}  // namespace quillet
