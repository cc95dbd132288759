// The session's playlists on disk, in the settings folder's "lists/": each
// list in a file of its own ("<id>.m3u8", list_file.h), so a damaged file
// loses that list only and adding or closing a list never rewrites another;
// and "index.ini": the lists' order and names, each one's selected row,
// which list is shown and which played, and the play queue (as
// "<list id>:<row>" items). An older version's single list
// ("playlist.m3u8" with the queue in "state.ini") is read when there is no
// index yet. No Qt.
//
// Loading runs on any thread (it reads only files); saving on the GUI thread.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "list_file.h"
#include "playback_controller.h"
#include "playlist_set.h"

namespace quillet {

struct TKeptList {
    TListId Id = kNoList;
    std::string Name;
    int Row = -1;  // the selected row
    std::vector<TKeptEntry> Entries;
};

struct TKeptLists {
    std::vector<TKeptList> Lists;  // in order; none when nothing was kept
    TListId Shown = kNoList, Playing = kNoList;
    std::vector<std::pair<TListId, int>> Queue;  // list and row, in queue order
    bool Legacy = false;                         // read from an older version's single list
};

// What `folder` (with a trailing "/") keeps; never raises. A list whose file
// cannot be read is left out.
TKeptLists LoadKeptLists(const std::string& folder);

// Puts kept lists into `set` (after what it holds; its one empty list is
// reused for the first) and the queue into `player`; then no step of theirs
// can be undone. Returns the index of each kept list in the set.
std::vector<int> RestoreKeptLists(TKeptLists kept, TPlaylistSet& set, TPlaybackController& player);

// Writes list `index`'s file. Raises EInOutError (textfile.h).
void SaveListFile(const std::string& folder, const TPlaylistSet& set, int index);
// Writes "index.ini" with the queue of `player`. Raises EInOutError.
void SaveListsIndex(const std::string& folder, const TPlaylistSet& set,
                    const TPlaybackController& player);
// Removes the files of lists closed this run (none whose close was undone).
void RemoveListFiles(const std::string& folder, const std::set<TListId>& closed);

}  // namespace quillet
