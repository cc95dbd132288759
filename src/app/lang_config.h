// Where the language choice ("lang.cfg": one line naming a file of lang/) is
// kept. Each user has their own in the settings folder (ConfigFolder()),
// written by the About dialog; the one beside the program is the installed
// default, read while the user has none. The working folder plays no part, so
// the program starts the same from any folder. No Qt.
#pragma once

#include <string>

namespace quillet {

inline constexpr char kLangCfgName[] = "lang.cfg";

// The "lang.cfg" that holds the choice: `configFolder`'s when it exists, else
// `programFolder`'s. A user's file that exists but cannot be read is still the
// one named, so its error is reported rather than masked by the default.
// Folders end with "/"; an empty `configFolder` (no home folder) is skipped.
std::string LangCfgPath(const std::string& configFolder, const std::string& programFolder);

// The language name a "lang.cfg" holds: its first line. Only a bounded head of
// the file is read. A line that cannot name a language file (longer than a
// file name, or holding "/" or a control character, as a binary file does)
// reads as "", which gives the built-in texts. Raises EInOutError when the
// file cannot be read ("File not found" when it is missing).
std::string ReadLanguageName(const std::string& path);

// The language in effect: the name in the "lang.cfg" LangCfgPath names.
std::string ReadLanguageChoice(const std::string& configFolder, const std::string& programFolder);

// Stores the choice as the user's "lang.cfg" (one line, CR LF), making the
// settings folder first. Raises EInOutError when it cannot be written ("Path
// not found" when there is no settings folder at all).
void WriteLanguageName(const std::string& configFolder, const std::string& name);

}  // namespace quillet
