// A kept list's file: an extended M3U that other players read as a plain
// playlist (each entry's length in whole seconds, -1 for a stream, 60 where
// it is not known yet), with a "#EXTQUILLET:" line before each entry that
// keeps what the player knows of it: its row text, its part of the file, the
// tags and length read from the file with the file's size and time then, a
// CUE track's own tags and a stream's station name. Read back, an entry
// whose file's size or time changed is read again; the others are not.
//
// Each "#EXTQUILLET:" line is tab-separated fields, each with "\\", tab, CR
// and LF escaped ("\\\\", "\\t", "\\r", "\\n"). A file without such lines
// (a list kept by an older version) is read as a plain playlist.
//
// No Qt; any thread (no shared state).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "file_stamp.h"
#include "playlist_model.h"

namespace quillet {

// What a kept entry brings back.
struct TKeptEntry {
    TPlaylistEntry Entry;
    std::string RowText;
    TEntryInfo Info;  // with the file's stamp when it was read
};

// The file's text for `entries` (each with the stamp its info was read at).
std::string ListFileText(const std::vector<const TEntry*>& entries);
// Reads the text of a list file. Malformed "#EXTQUILLET:" lines are left
// out (their entries only); never raises.
std::vector<TKeptEntry> ParseListFile(std::string_view text);

// Reads a kept list (either kind of file); raises EInOutError (textfile.h)
// when it cannot be read. Entries whose file changed since come back unread.
std::vector<TKeptEntry> ReadListFile(const std::string& path);

// `text` with each CR and LF a blank (a line of a playlist).
std::string OneLineBreaksAsBlanks(std::string text);

// The whole seconds an entry's saved line gives: its length, -1 for a
// stream, 60 when the length is not known.
int64_t SavedSeconds(const TEntry& entry);

}  // namespace quillet
