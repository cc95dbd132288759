// The player's command line, and turning its paths into playlist entries.
// No Qt: the expansion runs on a worker thread, quillet-cli play walks
// folders with it, and tests call it directly.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "PlayList.h"

namespace quillet {

struct TCommandLine {
    bool Help = false;
    bool Version = false;
    bool Enqueue = false;            // add without starting playback
    std::vector<std::string> Paths;  // as given (bytes, possibly relative)
    std::string Error;               // a usage error; empty when the line is good
};

// Reads argv[1..argc). "--" ends the options; "-" alone is a path.
TCommandLine ParseCommandLine(int argc, const char* const* argv);
// What --help and --version print.
std::string UsageText();
std::string VersionText();

// `path` made absolute against `folder` (which ends with "/" or not); bytes
// are kept as given, nothing is resolved on disk. An address (IsUrl) stays
// as given, except a local file:// one, which becomes its path.
std::string AbsolutePath(std::string_view path, std::string_view folder);
// The path a file:// address names ("file:///a%20b" or
// "file://localhost/a%20b": "/a b", the bytes as percent-decoded); nullopt
// for another scheme or host, a bad escape, or a NUL byte.
std::optional<std::string> FileUrlPath(std::string_view url);
// The list's entry for an address: titled by it until the station names
// itself.
TPlaylistEntry AddressEntry(std::string_view url);

// The entries the paths stand for, in order: an address as itself (a
// stream, or a scheme playback refuses with a clear message); a file with a playable
// extension as itself (missing ones too: the list keeps them, playback skips
// them), or as the tracks of the CUE sheet it carries; a regular file that
// is a playlist or sheet through the playlist reader; a folder walked in
// name order, subfolders included, for playable files, a sheet's tracks
// taking the place of the files it plays (FolderSheets).
// Anything else is skipped. Titles are file names, as Add gives them. A set
// `cancel` ends the work early with what was found so far.
std::vector<TPlaylistEntry> ExpandPaths(const std::vector<std::string>& paths,
                                        const std::atomic<bool>* cancel = nullptr);

}  // namespace quillet
