#include "list_file.h"

#include <sys/stat.h>

#include <charconv>
#include <cstdio>
#include <optional>

#include "paths.h"
#include "replay_gain.h"
#include "text.h"
#include "textfile.h"

namespace quillet {

namespace {

constexpr std::string_view kInfoPrefix = "#EXTQUILLET:";
// The fields of an "#EXTQUILLET:" line, in order.
enum TField : size_t {
    fPath,
    fTitle,
    fRowText,
    fRangeStart,
    fRangeEnd,
    fState,
    fError,
    fLength,
    fEstimated,
    fSize,
    fMTime,
    fTagTitle,
    fTagArtist,
    fTagAlbum,
    fSheetTrack,
    fSheetTitle,
    fSheetArtist,
    fSheetAlbum,
    fSheetGenre,
    fSheetDate,
    fSheetDisc,
    fPregap,
    fPostgap,
    fTrackGain,
    fTrackPeak,
    fAlbumGain,
    fAlbumPeak,
    fFieldCount
};

void AppendEscaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += c;
        }
    }
}

std::optional<std::string> Unescaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        switch (text[i]) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            default:
                return std::nullopt;
        }
    }
    return out;
}

// A gain or peak as the gain fields' own parser reads it back: plain
// decimal digits, never an exponent, the shortest that reads back the same.
std::string Number(double value) {
    char buffer[400];  // the longest fixed form of a double within +-24 or (0, 10]
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (written.ec != std::errc()) return {};
    return std::string(buffer, written.ptr);
}

char StateLetter(TEntryState state) {
    switch (state) {
        case TEntryState::Playable:
            return 'p';
        case TEntryState::Failed:
            return 'f';
        default:
            return 'u';
    }
}

std::optional<TEntryState> StateOfLetter(std::string_view text) {
    if (text == "p") return TEntryState::Playable;
    if (text == "f") return TEntryState::Failed;
    if (text == "u") return TEntryState::Unread;
    return std::nullopt;
}

// One "#EXTQUILLET:" line's entry; nothing when it is malformed.
std::optional<TKeptEntry> ParseInfoLine(std::string_view line) {
    std::vector<std::string> fields;
    size_t from = 0;
    for (;;) {
        const size_t tab = line.find('\t', from);
        std::optional<std::string> field =
            Unescaped(line.substr(from, tab == std::string_view::npos ? tab : tab - from));
        if (!field || fields.size() == fFieldCount) return std::nullopt;
        fields.push_back(std::move(*field));
        if (tab == std::string_view::npos) break;
        from = tab + 1;
    }
    if (fields.size() != fFieldCount || fields[fPath].empty()) return std::nullopt;
    auto whole = [&](TField f) { return ParseWholeNumber<int64_t>(fields[f]); };
    const auto start = whole(fRangeStart), end = whole(fRangeEnd), length = whole(fLength),
               size = whole(fSize), mtime = whole(fMTime), track = whole(fSheetTrack),
               pregap = whole(fPregap), postgap = whole(fPostgap);
    const std::optional<TEntryState> state = StateOfLetter(fields[fState]);
    if (!start || !end || !length || !size || !mtime || !track || !pregap || !postgap || !state ||
        (fields[fEstimated] != "0" && fields[fEstimated] != "1") || *start < 0 ||
        (*end != -1 && *end <= *start) || *length < -1 || *track < 0 || *track > 9999)
        return std::nullopt;
    TKeptEntry kept;
    kept.Entry.FilePath = fields[fPath];
    kept.Entry.Title = CutTitle(OneLineBreaksAsBlanks(fields[fTitle]));
    kept.Entry.Range = {*start, *end};
    kept.RowText = fields[fRowText];
    kept.Info.State = *state;
    kept.Info.Error = fields[fError];
    kept.Info.LengthFlicks = *length;
    kept.Info.LengthEstimated = fields[fEstimated] == "1";
    kept.Info.Tags = {fields[fTagTitle], fields[fTagArtist], fields[fTagAlbum]};
    kept.Info.Stamp.Size = *size;
    kept.Info.Stamp.ModifiedNs = *mtime;
    if (*track > 0) {
        auto tags = std::make_shared<TEntryTags>();
        tags->Track = static_cast<int>(*track);
        tags->Title = fields[fSheetTitle];
        tags->Artist = fields[fSheetArtist];
        tags->Album = fields[fSheetAlbum];
        tags->Genre = fields[fSheetGenre];
        tags->Date = fields[fSheetDate];
        tags->DiscNumber = fields[fSheetDisc];
        tags->Pregap = *pregap;
        tags->Postgap = *postgap;
        // Read as the tags' gain fields are: a damaged file cannot make the
        // player deafening.
        auto gain = [&](TField g, TField p) -> std::optional<TGainInfo> {
            if (fields[g].empty()) return std::nullopt;
            // A peak of 0: none was known.
            const auto db = ParseGainDb(fields[g]);
            const auto peak = fields[p] == "0" ? std::optional<double>(0) : ParsePeak(fields[p]);
            if (!db || !peak) return std::nullopt;
            return TGainInfo{*db, *peak};
        };
        tags->Gain.Track = gain(fTrackGain, fTrackPeak);
        tags->Gain.Album = gain(fAlbumGain, fAlbumPeak);
        kept.Entry.Tags = std::move(tags);
    }
    kept.Entry.Seconds = SecondsOf(kept.Info);
    return kept;
}

}  // namespace

std::string OneLineBreaksAsBlanks(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

int64_t SavedSeconds(const TEntry& entry) {
    if (IsUrl(entry.FilePath)) return -1;
    const int64_t seconds = SecondsOf(entry.Info);
    return seconds >= 0 ? seconds : 60;
}

std::string ListFileText(const std::vector<const TEntry*>& entries) {
    std::string text = "#EXTM3U\r\n\r\n";
    for (size_t i = 0; i < entries.size(); ++i) {
        const TEntry& e = *entries[i];
        const TFileStamp& stamp = e.Info.Stamp;
        const TEntryTags& sheet = TagsOf(e);
        std::string gains[4];
        if (sheet.Gain.Track) {
            gains[0] = Number(sheet.Gain.Track->GainDb);
            gains[1] = Number(sheet.Gain.Track->Peak);
        }
        if (sheet.Gain.Album) {
            gains[2] = Number(sheet.Gain.Album->GainDb);
            gains[3] = Number(sheet.Gain.Album->Peak);
        }
        const std::string fields[fFieldCount] = {e.FilePath,
                                                 e.Title,
                                                 e.RowText,
                                                 std::to_string(e.Range.Start),
                                                 std::to_string(e.Range.End),
                                                 std::string(1, StateLetter(e.Info.State)),
                                                 e.Info.Error,
                                                 std::to_string(e.Info.LengthFlicks),
                                                 e.Info.LengthEstimated ? "1" : "0",
                                                 std::to_string(stamp.Size),
                                                 std::to_string(stamp.ModifiedNs),
                                                 e.Info.Tags.Title,
                                                 e.Info.Tags.Artist,
                                                 e.Info.Tags.Album,
                                                 std::to_string(sheet.Track),
                                                 sheet.Title,
                                                 sheet.Artist,
                                                 sheet.Album,
                                                 sheet.Genre,
                                                 sheet.Date,
                                                 sheet.DiscNumber,
                                                 std::to_string(sheet.Pregap),
                                                 std::to_string(sheet.Postgap),
                                                 gains[0],
                                                 gains[1],
                                                 gains[2],
                                                 gains[3]};
        text += kInfoPrefix;
        for (size_t f = 0; f < fFieldCount; ++f) {
            if (f > 0) text += '\t';
            AppendEscaped(text, fields[f]);
        }
        text += "\r\n";
        // The plain playlist's lines: a title or path with a line break
        // cannot be one there (the line above keeps it whole).
        TPlaylistEntry plain = e;
        plain.Title = OneLineBreaksAsBlanks(plain.Title);
        plain.Seconds = SavedSeconds(e);
        if (plain.FilePath.find_first_of("\r\n") == std::string::npos) AppendM3uEntry(text, plain);
    }
    return text;
}

std::vector<TKeptEntry> ParseListFile(std::string_view text) {
    std::vector<TKeptEntry> entries;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(from, end - from);
        from = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.substr(0, kInfoPrefix.size()) != kInfoPrefix) continue;
        if (std::optional<TKeptEntry> kept = ParseInfoLine(line.substr(kInfoPrefix.size())))
            entries.push_back(std::move(*kept));
    }
    return entries;
}

std::vector<TKeptEntry> ReadListFile(const std::string& path) {
    const std::string text = ReadFileText(path);
    std::vector<TKeptEntry> kept;
    if (text.find(kInfoPrefix) != std::string::npos) {
        kept = ParseListFile(text);
    } else {
        // An older version's list: the entries only, their files read again.
        std::vector<TPlaylistEntry> entries;
        OpenPlaylistEntries(path, entries);
        for (TPlaylistEntry& entry : entries) {
            TKeptEntry& k = kept.emplace_back();
            k.RowText = entry.Title;
            k.Entry = std::move(entry);
        }
        return kept;
    }
    for (TKeptEntry& k : kept) {
        // What was read of a file that changed since is read again.
        if (k.Info.State == TEntryState::Unread || IsUrl(k.Entry.FilePath)) continue;
        if (!StampOf(k.Entry.FilePath).SameContent(k.Info.Stamp) || k.Info.Stamp.Size < 0) {
            k.Info = {};
            k.Entry.Seconds = -1;
        }
    }
    return kept;
}

}  // namespace quillet
