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
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// One entry of the window's playlist.
struct TPlaylistEntry {
    std::string Title;  // at most MaxTitleChars characters
    std::string FilePath;

    bool operator==(const TPlaylistEntry&) const = default;
};

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
inline constexpr std::string_view Unknown = "Unknown";
}  // namespace playlist_format

// The file's format: the first non-blank line is tested first ("#EXTM3U",
// "BSPL", "MPCPLAYLIST", "<ASX"), then the extension. "Unknown" for a file
// that does not exist (nothing is opened) or that no rule recognises. Only
// the file's start is read, up to that line (at most its first 4 KiB), and
// never past its first kPlaylistDetectBytes: a first line after them is not
// looked for.
inline constexpr int64_t kPlaylistDetectBytes = 16 << 10;
std::string DetectPlaylistFormat(const std::string& fileName);
// The same over lines already read; `fileName` gives only the extension.
std::string DetectPlaylistFormat(std::string_view fileName, const std::vector<std::string>& lines);

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

// Open playlist: reads the file and turns each entry into a TPlaylistEntry as
// the window stores it: the title cut to MaxTitleChars, the path resolved
// against the playlist's folder (ResolveEntryPath). Entries with an empty
// path are dropped: they name no file. Returns ReadPlaylist's result.
bool OpenPlaylistEntries(const std::string& fileName, std::vector<TPlaylistEntry>& entries,
                         std::string* format = nullptr);

// The two formats Save playlist writes; the numbers are the save dialog's
// filter indices.
enum class TPlaylistSaveFormat { PLS = 1, M3U = 2 };

// The file Save playlist writes for the name typed: ".pls" or ".m3u" is
// appended unless the name already ends with it (in any letter case).
std::string PlaylistSaveTarget(std::string_view chosenName, TPlaylistSaveFormat format);

// Writes section "playlist" of the INI file `target`: File<i>, Title<i>,
// Length<i> (always "60") for each entry, then Version=2 and NumberOfEntries.
// An existing file keeps its other lines; keys are replaced in place, new
// ones appended to the section, and that section's File/Title/Length keys
// numbered above the new count are deleted so the file holds exactly these
// entries. Raises Exception "Unable to write to <target>" on failure; the old
// file is then left as it was.
void WritePlsPlaylist(const std::string& target, const std::vector<TPlaylistEntry>& entries);
// Writes `target` whole as an extended M3U ("#EXTM3U", an empty line, then
// "#EXTINF:60,<title>" and the path per entry). Raises EInOutError with the
// file error on failure; the old file is then left as it was.
void WriteM3uPlaylist(const std::string& target, const std::vector<TPlaylistEntry>& entries);
// Both writers replace the file as WriteFileAtomic (textfile.h) does: through
// a symbolic link its target, keeping the file's mode, owner and hard links.
// Save playlist after its dialog: writes the entries to
// PlaylistSaveTarget(chosenName, format) and returns that name. An empty
// name writes nothing and returns "".
std::string SavePlaylist(std::string_view chosenName, TPlaylistSaveFormat format,
                         const std::vector<TPlaylistEntry>& entries);

}  // namespace quillet
