#include "input_table.h"

#include <algorithm>
#include <iterator>

#include "ACS_FLAC.h"
#include "ACS_MPC.h"
#include "ACS_Vorbis.h"
#include "ACS_Wave.h"
#include "ACS_WinMedia.h"
#include "ACS_smpeg.h"
#include "ffmpeg_input.h"
#include "paths.h"
#include "stream_input.h"
#include "text.h"

namespace quillet {
namespace {

struct TInputRow {
    const char* Extension;  // lower case, dot included
    TInputKind Kind;
    const char* Group;  // the Add-file filter's description; rows in a row share one pair
    bool Dropped;       // taken from a drop
};

using K = TInputKind;

// One row per extension; each decoder's issue adds its rows.
constexpr TInputRow kInputTable[] = {
    {".mp3", K::ikMP3, "MP3 Files", true},
    {".ogg", K::ikVorbis, "Vorbis Files (ogg)", true},
    {".flac", K::ikFLAC, "FLAC Files ", true},
    {".wma", K::ikWM, "WMA File", false},
    {".wav", K::ikWave, "WAV Files", true},
    {".mpc", K::ikMPC, "MusePack Files (mpc)", true},
    {".mpp", K::ikMPC, "MusePack Files (mpc)", true},
    {".mp+", K::ikMPC, "MusePack Files (mpc)", true},
    {".opus", K::ikFFmpeg, "Opus and Ogg Files (opus, oga, spx)", true},
    {".oga", K::ikFFmpeg, "Opus and Ogg Files (opus, oga, spx)", true},
    {".spx", K::ikFFmpeg, "Opus and Ogg Files (opus, oga, spx)", true},
    {".m4a", K::ikFFmpeg, "AAC and ALAC Files (m4a, aac)", true},
    {".m4b", K::ikFFmpeg, "AAC and ALAC Files (m4a, aac)", true},
    {".mp4", K::ikFFmpeg, "AAC and ALAC Files (m4a, aac)", true},
    {".aac", K::ikFFmpeg, "AAC and ALAC Files (m4a, aac)", true},
    {".alac", K::ikFFmpeg, "AAC and ALAC Files (m4a, aac)", true},
    {".aif", K::ikFFmpeg, "AIFF Files", true},
    {".aiff", K::ikFFmpeg, "AIFF Files", true},
    {".aifc", K::ikFFmpeg, "AIFF Files", true},
    {".wv", K::ikFFmpeg, "WavPack Files", true},
    {".ape", K::ikFFmpeg, "Monkey's Audio Files (ape)", true},
    {".mp2", K::ikFFmpeg, "MPEG Audio Files (mp1, mp2)", true},
    {".mpa", K::ikFFmpeg, "MPEG Audio Files (mp1, mp2)", true},
    {".mp1", K::ikFFmpeg, "MPEG Audio Files (mp1, mp2)", true},
    {".tta", K::ikFFmpeg, "TTA Files", true},
    {".caf", K::ikFFmpeg, "Other Sound Files (caf, w64, au, dsf)", true},
    {".w64", K::ikFFmpeg, "Other Sound Files (caf, w64, au, dsf)", true},
    {".au", K::ikFFmpeg, "Other Sound Files (caf, w64, au, dsf)", true},
    {".snd", K::ikFFmpeg, "Other Sound Files (caf, w64, au, dsf)", true},
    {".dsf", K::ikFFmpeg, "Other Sound Files (caf, w64, au, dsf)", true},
};

const TInputRow* FindRow(std::string_view ext) {
    const auto row = std::find_if(std::begin(kInputTable), std::end(kInputTable),
                                  [&](const TInputRow& r) { return ext == r.Extension; });
    return row == std::end(kInputTable) ? nullptr : row;
}

}  // namespace

std::string PlayExtension(std::string_view path) {
    return AsciiLower(ExtractExtension(path).substr(0, 5));
}

std::vector<std::string> PlayableExtensions() {
    std::vector<std::string> extensions;
    for (const TInputRow& row : kInputTable) extensions.emplace_back(row.Extension);
    return extensions;
}

std::optional<TInputKind> FindInputKind(std::string_view path) {
    if (IsUrl(path)) return TInputKind::ikStream;
    const TInputRow* row = FindRow(PlayExtension(path));
    if (!row) return std::nullopt;
    return row->Kind;
}

TAuFileIn* CreateInput(TInputKind kind, TComponent* owner) {
    switch (kind) {
        case TInputKind::ikWave:
            return new TWaveIn(owner);
        case TInputKind::ikMP3:
            return new TMP3In(owner);
        case TInputKind::ikWM:
            return new TWMIn(owner);
        case TInputKind::ikFLAC:
            return new TFLACIn(owner);
        case TInputKind::ikVorbis:
            return new TVorbisIn(owner);
        case TInputKind::ikMPC:
            return new TMPCIn(owner);
        case TInputKind::ikFFmpeg:
            return new TFFmpegIn(owner);
        case TInputKind::ikStream:
            return new TStreamIn(owner);
        default:
            return nullptr;
    }
}

const std::string& SoundFileFilter() {
    static const std::string filter = [] {
        std::string f;
        std::string_view group;
        for (const TInputRow& r : kInputTable) {
            if (r.Group != group) {
                if (!group.empty()) f += '|';
                group = r.Group;
                f.append(group).append("|");
            } else {
                f += ';';
            }
            f.append("*").append(r.Extension);
        }
        // "*": on Linux "*.*" would hide every file without a dot.
        return f + "|All files|*";
    }();
    return filter;
}

bool IsDropExtension(std::string_view path) {
    // Compared exactly, letter case included (Play lower-cases; a drop does not).
    const std::string ext = Utf8Left(ExtractExtension(path), 5);
    const TInputRow* row = FindRow(ext);
    return row && row->Dropped;
}

}  // namespace quillet
