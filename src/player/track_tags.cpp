#include "track_tags.h"

#include <sys/stat.h>

#include <exception>
#include <vector>

#include "ACS_FLAC.h"
#include "ACS_Streams.h"
#include "ACS_Tags.h"
#include "ACS_Vorbis.h"
#include "ACS_WinMedia.h"
#include "content_sniff.h"
#include "input_table.h"
#include "text.h"

namespace quillet {
namespace {

template <class Tags>
TTrackTags Wide(const Tags& tags) {
    return {Utf16ToUtf8(tags.Title()), Utf16ToUtf8(tags.Artist()), Utf16ToUtf8(tags.Album())};
}

// ID3v2 at the start of the file, then APEv2 and ID3v1 at its end.
void AddFileSets(const std::string& path, std::vector<TTrackTags>& sets) {
    TAuFileStream file(path, fmOpenRead | fmShareDenyWrite);
    TId3v2Tags id3v2;
    if (id3v2.ReadFromFile(file.Handle())) sets.push_back(Wide(id3v2));
    TAPEv2Tags apev2;
    ReadAPEv2Tag(file, apev2);
    sets.push_back(Wide(apev2));
    TId3v1Tags id3v1;
    if (id3v1.ReadFromFile(file.Handle()))
        sets.push_back({id3v1.Title(), id3v1.Artist(), id3v1.Album()});
}

// What the file's input finds while it opens.
void AddInputSet(const std::string& path, TInputKind kind, std::vector<TTrackTags>& sets) {
    Owned<TAuFileIn> input(CreateInput(kind, nullptr));
    if (!input) return;
    input->SetFileName(path);
    if (!input->IsValid()) return;
    if (auto* wm = dynamic_cast<TWMIn*>(input.get())) sets.push_back(Wide(wm->Id3v2Tags()));
    if (auto* ogg = dynamic_cast<TVorbisIn*>(input.get())) sets.push_back(Wide(ogg->VorbisTags()));
    if (auto* flac = dynamic_cast<TFLACIn*>(input.get())) sets.push_back(Wide(flac->VorbisTags()));
}

}  // namespace

TTrackTags ReadTrackTags(const std::string& path) {
    struct stat st {};
    // A FIFO or a device named like a sound file would block the open.
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    std::vector<TTrackTags> sets;  // in order of precedence
    try {
        const std::optional<TInputKind> kind = InputKindFor(path);
        switch (kind.value_or(TInputKind::ikWave)) {
            case TInputKind::ikVorbis:
            case TInputKind::ikFLAC:
            case TInputKind::ikWM:
            case TInputKind::ikFFmpeg:  // Opus, M4A...: the fields FFmpeg reads
                AddInputSet(path, *kind, sets);
                break;
            case TInputKind::ikMP3:
                AddFileSets(path, sets);
                AddInputSet(path, *kind, sets);
                break;
            default:
                AddFileSets(path, sets);
                break;
        }
    } catch (const std::exception&) {
        // Unreadable, or a codec library missing: what was read so far.
    }
    // The first set with a title gives all three: an artist from another
    // set would name someone else's song.
    for (const TTrackTags& set : sets)
        if (!set.Title.empty()) return set;
    TTrackTags some;
    for (const TTrackTags& set : sets) {
        if (some.Artist.empty()) some.Artist = set.Artist;
        if (some.Album.empty()) some.Album = set.Album;
    }
    return some;
}

std::string OneLine(std::string_view text) {
    std::u16string line;
    for (char16_t c : Utf8ToUtf16(text)) {
        // An embedding, override or isolate left open would turn the text
        // after it around, in the caption too: the text's own direction is
        // enough to show it.
        if ((c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)) continue;
        const bool breaks = c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029;
        line += breaks ? u' ' : c;
    }
    return std::string(Trim(Utf16ToUtf8(line)));
}

std::string JoinTagTitle(std::string_view artist, std::string_view title) {
    const std::string t = OneLine(title);
    if (t.empty()) return {};
    const std::string a = OneLine(artist);
    return a.empty() ? t : a + " - " + t;
}

std::string ReadTagTitle(const std::string& path) {
    const TTrackTags tags = ReadTrackTags(path);
    return JoinTagTitle(tags.Artist, tags.Title);
}

}  // namespace quillet
