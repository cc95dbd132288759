// Path rules, in one place: file-name part, extension, playlist entries.
// "/" separates folders. Playlist entries written on Windows use "\" too, so
// the file-name part is the text after the last "/" or "\"; a local path's
// folder (ExtractFilePath) ends at its last "/" only.
#pragma once

#include <string>
#include <string_view>

namespace quillet {

// Text after the last "/" or "\" (the whole path when there is none).
std::string_view FileNamePart(std::string_view path);

// File names as people sort them and file managers show them: runs of digits
// by their value ("2" before "10"), everything else letter case aside; names
// equal that way go in byte order, so the order is total.
bool NameLess(std::string_view a, std::string_view b);
// The extension, dot included: the text from the last "." of the file-name
// part; empty when that part has no ".".
std::string_view ExtractExtension(std::string_view path);
// The folder part of a local path with its trailing "/" (empty when there is
// none). "\" is an ordinary character in a local name.
std::string ExtractFilePath(std::string_view path);
// A playlist entry as a path: absolute when it starts with "/" or with a
// drive letter and ":" (kept as it is); otherwise "\" becomes "/" and the
// playlist's folder (with or without a trailing "/") is put in front. An
// address (IsUrl) is kept as it is: it never names a file in that folder.
std::string ResolveEntryPath(std::string_view playlistFolder, std::string_view entry);
// Whether the text is an address rather than a path: a scheme (a letter,
// then letters, digits, "+", "-" or ".", two characters at least: one is a
// drive) and "://".
bool IsUrl(std::string_view path);
// An address the stream input plays: http://, https://, and icy:// or
// icyx:// (read as http), the scheme in any letter case. Any other address
// (file://, ftp://, ...) is refused when played, never opened.
bool IsStreamUrl(std::string_view path);
// The folder of the running executable, with a trailing "/".
std::string ProgramFolder();
// The player's own settings folder, with a trailing "/": "quillet/" under
// $XDG_CONFIG_HOME when that is an absolute path, else under $HOME/.config.
// Empty when neither gives a folder. Nothing is created.
std::string ConfigFolder();
// The player's cache folder, by the same rules: "quillet/" under
// $XDG_CACHE_HOME, else under $HOME/.cache.
std::string CacheFolder();

}  // namespace quillet
