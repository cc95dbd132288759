#include "input_table.h"

#include <algorithm>
#include <iterator>

#include "ACS_FLAC.h"
#include "ACS_MPC.h"
#include "ACS_Vorbis.h"
#include "ACS_Wave.h"
#include "ACS_WinMedia.h"
#include "ACS_smpeg.h"
#include "paths.h"
#include "text.h"

namespace quillet {
namespace {

struct TInputRow {
    const char* Extension;  // lower case, dot included
    TInputKind Kind;
};

// One row per extension; each decoder's issue adds its rows.
constexpr TInputRow kInputTable[] = {
    {".wav", TInputKind::ikWave},  {".mp3", TInputKind::ikMP3},    {".wma", TInputKind::ikWM},
    {".flac", TInputKind::ikFLAC}, {".ogg", TInputKind::ikVorbis}, {".mpc", TInputKind::ikMPC},
    {".mpp", TInputKind::ikMPC},   {".mp+", TInputKind::ikMPC},
};

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
    const std::string ext = PlayExtension(path);
    const auto row = std::find_if(std::begin(kInputTable), std::end(kInputTable),
                                  [&](const TInputRow& r) { return ext == r.Extension; });
    if (row == std::end(kInputTable)) return std::nullopt;
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
        default:
            return nullptr;
    }
}

}  // namespace quillet
