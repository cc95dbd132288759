#include "track_tags.h"

#include <sys/stat.h>

#include <exception>
#include <vector>

#include "ACS_FLAC.h"
#include "ACS_Streams.h"
#include "ACS_Tags.h"
#include "ACS_Vorbis.h"
#include "ACS_WinMedia.h"
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
        const std::optional<TInputKind> kind = FindInputKind(path);
        switch (kind.value_or(TInputKind::ikWave)) {
            case TInputKind::ikVorbis:
            case TInputKind::ikFLAC:
            case TInputKind::ikWM:
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

}  // namespace quillet
