#include "cue_entries.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>

#include "embedded_sheet.h"
#include "paths.h"
#include "text.h"
#include "text_encoding.h"

namespace quillet {
namespace {

// flicks for a sample of `rate`, rounded up, so that FlicksToFrames gives
// the sample back exactly at any rate below the flick rate.
int64_t SampleToFlicks(int64_t sample, uint32_t rate) {
    const __int128 f = static_cast<__int128>(sample) * kFlicksPerSecond;
    return static_cast<int64_t>((f + rate - 1) / rate);
}

// "" for a regular file other than the sheet; else why it cannot be played.
// `missing` is set when nothing is there.
std::string CheckFile(const std::string& path, const struct stat& sheet, bool& missing) {
    struct stat st {};
    missing = ::stat(path.c_str(), &st) != 0;
    if (missing) return "FILE names a missing file";
    if (S_ISDIR(st.st_mode)) return "FILE names a folder";
    if (!S_ISREG(st.st_mode)) return "FILE names a FIFO, device or socket, not a file";
    if (st.st_dev == sheet.st_dev && st.st_ino == sheet.st_ino)
        return "FILE names the sheet itself";
    return {};
}

std::string TrackTitle(const TEntryTags& tags) {
    return CutTitle(tags.Artist.empty() ? tags.Title : tags.Artist + " - " + tags.Title);
}

// The entries of a parsed sheet: `fileOf(i)` is the path of FILE i, or ""
// with the reason in `why`.
template <class FileOf>
void SheetEntries(const TCueSheet& sheet, const std::vector<std::string>& comments, FileOf fileOf,
                  std::vector<TPlaylistEntry>& entries, std::vector<std::string>& problems) {
    for (const std::string& p : sheet.Problems) problems.push_back(p);
    auto orComment = [&](const std::string& value, std::string_view key) {
        return value.empty() ? CommentValue(comments, key) : value;
    };
    const std::string album = orComment(sheet.Title, "ALBUM");
    const std::string artist = orComment(sheet.Performer, "ARTIST");
    const std::string genre = orComment(sheet.Genre, "GENRE");
    const std::string date = orComment(orComment(sheet.Date, "DATE"), "YEAR");
    const std::string disc = orComment(sheet.DiscNumber, "DISCNUMBER");
    const TReplayGain albumGain = sheet.Gain.Result();
    const size_t count = sheet.Tracks.size();
    // The good tracks of one file tile it: each one's neighbours in its file.
    std::vector<size_t> prev(count, SIZE_MAX), next(count, SIZE_MAX);
    std::map<size_t, size_t> lastOf;  // FILE index -> its last good track so far
    for (size_t i = 0; i < count; ++i) {
        if (!sheet.Tracks[i].Error.empty()) continue;
        auto [at, added] = lastOf.try_emplace(sheet.Tracks[i].File, i);
        if (!added) {
            prev[i] = at->second;
            next[at->second] = i;
            at->second = i;
        }
    }
    std::map<size_t, std::pair<std::string, std::string>> files;  // FILE index -> path, reason
    for (size_t i = 0; i < count; ++i) {
        const TCueTrack& t = sheet.Tracks[i];
        const std::string label = "track " + std::to_string(t.Number) + ": ";
        if (!t.Error.empty()) {
            problems.push_back(label + t.Error);
            continue;
        }
        if (!t.Audio) continue;  // a data track has no sound to play
        auto known = files.find(t.File);
        if (known == files.end()) {
            std::string why;
            std::string path = fileOf(t.File, why);
            known = files.emplace(t.File, std::make_pair(std::move(path), std::move(why))).first;
        }
        if (!known->second.second.empty()) {
            problems.push_back(label + known->second.second);
            continue;
        }
        TPlaylistEntry& e = entries.emplace_back();
        e.FilePath = known->second.first;
        e.Range.Start = prev[i] == SIZE_MAX ? 0 : t.Start;
        e.Range.End = next[i] == SIZE_MAX ? -1 : sheet.Tracks[next[i]].Start;
        auto tags = std::make_shared<TEntryTags>();
        tags->Track = t.Number;
        tags->Title = t.Title.empty() ? "Track " + std::string(t.Number < 10 ? "0" : "") +
                                            std::to_string(t.Number)
                                      : t.Title;
        tags->Artist = t.Performer.empty() ? artist : t.Performer;
        tags->Album = album;
        tags->Genre = genre;
        tags->Date = date;
        tags->DiscNumber = disc;
        const TReplayGain own = t.Gain.Result();
        tags->Gain.Track = own.Track;
        tags->Gain.Album = own.Album ? own.Album : albumGain.Album;
        tags->Pregap = t.Pregap;
        tags->Postgap = t.Postgap;
        e.Title = TrackTitle(*tags);
        e.Tags = std::move(tags);
    }
}

// A sheet read from the block of sample positions a FLAC file carries.
TCueSheet SheetFromBlock(const TEmbeddedSheet& embedded) {
    TCueSheet sheet;
    sheet.Files.emplace_back();
    for (const TFlacCueTrack& b : embedded.Block) {
        TCueTrack& t = sheet.Tracks.emplace_back();
        t.Number = b.Number;
        t.Audio = b.Audio;
        t.File = 0;
        if (b.Start < 0)
            t.Error = "no INDEX 01";
        else
            t.Start = SampleToFlicks(b.Start, embedded.SampleRate);
        if (sheet.Tracks.size() > 1 && t.Error.empty()) {
            for (size_t k = sheet.Tracks.size() - 1; k-- > 0;)
                if (sheet.Tracks[k].Error.empty()) {
                    if (sheet.Tracks[k].Start >= t.Start)
                        t.Error = "INDEX 01 does not come after the previous track's";
                    break;
                }
        }
    }
    if (sheet.Tracks.empty()) sheet.Problems.emplace_back("the sheet has no tracks");
    return sheet;
}

// How many of the sheet's FILE names lead to a file that is there.
size_t ExistingFiles(const std::string& sheetPath, const std::vector<std::string>& names,
                     const std::vector<std::string>& playable) {
    size_t found = 0;
    for (const std::string& name : names) {
        std::string path;
        struct stat st {};
        if (ResolveSheetFile(sheetPath, name, playable, path).empty() &&
            ::stat(path.c_str(), &st) == 0)
            ++found;
    }
    return found;
}

// A sheet in a legacy code page that the guess read wrong names files that
// are not there: the folder is the judge. The first likely code page under
// which more of its FILE names exist is taken for the whole sheet (titles
// too). Sheets are small: one of more files than a disc has tracks, or far
// larger than any, is not read again.
void JudgeByFolder(const std::string& sheetPath, std::string_view rawText,
                   const std::vector<std::string>& playable, TCueSheet& sheet) {
    constexpr size_t kMaxJudgedBytes = size_t{1} << 20;
    constexpr size_t kMaxJudgedFiles = 99;
    if (sheet.Files.empty() || sheet.Files.size() > kMaxJudgedFiles ||
        rawText.size() > kMaxJudgedBytes)
        return;
    size_t best = ExistingFiles(sheetPath, sheet.Files, playable);
    for (const std::string& page : LikelyCodePages()) {
        if (best == sheet.Files.size()) return;
        const std::optional<std::string> text = DecodeAs(rawText, page);
        if (!text) continue;
        TCueSheet other = ParseCueSheet(*text);
        if (const size_t found = ExistingFiles(sheetPath, other.Files, playable); found > best) {
            best = found;
            sheet = std::move(other);
        }
    }
}

}  // namespace

std::string ResolveSheetFile(const std::string& sheetPath, std::string_view name,
                             const std::vector<std::string>& playable, std::string& path) {
    path.clear();
    if (name.empty()) return "FILE names no file";
    if (name.find('\0') != std::string_view::npos) return "FILE name holds a NUL byte";
    if (name.find("://") != std::string_view::npos) return "FILE names a URL, not a local file";
    struct stat sheet {};
    if (::stat(sheetPath.c_str(), &sheet) != 0) sheet = {};
    const std::string folder = ExtractFilePath(sheetPath);
    const std::string named = ResolveEntryPath(folder, name);
    bool missing = false;
    std::string why = CheckFile(named, sheet, missing);
    if (!missing) {
        if (why.empty()) path = named;
        return why;
    }
    // The same base name with another extension, here or in the sheet's own
    // folder (a sheet written where the file had another folder).
    std::vector<std::string> candidates;
    auto withOtherExtensions = [&](const std::string& file) {
        const std::string base = file.substr(0, file.size() - ExtractExtension(file).size());
        for (const std::string& ext : playable) {
            candidates.push_back(base + ext);
            candidates.push_back(base + AsciiUpper(ext));
        }
    };
    withOtherExtensions(named);
    const std::string here = ResolveEntryPath(folder, FileNamePart(name));
    if (here != named) {
        candidates.push_back(here);
        withOtherExtensions(here);
    }
    path = named;  // when none is there: kept, as other playlists keep missing files
    for (const std::string& candidate : candidates) {
        if (candidate != named && CheckFile(candidate, sheet, missing).empty()) {
            path = candidate;
            break;
        }
    }
    return {};
}

void ReadCueSheetEntries(const std::string& sheetPath, std::string_view text,
                         std::string_view rawText, const std::vector<std::string>& playable,
                         std::vector<TPlaylistEntry>& entries, std::vector<std::string>& problems,
                         std::vector<std::string>* notes) {
    TCueSheet sheet = ParseCueSheet(text);
    std::vector<std::string> rawFiles;
    if (!rawText.empty()) rawFiles = ParseCueSheet(rawText).Files;
    // Only names beyond ASCII read otherwise in another code page.
    const bool legacyNames = std::any_of(rawFiles.begin(), rawFiles.end(),
                                         [](const std::string& f) { return !IsAscii(f); });
    if (legacyNames) JudgeByFolder(sheetPath, rawText, playable, sheet);
    if (notes) notes->insert(notes->end(), sheet.Notes.begin(), sheet.Notes.end());
    if (rawFiles.size() != sheet.Files.size()) rawFiles.clear();
    auto fileOf = [&](size_t i, std::string& why) {
        if (i >= sheet.Files.size()) return why = "INDEX before any FILE", std::string();
        std::string path;
        why = ResolveSheetFile(sheetPath, sheet.Files[i], playable, path);
        struct stat st {};
        // A name written in the sheet's own code page may be the one on disk.
        if (why.empty() && !rawFiles.empty() && ::stat(path.c_str(), &st) != 0) {
            std::string raw;
            if (ResolveSheetFile(sheetPath, rawFiles[i], playable, raw).empty() &&
                ::stat(raw.c_str(), &st) == 0)
                path = raw;
        }
        return path;
    };
    SheetEntries(sheet, {}, fileOf, entries, problems);
}

std::vector<TPlaylistEntry> FileEntries(const std::string& path,
                                        std::vector<std::string>* problems) {
    std::vector<TPlaylistEntry> entries;
    std::vector<std::string> found;
    const TEmbeddedSheet embedded = ReadEmbeddedSheet(path);
    auto host = [&](size_t, std::string&) { return path; };
    if (!embedded.Text.empty()) {
        // Its FILE line, if any, names this file under some other name.
        TCueSheet sheet = ParseCueSheet(embedded.Text);
        if (sheet.Files.empty()) sheet = ParseCueSheet("FILE \"\" WAVE\n" + embedded.Text);
        // Its times count from this file's start: a sheet of several files
        // does not describe it.
        if (sheet.Files.size() > 1) {
            found.emplace_back("the embedded sheet names several files");
        } else {
            SheetEntries(sheet, embedded.Comments, host, entries, found);
        }
    }
    if (entries.empty() && !embedded.Block.empty() && embedded.SampleRate > 0) {
        found.clear();
        SheetEntries(SheetFromBlock(embedded), embedded.Comments, host, entries, found);
    }
    if (problems)
        for (std::string& p : found) problems->push_back("embedded sheet: " + std::move(p));
    if (entries.empty()) {
        TPlaylistEntry& e = entries.emplace_back();
        e.Title = CutTitle(FileNamePart(path));
        e.FilePath = path;
    }
    return entries;
}

std::map<std::string, std::vector<TPlaylistEntry>> FolderSheets(
    const std::string& folder, const std::vector<std::string>& names,
    const std::vector<std::string>& playable, std::set<std::string>& covered) {
    std::map<std::string, std::vector<TPlaylistEntry>> sheets;
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + '/';
    const std::set<std::string> here(names.begin(), names.end());
    for (const std::string& name : names) {
        if (!SameTextAscii(ExtractExtension(name), ".cue")) continue;
        std::vector<TPlaylistEntry> entries;
        TPlaylistOpen open;
        open.PlayableExtensions = playable;
        try {
            OpenPlaylistEntries(prefix + name, entries, nullptr, &open);
        } catch (const std::exception&) {
            continue;  // unreadable: the folder's files are added as they are
        }
        std::vector<std::string> plays;  // its files in this folder, new ones
        for (const TPlaylistEntry& e : entries) {
            const std::string file(FileNamePart(e.FilePath));
            if (ExtractFilePath(e.FilePath) == prefix && here.count(file) && !covered.count(file))
                plays.push_back(file);
        }
        if (plays.empty()) continue;
        covered.insert(plays.begin(), plays.end());
        const std::string first = *std::min_element(
            plays.begin(), plays.end(), [&](const std::string& a, const std::string& b) {
                return std::find(names.begin(), names.end(), a) <
                       std::find(names.begin(), names.end(), b);
            });
        auto& at = sheets[first];
        at.insert(at.end(), entries.begin(), entries.end());
    }
    return sheets;
}

}  // namespace quillet
