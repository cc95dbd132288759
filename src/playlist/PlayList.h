// Playlist files: detecting and reading six formats, writing two.
//
// Reading never stops at a malformed line: it is skipped or gives an entry
// with an empty path or title. Paths come back as written in the file
// (relative ones stay relative); OpenPlaylistEntries makes them usable.
// A file that exists but cannot be read raises EInOutError (textfile.h) with
// the run-time library's text ("File access denied", ...).
//
// Text is UTF-8 ("8-bit text"); lines end at LF or CR LF when read and with
// CR LF when written. No Qt here: the window and quillet-cli call these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ACS_Classes.h"
#include "time_range.h"
#include "track_ref.h"

namespace quillet {

// What a CUE sheet says of one of its tracks; empty (Track 0) for any other
// entry. The window shows these instead of the image's own tags, which
// describe the whole album.
struct TEntryTags {
    std::string Title, Artist, Album, Genre, Date, DiscNumber;
    int Track = 0;  // the sheet's track number; 0: the entry is no sheet's track
    // The sheet's REPLAYGAIN_* lines, for a file whose own tags give none
    // (TTrackRef::SheetGain).
    TReplayGain Gain;
    // PREGAP / POSTGAP in flicks: silence the sheet asks for around the
    // track. Listed, not played (the image plays as it is).
    int64_t Pregap = 0, Postgap = 0;
    bool operator==(const TEntryTags&) const = default;
};

// One entry of the window's playlist.
struct TPlaylistEntry {
    std::string Title;  // at most MaxTitleChars characters
    std::string FilePath;
    TTimeRange Range;  // the part of the file it plays (a CUE track); whole by default
    // A CUE track's own tags (read them through TagsOf); null for any other
    // entry, so a long list of files carries no room for them. Never changed
    // once set: copies of an entry share them.
    std::shared_ptr<const TEntryTags> Tags;
    // How long it plays in whole seconds, once known (a saved list writes
    // it); -1 while unknown. Not compared: what a file told, not the entry.
    int64_t Seconds = -1;

    // Tags compare by value.
    bool operator==(const TPlaylistEntry& other) const;
};

// The entry's sheet tags; empty ones (Track 0) for an entry that has none.
const TEntryTags& TagsOf(const TPlaylistEntry& entry);
// What the entry plays: its file, its part of it and its sheet's gains.
TTrackRef TrackOf(const TPlaylistEntry& entry);

inline constexpr size_t MaxTitleChars = 150;
// The title as an entry stores it: the first MaxTitleChars characters.
std::string CutTitle(std::string_view text);

// The names DetectPlaylistFormat returns.
namespace playlist_format {
inline constexpr std::string_view M3U = "M3U Playlist";
inline constexpr std::string_view BSPlayerCrypted = "BSPlayer Crypted Playlist";
inline constexpr std::string_view BSPlayer = "BSPlayer Playlist";
inline constexpr std::string_view MPC = "Media Player Classic Playlist";
inline constexpr std::string_view LightAlloy = "Light Alloy Playlist";
inline constexpr std::string_view PLS = "PLS Playlist";
inline constexpr std::string_view ASX = "Windows Media ASX Playlist";
inline constexpr std::string_view CUE = "CUE Sheet";  // cue_entries.h
inline constexpr std::string_view Unknown = "Unknown";
}  // namespace playlist_format

// The file's format: the first non-blank line is tested first ("#EXTM3U",
// "BSPL", "MPCPLAYLIST", "<ASX"), then the extension (".cue" last). "Unknown" for a file
// that does not exist (nothing is opened) or that no rule recognises. Only
// the file's start is read, up to that line (at most its first 4 KiB), and
// never past its first kPlaylistDetectBytes: a first line after them is not
// looked for.
inline constexpr int64_t kPlaylistDetectBytes = 16 << 10;
std::string DetectPlaylistFormat(const std::string& fileName);
// The same over lines already read; `fileName` gives only the extension.
std::string DetectPlaylistFormat(std::string_view fileName, const std::vector<std::string>& lines);

// Every reader takes the file's text as DecodeUndeclaredText (text_encoding.h)
// gives it: UTF-8, or converted from the code page it was written in.
//
// Clears both lists, detects the format and reads the entries in file order:
// titles[i] and paths[i] belong to one entry. False for "Unknown" (lists
// empty; the rest of the file is not read), true otherwise, also when nothing
// was found. `format`, when given, receives the detected format name. A
// playlist over MaxTextFileSize (256 MiB) raises EInOutError "File too large".
bool ReadPlaylist(const std::string& fileName, std::vector<std::string>& titles,
                  std::vector<std::string>& paths, std::string* format = nullptr);
// One format's reading over lines already read; false for "Unknown".
bool ParsePlaylistLines(std::string_view format, const std::vector<std::string>& lines,
                        std::vector<std::string>& titles, std::vector<std::string>& paths);

// What Open playlist may be given beyond the file, and what it tells back.
struct TPlaylistOpen {
    // Extensions a CUE sheet's FILE may be found under when the file it
    // names is missing (ResolveSheetFile); the player passes
    // PlayableExtensions() of input_table.h.
    std::vector<std::string> PlayableExtensions;
    // Out: one line per track or entry left out, and why ("track 3: FILE
    // names a folder"), and problems of the file as a whole.
    std::vector<std::string> Problems;
    // Out: lines of a CUE sheet ignored without losing a track.
    std::vector<std::string> Notes;
};

// Open playlist: reads the file and turns each entry into a TPlaylistEntry as
// the window stores it: the title cut to MaxTitleChars, the path resolved
// against the playlist's folder (ResolveEntryPath; an address stays as it
// is written). Entries with an empty path are dropped: they name no file.
// Returns ReadPlaylist's result. A CUE sheet gives one entry per track
// (cue_entries.h). An M3U entry takes the part of its file that
// "#EXTVLCOPT:start-time=" / "stop-time=" lines (seconds) before it give.
// When the text was converted from a code page and a converted path names no
// file, the path as the file's bytes wrote it is used if that one exists (a
// collection named in that code page).
bool OpenPlaylistEntries(const std::string& fileName, std::vector<TPlaylistEntry>& entries,
                         std::string* format = nullptr, TPlaylistOpen* open = nullptr);

// The two formats Save playlist writes; the numbers are the save dialog's
// filter indices.
enum class TPlaylistSaveFormat { PLS = 1, M3U = 2 };

// The file Save playlist writes for the name typed: ".pls" or ".m3u" is
// appended unless the name already ends with it (in any letter case).
std::string PlaylistSaveTarget(std::string_view chosenName, TPlaylistSaveFormat format);

// Writes section "playlist" of the INI file `target`: File<i>, Title<i>,
// Length<i> (the entry's Seconds, "60" while unknown; "-1" for an address, a
// stream having none) for each
// entry, then Version=2 and NumberOfEntries.
// An existing file keeps its other lines; keys are replaced in place, new
// ones appended to the section, and that section's File/Title/Length keys
// numbered above the new count are deleted so the file holds exactly these
// entries. Raises Exception "Unable to write to <target>" on failure; the old
// file is then left as it was.
void WritePlsPlaylist(const std::string& target, const std::vector<TPlaylistEntry>& entries);
// Writes `target` whole as an extended M3U ("#EXTM3U", an empty line, then
// "#EXTINF:<seconds>,<title>" (as in a PLS file's Length), and the
// path per entry). An entry that plays part of its file (a CUE track) is
// preceded by "#EXTVLCOPT:start-time=S" and, unless it runs to the file's
// end, "#EXTVLCOPT:stop-time=S" (seconds with nine decimals: read back to the
// exact flick). PLS has no such place: a CUE track saved there is its whole
// file. Raises EInOutError with the file error on failure; the old file is
// then left as it was.
void WriteM3uPlaylist(const std::string& target, const std::vector<TPlaylistEntry>& entries);
// One entry's lines of such a file (start and stop options, "#EXTINF:" and
// the path), appended to `text`.
void AppendM3uEntry(std::string& text, const TPlaylistEntry& entry);
// Both writers replace the file as WriteFileAtomic (textfile.h) does: through
// a symbolic link its target, keeping the file's mode, owner and hard links.
// Save playlist after its dialog: writes the entries to
// PlaylistSaveTarget(chosenName, format) and returns that name. An empty
// name writes nothing and returns "".
std::string SavePlaylist(std::string_view chosenName, TPlaylistSaveFormat format,
                         const std::vector<TPlaylistEntry>& entries);

}  // namespace quillet
