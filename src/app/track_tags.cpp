#include "track_tags.h"

#include <sys/stat.h>

#include "ACS_FLAC.h"
#include "ACS_Vorbis.h"
#include "input_table.h"
#include "tagged_file_in.h"
#include "text.h"

namespace quillet {
namespace {

void Fill(std::string& field, const std::string& value) {
    if (field.empty()) field = value;
}

template <class Tags>
void FillWide(TTrackTags& out, const Tags& tags) {
    Fill(out.Title, Utf16ToUtf8(tags.Title()));
    Fill(out.Artist, Utf16ToUtf8(tags.Artist()));
    Fill(out.Album, Utf16ToUtf8(tags.Album()));
}

}  // namespace

TTrackTags ReadTrackTags(const std::string& path) {
    TTrackTags out;
    const std::optional<TInputKind> kind = FindInputKind(path);
    struct stat st {};
    // A FIFO or a device named like a sound file would block the open.
    if (!kind || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return out;
    try {
        Owned<TAuFileIn> input(CreateInput(*kind, nullptr));
        if (!input) return out;
        input->SetFileName(path);
        if (!input->IsValid()) return out;
        if (auto* tagged = dynamic_cast<TAuTaggedFileIn*>(input.get())) {
            FillWide(out, tagged->Id3v2Tags());
            FillWide(out, tagged->APEv2Tags());
            const TId3v1Tags& v1 = tagged->Id3v1Tags();
            Fill(out.Title, v1.Title());
            Fill(out.Artist, v1.Artist());
            Fill(out.Album, v1.Album());
        } else if (auto* vorbis = dynamic_cast<TVorbisIn*>(input.get())) {
            FillWide(out, vorbis->VorbisTags());
        } else if (auto* flac = dynamic_cast<TFLACIn*>(input.get())) {
            FillWide(out, flac->VorbisTags());
        }
    } catch (const std::exception&) {
    }
    return out;
}

}  // namespace quillet
