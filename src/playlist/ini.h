// The one INI reader/writer of the program (language files, PLS playlists).
// Sections and keys match without regard to (ASCII) case; blanks around keys
// and values are dropped; one pair of surrounding quotes is removed from a
// value on reading. Writing replaces a key in place, appends a new key at the
// end of its section (a new section at the end of the file), and keeps every
// other line as it was.
//
// Like the platform's profile files: keys before the first section header
// belong to no section; when a section or key appears twice, the first one
// counts; a line starting with ";" is a comment; a line without "=" is no key.
// Lookups and writes are indexed, so building a large file key by key (a long
// PLS playlist) stays linear.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillet {

class TIniFile {
  public:
    TIniFile() = default;
    // Parses text (LF or CR LF lines).
    static TIniFile FromText(std::string_view text);
    // Takes lines already split (e.g. from ReadTextLines).
    static TIniFile FromLines(std::vector<std::string> lines);
    // Reads a file; a missing or unreadable file gives an empty INI.
    static TIniFile Load(const std::string& path);

    // The value of section/key, or `def` when absent. `maxChars` cuts the
    // value as a buffer of that many bytes would (maxChars - 1 characters,
    // never half a character); 0 means no limit.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view def = {}, size_t maxChars = 0) const;
    bool SectionExists(std::string_view section) const;
    bool KeyExists(std::string_view section, std::string_view key) const;
    // The section's key names as written in the file, first occurrences only.
    std::vector<std::string> Keys(std::string_view section) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    // Removes the first occurrence of the key; nothing happens when it is absent.
    void DeleteKey(std::string_view section, std::string_view key);

    // The file's text, lines ended with CR LF.
    std::string Text() const;
    // Writes the text through a temporary file renamed over `path`; raises
    // EInOutError (textfile.h) on failure, leaving the old file intact.
    void Save(const std::string& path) const;

  private:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    struct TLine {
        std::string Text;
        bool Dead = false;        // deleted; dropped at the next compaction
        size_t NextSame = kNone;  // the next live line with the same key
    };
    struct TSection {
        bool HasHeader = false;    // false only for the lines before the first header
        std::vector<TLine> Lines;  // Lines[0] is the header when HasHeader
        // Lower-cased key -> its first live line (later ones via NextSame).
        std::unordered_map<std::string, size_t> Index;
        size_t End = 0;   // one past the last line that is neither blank nor dead
        size_t Dead = 0;  // number of dead lines
    };

    const TSection* FindSection(std::string_view section) const;
    void AddLine(std::string text);
    static void Reindex(TSection& s);
    static void Compact(TSection& s);

    std::vector<TSection> FSections;
    std::unordered_map<std::string, size_t> FSectionIndex;  // lower-cased name -> first section
};

}  // namespace quillet
