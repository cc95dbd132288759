#include "PlayList.h"

#include <sys/stat.h>

#include <cerrno>
#include <utility>

#include "ACS_Types.h"
#include "cue_entries.h"
#include "ini.h"
#include "m3u_ranges.h"
#include "paths.h"
#include "text.h"
#include "text_encoding.h"
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
    virtual void Add(std::string_view title, std::string_view path, const TTimeRange& range) = 0;
    void Add(std::string_view title, std::string_view path) { Add(title, path, {}); }
    // An entry named after its path's file-name part.
    void AddPath(std::string_view path) { Add(FileNamePart(path), path); }
    // A CUE sheet's tracks (`raw`: the file's bytes when `text` was converted).
    virtual void AddSheet(const std::string& sheetPath, std::string_view text,
                          std::string_view raw) = 0;
};

class TListSink : public TSink {
  public:
    TListSink(std::vector<std::string>& titles, std::vector<std::string>& paths)
        : FTitles(titles), FPaths(paths) {}
    using TSink::Add;
    void Add(std::string_view title, std::string_view path, const TTimeRange&) override {
        FTitles.emplace_back(title);
        FPaths.emplace_back(path);
    }
    // Each playable track as its title and its FILE as written.
    void AddSheet(const std::string&, std::string_view text, std::string_view) override {
        const TCueSheet sheet = ParseCueSheet(text);
        for (const TCueTrack& t : sheet.Tracks)
            if (t.Error.empty() && t.Audio && t.File < sheet.Files.size())
                Add(t.Title, sheet.Files[t.File]);
    }

  private:
    std::vector<std::string>& FTitles;
    std::vector<std::string>& FPaths;
};

// Open playlist's storing: entries without a path name no file and are dropped.
class TEntrySink : public TSink {
  public:
    TEntrySink(std::vector<TPlaylistEntry>& entries, std::string folder, TPlaylistOpen* open)
        : FEntries(entries), FFolder(std::move(folder)), FOpen(open) {}
    // The paths of the file's unconverted text, one per Add, in order.
    void SetRawPaths(std::vector<std::string> paths) { FRawPaths = std::move(paths); }
    using TSink::Add;
    void Add(std::string_view title, std::string_view path, const TTimeRange& range) override {
        const size_t n = FAdded++;
        if (path.empty()) return;
        TPlaylistEntry& entry = FEntries.emplace_back();
        entry.Title = CutTitle(title);
        entry.FilePath = ResolveEntryPath(FFolder, path);
        entry.Range = range;
        if (n < FRawPaths.size() && FRawPaths[n] != path) {
            const std::string raw = ResolveEntryPath(FFolder, FRawPaths[n]);
            struct stat st {};
            if (::stat(entry.FilePath.c_str(), &st) != 0 && ::stat(raw.c_str(), &st) == 0)
                entry.FilePath = raw;
        }
    }
    void AddSheet(const std::string& sheetPath, std::string_view text,
                  std::string_view raw) override {
        static const std::vector<std::string> kNone;
        std::vector<std::string> problems;
        ReadCueSheetEntries(sheetPath, text, raw, FOpen ? FOpen->PlayableExtensions : kNone,
                            FEntries, FOpen ? FOpen->Problems : problems,
                            FOpen ? &FOpen->Notes : nullptr);
    }

  private:
    std::vector<TPlaylistEntry>& FEntries;
    std::string FFolder;
    TPlaylistOpen* FOpen;
    std::vector<std::string> FRawPaths;
    size_t FAdded = 0;
};

void ReadM3U(TLineReader& in, TSink& out) {
    TTimeRange range;  // from the option lines before the entry
    // An option line sets the part of the next entry's file; it is no entry.
    auto option = [&](std::string_view line) {
        const bool start = StartsWithText(line, kStartOption);
        if (!start && !StartsWithText(line, kStopOption)) return false;
        const auto at =
            ParseOptionSeconds(line.substr(start ? kStartOption.size() : kStopOption.size()));
        if (at) (start ? range.Start : range.End) = *at;
        return true;
    };
    auto add = [&](std::string_view title, std::string_view path) {
        // A stop before the start would play nothing: the whole file instead.
        if (range.End >= 0 && range.End <= range.Start) range = {};
        out.Add(title, path, range);
        range = {};
    };
    while (!in.Eof()) {
        std::string_view line = Trim(in.Next());
        if (StartsWithText(line, "#EXTINF")) {
            size_t comma = line.find(',', 6);
            std::string_view title =
                comma == std::string_view::npos ? std::string_view{} : line.substr(comma + 1);
            std::string_view path = in.Next();
            while (option(Trim(path))) path = in.Eof() ? std::string_view{} : in.Next();
            add(title, path);
        } else if (!StartsWithText(line, "#EXTM3U") && !option(line)) {
            add(FileNamePart(line), line);
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

// The length a saved list gives an entry: a stream has none, written -1 as
// other players do; a file its length once known, 60 before.
std::string SavedLength(const TPlaylistEntry& e) {
    if (IsUrl(e.FilePath)) return "-1";
    return e.Seconds >= 0 ? std::to_string(e.Seconds) : "60";
}

[[noreturn]] void FailPls(const std::string& target) {
    throw Exception("Unable to write to " + target);
}

}  // namespace

const TEntryTags& TagsOf(const TPlaylistEntry& entry) {
    static const TEntryTags kNone;
    return entry.Tags ? *entry.Tags : kNone;
}

TTrackRef TrackOf(const TPlaylistEntry& entry) {
    TTrackRef track;
    track.Path = entry.FilePath;
    track.Range = entry.Range;
    track.SheetGain = TagsOf(entry).Gain;
    return track;
}

bool TPlaylistEntry::operator==(const TPlaylistEntry& other) const {
    return Title == other.Title && FilePath == other.FilePath && Range == other.Range &&
           TagsOf(*this) == TagsOf(other);
}

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
    if (ext == ".cue") return std::string(fmt::CUE);
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
    } else if (format == fmt::CUE) {
        std::string text;
        for (const std::string& line : lines) (text += line) += '\n';
        out.AddSheet({}, text, {});
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
    std::string raw = ReadFileText(fileName);
    std::string charset;
    const std::string text = DecodeUndeclaredText(raw, &charset);
    const bool converted = !charset.empty() && charset != "UTF-8";
    if (detected == fmt::CUE) {
        // Also when no code page was guessed: the sheet's folder may tell.
        out.AddSheet(fileName, text,
                     charset != "UTF-8" ? std::string_view(raw) : std::string_view{});
        return true;
    }
    if (!converted) std::string().swap(raw);  // a long list is not held twice
    if (auto* entries = dynamic_cast<TEntrySink*>(&out); entries && converted) {
        std::vector<std::string> titles, paths;
        TListSink rawOut(titles, paths);
        ParseLines(detected, SplitTextLines(raw), rawOut);
        entries->SetRawPaths(std::move(paths));
    }
    return ParseLines(detected, SplitTextLines(text), out);
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
                         std::string* format, TPlaylistOpen* open) {
    entries.clear();
    if (open) {
        open->Problems.clear();
        open->Notes.clear();
    }
    TEntrySink out(entries, ExtractFilePath(fileName), open);
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
        ini.WriteString(kPlsSection, "Length" + n, SavedLength(entries[i]));
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
    for (const auto& e : entries) AppendM3uEntry(text, e);
    WriteFileAtomic(target, text);
}

void AppendM3uEntry(std::string& text, const TPlaylistEntry& e) {
    if (!e.Range.Whole()) {
        (text += kStartOption) += FormatOptionSeconds(e.Range.Start);
        text += "\r\n";
        if (e.Range.End >= 0) {
            (text += kStopOption) += FormatOptionSeconds(e.Range.End);
            text += "\r\n";
        }
    }
    text += "#EXTINF:";
    text += SavedLength(e);
    text += ',';
    text += e.Title;
    text += "\r\n";
    text += e.FilePath;
    text += "\r\n";
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
