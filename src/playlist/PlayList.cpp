#include "PlayList.h"

#include <sys/stat.h>

#include <cerrno>
#include <utility>

#include "ACS_Types.h"
#include "ini.h"
#include "paths.h"
#include "text.h"
#include "textfile.h"

namespace quillet {
namespace {

namespace fmt = playlist_format;

constexpr std::string_view kPlsSection = "playlist";

bool FileExists(const std::string& fileName) {
    struct stat st {};
    return stat(fileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// The first n bytes of s equal `prefix` without regard to ASCII case.
bool StartsWithText(std::string_view s, std::string_view prefix) {
    return SameTextAscii(s.substr(0, prefix.size()), prefix);
}

// Reads the lines in order; past the end, every read gives an empty line.
class TLineReader {
  public:
    explicit TLineReader(const std::vector<std::string>& lines) : FLines(lines) {}
    bool Eof() const { return FPos >= FLines.size(); }
    std::string_view Next() { return Eof() ? std::string_view{} : FLines[FPos++]; }

  private:
    const std::vector<std::string>& FLines;
    size_t FPos = 0;
};

// Where the readers put entries: two parallel lists, or the window's entries.
class TSink {
  public:
    virtual ~TSink() = default;
    virtual void Add(std::string_view title, std::string_view path) = 0;
    // An entry named after its path's file-name part.
    void AddPath(std::string_view path) { Add(FileNamePart(path), path); }
};

class TListSink : public TSink {
  public:
    TListSink(std::vector<std::string>& titles, std::vector<std::string>& paths)
        : FTitles(titles), FPaths(paths) {}
    void Add(std::string_view title, std::string_view path) override {
        FTitles.emplace_back(title);
        FPaths.emplace_back(path);
    }

  private:
    std::vector<std::string>& FTitles;
    std::vector<std::string>& FPaths;
};

// Open playlist's storing: entries without a path name no file and are dropped.
class TEntrySink : public TSink {
  public:
    TEntrySink(std::vector<TPlaylistEntry>& entries, std::string folder)
        : FEntries(entries), FFolder(std::move(folder)) {}
    void Add(std::string_view title, std::string_view path) override {
        if (path.empty()) return;
        FEntries.push_back({CutTitle(title), ResolveEntryPath(FFolder, path)});
    }

  private:
    std::vector<TPlaylistEntry>& FEntries;
    std::string FFolder;
};

void ReadM3U(TLineReader& in, TSink& out) {
    while (!in.Eof()) {
        std::string_view line = Trim(in.Next());
        if (StartsWithText(line, "#EXTINF")) {
            size_t comma = line.find(',', 6);
            std::string_view title =
                comma == std::string_view::npos ? std::string_view{} : line.substr(comma + 1);
            out.Add(title, in.Next());
        } else if (!StartsWithText(line, "#EXTM3U")) {
            out.AddPath(line);
        }
    }
}

void ReadBSPlayer(TLineReader& in, TSink& out) {
    while (!in.Eof()) out.AddPath(Trim(in.Next()));
}

void ReadLightAlloy(TLineReader& in, TSink& out) {
    while (!in.Eof()) {
        std::string_view path = Trim(in.Next());
        if (path.empty()) continue;
        std::string_view titleLine = in.Next();
        // The title line starts with three marker characters.
        out.Add(titleLine.substr(Utf8Left(titleLine, 3).size()), path);
    }
}

void ReadMPC(TLineReader& in, TSink& out) {
    constexpr std::string_view kTag = "filename,";
    while (!in.Eof()) {
        std::string_view line = Trim(in.Next());
        size_t at = line.find(kTag);
        if (at != std::string_view::npos) out.AddPath(line.substr(at + kTag.size()));
    }
}

void ReadPLS(TLineReader& in, TSink& out) {
    while (!in.Eof()) {
        std::string_view line = Trim(in.Next());
        if (!StartsWithText(line, "file")) continue;
        size_t eq = line.find('=');
        out.AddPath(eq == std::string_view::npos ? std::string_view{} : line.substr(eq + 1));
    }
}

void ReadASX(TLineReader& in, TSink& out) {
    while (!in.Eof()) {
        std::string_view line = Trim(in.Next());
        if (!StartsWithText(line, "<entry>")) continue;
        std::string_view path;
        size_t open = line.find('"');
        if (open != std::string_view::npos) {
            size_t close = line.find('"', open + 1);
            path = close == std::string_view::npos ? line.substr(open + 1)
                                                   : line.substr(open + 1, close - open - 1);
        }
        out.AddPath(path);
    }
}

// Whole-number suffix of a numbered PLS key ("File12" -> 12) above `count`.
bool NumberedAbove(std::string_view key, size_t count) {
    for (std::string_view prefix : {"file", "title", "length"}) {
        if (key.size() <= prefix.size() || !StartsWithText(key, prefix)) continue;
        std::string_view digits = key.substr(prefix.size());
        if (digits.find_first_not_of("0123456789") != std::string_view::npos) return false;
        size_t value = 0;
        for (char c : digits) {
            value = value * 10 + static_cast<size_t>(c - '0');
            if (value > count) return true;  // stop before the number can overflow
        }
        return value > count;
    }
    return false;
}

[[noreturn]] void FailPls(const std::string& target) {
    throw Exception("Unable to write to " + target);
}

}  // namespace

std::string CutTitle(std::string_view text) {
    // A text of no more bytes than that has no more characters either.
    return text.size() <= MaxTitleChars ? std::string(text) : Utf8Left(text, MaxTitleChars);
}

std::string DetectPlaylistFormat(std::string_view fileName, const std::vector<std::string>& lines) {
    std::string_view first;
    for (const auto& line : lines) {
        first = line;
        if (!Trim(line).empty()) break;
    }
    std::string_view trimmed = Trim(first);
    if (trimmed == "#EXTM3U") return std::string(fmt::M3U);
    if (first.substr(0, 4) == "BSPL") return std::string(fmt::BSPlayerCrypted);
    if (trimmed == "MPCPLAYLIST") return std::string(fmt::MPC);
    if (first.size() >= 4 && StartsWithText(first, "<ASX")) return std::string(fmt::ASX);

    const std::string ext = AsciiLower(ExtractExtension(fileName));
    if (ext == ".m3u") return std::string(fmt::M3U);
    if (ext == ".bsl") return std::string(fmt::BSPlayer);
    if (ext == ".mpcpl") return std::string(fmt::MPC);
    if (ext == ".lap") return std::string(fmt::LightAlloy);
    if (ext == ".pls") return std::string(fmt::PLS);
    if (ext == ".asx") return std::string(fmt::ASX);
    return std::string(fmt::Unknown);
}

std::string DetectPlaylistFormat(const std::string& fileName) {
    if (!FileExists(fileName)) return std::string(fmt::Unknown);
    // A bounded head, as content sniffing reads: a huge file of blanks with
    // no line break costs no more than its first bytes.
    return DetectPlaylistFormat(fileName,
                                {ReadFirstNonBlankLine(fileName, 4096, kPlaylistDetectBytes)});
}

namespace {

// One format's reading; false for "Unknown".
bool ParseLines(std::string_view format, const std::vector<std::string>& lines, TSink& out) {
    TLineReader in(lines);
    if (format == fmt::M3U) {
        ReadM3U(in, out);
    } else if (format == fmt::BSPlayer) {
        ReadBSPlayer(in, out);
    } else if (format == fmt::LightAlloy) {
        ReadLightAlloy(in, out);
    } else if (format == fmt::MPC) {
        ReadMPC(in, out);
    } else if (format == fmt::PLS) {
        ReadPLS(in, out);
    } else if (format == fmt::ASX) {
        ReadASX(in, out);
    } else if (format != fmt::BSPlayerCrypted) {
        return false;  // the enciphered list is recognised but not read
    }
    return true;
}

// Detects the format from the file's start, then reads the whole file only
// for a format that has entries to read; false for "Unknown".
bool ReadInto(const std::string& fileName, TSink& out, std::string* format) {
    if (format) *format = fmt::Unknown;
    const std::string detected = DetectPlaylistFormat(fileName);
    if (format) *format = detected;
    if (detected == fmt::Unknown) return false;
    if (detected == fmt::BSPlayerCrypted) return true;
    return ParseLines(detected, ReadTextLines(fileName), out);
}

}  // namespace

bool ParsePlaylistLines(std::string_view format, const std::vector<std::string>& lines,
                        std::vector<std::string>& titles, std::vector<std::string>& paths) {
    titles.clear();
    paths.clear();
    TListSink out(titles, paths);
    return ParseLines(format, lines, out);
}

bool ReadPlaylist(const std::string& fileName, std::vector<std::string>& titles,
                  std::vector<std::string>& paths, std::string* format) {
    titles.clear();
    paths.clear();
    TListSink out(titles, paths);
    return ReadInto(fileName, out, format);
}

bool OpenPlaylistEntries(const std::string& fileName, std::vector<TPlaylistEntry>& entries,
                         std::string* format) {
    entries.clear();
    TEntrySink out(entries, ExtractFilePath(fileName));
    return ReadInto(fileName, out, format);
}

std::string PlaylistSaveTarget(std::string_view chosenName, TPlaylistSaveFormat format) {
    const std::string_view ext = format == TPlaylistSaveFormat::PLS ? ".pls" : ".m3u";
    std::string target(chosenName);
    if (chosenName.size() < ext.size() ||
        !SameTextAscii(chosenName.substr(chosenName.size() - ext.size()), ext))
        target += ext;
    return target;
}

void WritePlsPlaylist(const std::string& target, const std::vector<TPlaylistEntry>& entries) {
    TIniFile ini;
    try {
        ini = TIniFile::FromLines(ReadTextLines(target));
    } catch (const EInOutError& e) {
        // A missing file is created; one we cannot read we must not replace.
        if (e.Code != ENOENT) FailPls(target);
    }
    const size_t count = entries.size();
    for (size_t i = 0; i < count; ++i) {
        const std::string n = std::to_string(i + 1);
        ini.WriteString(kPlsSection, "File" + n, entries[i].FilePath);
        ini.WriteString(kPlsSection, "Title" + n, entries[i].Title);
        ini.WriteString(kPlsSection, "Length" + n, "60");
    }
    ini.WriteString(kPlsSection, "Version", "2");
    ini.WriteString(kPlsSection, "NumberOfEntries", std::to_string(count));
    // Entries of a longer list saved here before would come back on reading.
    for (const std::string& key : ini.Keys(kPlsSection)) {
        if (!NumberedAbove(key, count)) continue;
        while (ini.KeyExists(kPlsSection, key)) ini.DeleteKey(kPlsSection, key);
    }
    try {
        ini.Save(target);
    } catch (const EInOutError&) {
        FailPls(target);
    }
}

void WriteM3uPlaylist(const std::string& target, const std::vector<TPlaylistEntry>& entries) {
    std::string text = "#EXTM3U\r\n\r\n";
    for (const auto& e : entries) {
        text += "#EXTINF:60,";
        text += e.Title;
        text += "\r\n";
        text += e.FilePath;
        text += "\r\n";
    }
    WriteFileAtomic(target, text);
}

std::string SavePlaylist(std::string_view chosenName, TPlaylistSaveFormat format,
                         const std::vector<TPlaylistEntry>& entries) {
    if (chosenName.empty()) return {};
    std::string target = PlaylistSaveTarget(chosenName, format);
    if (format == TPlaylistSaveFormat::PLS)
        WritePlsPlaylist(target, entries);
    else
        WriteM3uPlaylist(target, entries);
    return target;
}

}  // namespace quillet
