// What a track's file tells the playlist: its tags, whether an input opens
// it (and why not), and its length. Opens the file with an input of its own,
// so it may run on any thread (never the GUI thread: opening may block on a
// slow disk or load a codec library). No Qt.
#pragma once

#include "playlist_model.h"
#include "track_input.h"

namespace quillet {

// The error of a file an input opens without understanding it.
inline constexpr char kNotUnderstood[] = "The file is not in a format this input reads";

// Tags as ReadTrackTags reads them; Playable with the length (exact, or an
// estimate from a header) when an input understands the file, else Failed
// with the input's own error. A track that is a part of its file (a range)
// gets the part's length. A FIFO or a device is not opened, nor is an
// address (a stream): Unread.
TEntryInfo ReadEntryInfo(const TTrackRef& track);
// The same for an entry: a CUE sheet's track takes its title, artist and
// album from the sheet (TagsOf), the file's tags filling in the rest.
TEntryInfo ReadEntryInfo(const TPlaylistEntry& entry);

}  // namespace quillet
