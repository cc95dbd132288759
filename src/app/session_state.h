// What the player remembers between runs beside its lists (list_session.h):
// the volume, how the list plays and the ReplayGain setting, in section
// "session" of "state.ini" (session_store.h). An older version kept its one
// list here too: "playlist.m3u8" (UTF-8) with the selected row in the same
// section; that form is still read, so the lists can take it over, and
// written for that check. No Qt.
#pragma once

#include <string>
#include <vector>

#include "PlayList.h"
#include "gain.h"
#include "play_order.h"
#include "session_store.h"

namespace quillet {

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
// The same without the older version's list (no entries, no row): what a
// start needs, the lists keeping their own files.
TSessionState LoadSessionSettings(const std::string& folder);

// Writes the state in the older version's form into `folder`, creating it
// when needed; each file is replaced atomically. An entry whose path holds a
// line break cannot be a playlist line and is left out; line breaks in
// titles become blanks. Raises EInOutError (textfile.h) when a file cannot
// be written.
void SaveSessionState(const std::string& folder, const TSessionState& state);
// Writes the settings of `state` (not its entries nor its row: the lists
// keep their own files). Raises EInOutError.
void SaveSessionSettings(const std::string& folder, const TSessionState& state);

}  // namespace quillet
