#include "cue_sheet.h"

#include <algorithm>

#include "text.h"

namespace quillet {
namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

// The first word of `rest`, which loses it and the blanks after it.
std::string_view TakeWord(std::string_view& rest) {
    size_t end = 0;
    while (end < rest.size() && !IsBlank(rest[end])) ++end;
    const std::string_view word = rest.substr(0, end);
    rest = Trim(rest.substr(end));
    return word;
}

// A quoted value up to its closing quote (or the line's end), else the rest
// of the line.
std::string_view TakeValue(std::string_view rest) {
    if (rest.empty() || rest[0] != '"') return rest;
    rest.remove_prefix(1);
    const size_t close = rest.find('"');
    return close == std::string_view::npos ? rest : rest.substr(0, close);
}

// FILE's name: a quoted value, or the words before the last one (the type).
std::string_view TakeFileName(std::string_view rest) {
    if (!rest.empty() && rest[0] == '"') return TakeValue(rest);
    size_t last = rest.size();
    while (last > 0 && !IsBlank(rest[last - 1])) --last;
    return last == 0 ? rest : Trim(rest.substr(0, last));
}

// A text value as stored: NUL bytes dropped, at most kMaxCueValueBytes.
std::string CleanValue(std::string_view value) {
    std::string out;
    out.reserve(std::min(value.size(), kMaxCueValueBytes));
    for (char c : value)
        if (c != '\0') out += c;
    if (out.size() > kMaxCueValueBytes) {
        // Back to the start of the character the cut would halve.
        size_t cut = kMaxCueValueBytes;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
        out.resize(cut);
    }
    return out;
}

void SetError(TCueTrack& track, std::string text) {
    if (track.Error.empty()) track.Error = std::move(text);  // the first says most
}

class TCueReader {
  public:
    TCueSheet Read(std::string_view text) {
        // Line by line in place: a huge sheet costs no list of its lines.
        while (!text.empty() && !FTooMany) {
            const size_t end = text.find('\n');
            Line(Trim(text.substr(0, end)));
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        }
        FinishTrack();
        if (FSheet.Tracks.empty()) FSheet.Problems.emplace_back("the sheet has no tracks");
        return std::move(FSheet);
    }

  private:
    void Line(std::string_view rest) {
        const std::string_view command = TakeWord(rest);
        TCueTrack* track = FSheet.Tracks.empty() ? nullptr : &FSheet.Tracks.back();
        if (SameTextAscii(command, "FILE")) {
            FSheet.Files.emplace_back(TakeFileName(rest));
        } else if (SameTextAscii(command, "TRACK")) {
            Track(rest);
        } else if (SameTextAscii(command, "INDEX")) {
            if (track == nullptr) return;  // outside a track: nothing to mark
            Index(*track, rest);
        } else if (SameTextAscii(command, "PREGAP") || SameTextAscii(command, "POSTGAP")) {
            if (track == nullptr) return;
            const std::optional<int64_t> frames = ParseCueTime(TakeWord(rest));
            // Only silence the file lacks: a bad one costs nothing to skip.
            if (!frames) return Note(*track, "bad " + AsciiUpper(command) + " time, ignored");
            (SameTextAscii(command, "PREGAP") ? track->Pregap : track->Postgap) =
                *frames * kFlicksPerCueFrame;
        } else if (SameTextAscii(command, "TITLE")) {
            (track ? track->Title : FSheet.Title) = CleanValue(TakeValue(rest));
        } else if (SameTextAscii(command, "PERFORMER")) {
            (track ? track->Performer : FSheet.Performer) = CleanValue(TakeValue(rest));
        } else if (SameTextAscii(command, "REM")) {
            Rem(track, rest);
        }
    }

    void Track(std::string_view rest) {
        FinishTrack();
        if (FSheet.Tracks.size() == kMaxCueTracks) {
            FSheet.Problems.push_back("more than " + std::to_string(kMaxCueTracks) +
                                      " tracks: the rest of the sheet is not read");
            FTooMany = true;
            return;
        }
        TCueTrack& track = FSheet.Tracks.emplace_back();
        FTrackOpen = true;
        const std::string_view number = TakeWord(rest);
        const std::optional<int> n = ParseWholeNumber<int>(number);
        if (n && *n >= 0 && number.size() <= 4)
            track.Number = *n;
        else
            SetError(track, "bad track number");
        track.Audio = SameTextAscii(TakeWord(rest), "AUDIO");
        FIndex00File = std::string::npos;
    }

    void Index(TCueTrack& track, std::string_view rest) {
        const std::string_view number = TakeWord(rest);
        const std::optional<int64_t> frames = ParseCueTime(TakeWord(rest));
        if (!frames) return SetError(track, "bad INDEX time");
        if (FSheet.Files.empty()) return SetError(track, "INDEX before any FILE");
        const size_t file = FSheet.Files.size() - 1;
        const int64_t at = *frames * kFlicksPerCueFrame;
        if (number == "00" || number == "0") {
            FIndex00File = file;
            FIndex00 = at;
        } else if (number == "01" || number == "1") {
            // A ripper that left out a TRACK line: the first INDEX 01 is
            // the one this track was written for.
            if (track.Start >= 0)
                return Note(track, "a second INDEX 01 (a missing TRACK line?), ignored");
            if (FIndex00File == file && FIndex00 > at)
                SetError(track, "INDEX 01 comes before INDEX 00");
            track.File = file;
            track.Start = at;
        }
    }

    void Note(const TCueTrack& track, const std::string& text) {
        FSheet.Notes.push_back("track " + std::to_string(track.Number) + ": " + text);
    }

    void Rem(TCueTrack* track, std::string_view rest) {
        const std::string_view key = TakeWord(rest);
        const std::string_view value = TakeValue(rest);
        if ((track ? track->Gain : FSheet.Gain).Take(key, value)) return;
        if (track) return;  // the other fields describe the album
        if (SameTextAscii(key, "GENRE"))
            FSheet.Genre = CleanValue(value);
        else if (SameTextAscii(key, "DATE"))
            FSheet.Date = CleanValue(value);
        else if (SameTextAscii(key, "DISCNUMBER"))
            FSheet.DiscNumber = CleanValue(value);
    }

    // Checks the track just ended against the last playable one of its file.
    void FinishTrack() {
        if (!FTrackOpen) return;
        FTrackOpen = false;
        TCueTrack& track = FSheet.Tracks.back();
        // Rippers that write one file per track may mark only INDEX 00: the
        // track then starts there.
        if (track.Start < 0 && FIndex00File != std::string::npos && track.Error.empty()) {
            track.File = FIndex00File;
            track.Start = FIndex00;
        }
        if (track.Start < 0) SetError(track, "no INDEX 01");
        // Data tracks are checked too: they bound the audio tracks beside them.
        if (!track.Error.empty()) return;
        if (FLastFile == track.File && track.Start <= FLastStart)
            return SetError(track, "INDEX 01 does not come after the previous track's");
        FLastFile = track.File;
        FLastStart = track.Start;
    }

    TCueSheet FSheet;
    bool FTooMany = false;
    bool FTrackOpen = false;                  // the last track is still being read
    size_t FIndex00File = std::string::npos;  // the current track's INDEX 00, if any
    int64_t FIndex00 = 0;
    size_t FLastFile = std::string::npos;  // the last good track's file and start
    int64_t FLastStart = 0;
};

}  // namespace

std::optional<int64_t> ParseCueTime(std::string_view text) {
    const size_t c1 = text.find(':');
    const size_t c2 = c1 == std::string_view::npos ? c1 : text.find(':', c1 + 1);
    if (c2 == std::string_view::npos) return std::nullopt;
    const std::string_view parts[] = {text.substr(0, c1), text.substr(c1 + 1, c2 - c1 - 1),
                                      text.substr(c2 + 1)};
    int64_t v[3];
    for (int i = 0; i < 3; ++i) {
        const std::string_view p = parts[i];
        if (p.empty() || p.size() > (i == 0 ? 6u : 2u) ||
            p.find_first_not_of("0123456789") != std::string_view::npos)
            return std::nullopt;
        v[i] = std::stoll(std::string(p));
    }
    if (v[1] > 59 || v[2] > 74) return std::nullopt;
    return (v[0] * 60 + v[1]) * 75 + v[2];
}

TCueSheet ParseCueSheet(std::string_view text) {
    return TCueReader().Read(text);
}

}  // namespace quillet
