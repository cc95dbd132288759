// What a session keeps beyond the list and the settings (session_state.h):
// the track that was heard and where, so a restart continues there; and
// which of the entries a start (or a later start handing over) asks for are
// already in the list, so a start adds only the new ones. Kept in section
// "resume" of "state.ini" (session_store.h). No Qt.
//
// GUI thread (the player is read and driven); the file calls never raise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PlayList.h"
#include "playback_controller.h"

namespace quillet {

inline constexpr char kResumeSection[] = "resume";

struct TResumePoint {
    TListId List = kNoList;  // the list it was in (kNoList: an older version's one list)
    int Row = -1;            // the row in that list; -1: nothing was heard
    std::string FilePath;    // the entry's file, checked against that row
    TTimeRange Range;        // the entry's part of it
    int64_t OffsetFlicks = 0;
};

// The point kept in `folder` (with a trailing "/"); none when anything is
// missing or malformed.
TResumePoint LoadResumePoint(const std::string& folder);
// Replaces the point kept in `folder`; a failed write is only reported on
// stderr (the list itself is saved first, and says so).
void SaveResumePoint(const std::string& folder, const TResumePoint& point);

// Where the heard track stands now; none while nothing is heard.
TResumePoint HeardPoint(TPlaybackController& player);
// The restored list holds the saved entries from row `first`: the entry the
// point names is selected and held paused where it was (ResumePaused).
// Nothing happens when no entry there matches the point.
void ResumeAt(TPlaybackController& player, const TResumePoint& point, int first);

// The entries to append for a start's `entries`: those not in `list` yet
// (nor earlier in `entries`). `playRow` gets the row the first of `entries`
// will have, -1 when there is none: its existing row, or its row once the
// new ones are appended after the list.
std::vector<TPlaylistEntry> NewEntries(const TPlaylistModel& list,
                                       std::vector<TPlaylistEntry> entries, int& playRow);

}  // namespace quillet
