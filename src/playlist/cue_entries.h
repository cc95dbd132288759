// CUE sheets as playlist entries: a track is an entry with the image file,
// the part of it the track plays (TPlaylistEntry::Range) and the sheet's
// tags (TPlaylistEntry::Tags).
//
// The tracks of one file tile it: a track ends where the next track of its
// file starts (its INDEX 01), so the INDEX 00..01 stretch before a track (its
// pregap) ends the track before it, and playing the tracks in order plays the
// file once, whole. The first track of a file starts at the file's start
// (what comes before its INDEX 01, a pregap or a hidden track, is heard with
// it); the last runs to the file's end. PREGAP and POSTGAP (silence the disc
// had but the file lacks) are kept in the entry's tags, not played.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "PlayList.h"
#include "cue_sheet.h"

namespace quillet {

// Where a sheet's FILE line leads: the name resolved as playlist entries
// are (ResolveEntryPath, against the sheet's folder). A missing file is
// looked for under the same base name with each of `playable` (extensions
// with their dot, e.g. PlayableExtensions() of input_table.h), in the sheet's
// folder too when the name held a folder that does not exist here. Still
// missing, the path is kept (the list keeps missing files; playback reports
// them). Returns the reason the FILE cannot be played, or "" with `path`
// set: a URL, a NUL byte, a folder, a FIFO, a device or socket, and the
// sheet itself are refused.
std::string ResolveSheetFile(const std::string& sheetPath, std::string_view name,
                             const std::vector<std::string>& playable, std::string& path);

// The entries of a sheet file whose text (UTF-8) is `text`; `rawText`, when
// not empty, is the file's own bytes before a code-page conversion, whose
// FILE names are tried when the converted ones name no file. A track that
// cannot be played adds a "track N: reason" line to `problems` instead of
// an entry; so does a problem of the whole sheet. Lines ignored without a
// loss go to `notes` (TCueSheet::Notes), when given.
void ReadCueSheetEntries(const std::string& sheetPath, std::string_view text,
                         std::string_view rawText, const std::vector<std::string>& playable,
                         std::vector<TPlaylistEntry>& entries, std::vector<std::string>& problems,
                         std::vector<std::string>* notes = nullptr);

// The entries adding the sound file `path` gives: the tracks of the sheet it
// carries (embedded_sheet.h: a CUESHEET comment or Cuesheet item first, for
// its titles, else a FLAC CUESHEET block, whose sample positions are kept
// exactly), with the file's own ALBUM, ARTIST, GENRE, DATE and DISCNUMBER
// where the sheet has none; otherwise one entry for the whole file, titled
// by its file name (also when the file is missing). An embedded sheet that
// gives no track adds its reasons to `problems`.
std::vector<TPlaylistEntry> FileEntries(const std::string& path,
                                        std::vector<std::string>* problems = nullptr);

// For adding a folder: the sheets (".cue", any letter case) among `names`,
// the folder's file names in walk order, that play files of that folder.
// Returns each such sheet's entries under the name of the first of its files
// in `names`, where the walk puts them; `covered` receives every file name a
// sheet plays, which the walk then leaves out (X.cue and X.flac give X's
// tracks, not X.flac as well). A file an earlier sheet covers is not taken
// again by a later one (X.cue before X.flac.cue).
std::map<std::string, std::vector<TPlaylistEntry>> FolderSheets(
    const std::string& folder, const std::vector<std::string>& names,
    const std::vector<std::string>& playable, std::set<std::string>& covered);

}  // namespace quillet
