// APEv2: the tag set and the reader of the items before the footer.
#include <cstring>
#include <functional>

#include "ACS_Tags.h"
#include "replay_gain.h"
#include "tags_internal.h"
#include "text.h"

namespace quillet {

using namespace tags_detail;

namespace {

// Item keys in the order of the published properties, with those names.
constexpr TPropertyRow kApeRows[] = {
    {"Artist", "Artist"},
    {"Composer", "Composer"},
    {"Album", "Album"},
    {"DebutAlbum", "Debut album"},
    {"Publisher", "Publisher"},
    {"Conductor", "Conductor"},
    {"Copyright", "Copyright"},
    {"ISBN", "ISBN"},
    {"ISRC", "ISRC"},
    {"BarCode", "EAN/UPC"},
    {"LabelCode", "LC"},
    {"Catalog", "Catalog"},
    {"Language", "Language"},
    {"Genre", "Genre"},
    {"Year", "Year"},
    {"RecordDate", "Record Date"},
    {"RecordLocation", "Record Location"},
    {"File_", "File"},
    {"Related", "Related"},
    {"Abstract", "Abstract"},
    {"Bibliography", "Bibliography"},
    {"Track", "Track"},
    {"Title", "Title"},
    {"SubTitle", "Subtitle"},
    {"Comment", "Comment"},
};

constexpr int kFooterSize = 32;
constexpr int kMaxKey = 511;

int32_t LittleEndian32(const uint8_t* p) {
    return static_cast<int32_t>(uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) |
                                (uint32_t{p[3]} << 24));
}

}  // namespace

TAPEv2Tags::TAPEv2Tags(TComponent* owner) : TAuTags(owner) {
    for (const auto& row : kApeRows) AddField(row.Field);
}

#define QUILLET_WIDE_PROPERTY(Prop, Key)                  \
    std::u16string TAPEv2Tags::Prop() const {             \
        return GetAsWideString(Key);                      \
    }                                                     \
    void TAPEv2Tags::Set##Prop(const std::u16string& v) { \
        SetValue(Key, TTagValue::Wide(v));                \
    }
#define QUILLET_NARROW_PROPERTY(Prop, Key)             \
    std::string TAPEv2Tags::Prop() const {             \
        return GetAsString(Key);                       \
    }                                                  \
    void TAPEv2Tags::Set##Prop(const std::string& v) { \
        SetValue(Key, TTagValue::Narrow(v));           \
    }

QUILLET_WIDE_PROPERTY(Artist, "Artist")
QUILLET_WIDE_PROPERTY(Composer, "Composer")
QUILLET_WIDE_PROPERTY(Album, "Album")
QUILLET_WIDE_PROPERTY(DebutAlbum, "Debut album")
QUILLET_WIDE_PROPERTY(Publisher, "Publisher")
QUILLET_WIDE_PROPERTY(Conductor, "Conductor")
QUILLET_WIDE_PROPERTY(Copyright, "Copyright")
QUILLET_NARROW_PROPERTY(ISBN, "ISBN")
QUILLET_NARROW_PROPERTY(ISRC, "ISRC")
QUILLET_NARROW_PROPERTY(BarCode, "EAN/UPC")
QUILLET_NARROW_PROPERTY(LabelCode, "LC")
QUILLET_NARROW_PROPERTY(Catalog, "Catalog")
QUILLET_WIDE_PROPERTY(Language, "Language")
QUILLET_WIDE_PROPERTY(Genre, "Genre")
QUILLET_NARROW_PROPERTY(Year, "Year")
QUILLET_NARROW_PROPERTY(RecordDate, "Record Date")
QUILLET_WIDE_PROPERTY(RecordLocation, "Record Location")
QUILLET_WIDE_PROPERTY(File_, "File")
QUILLET_WIDE_PROPERTY(Related, "Related")
QUILLET_WIDE_PROPERTY(Abstract, "Abstract")
QUILLET_WIDE_PROPERTY(Bibliography, "Bibliography")
QUILLET_NARROW_PROPERTY(Track, "Track")
QUILLET_WIDE_PROPERTY(Title, "Title")
QUILLET_WIDE_PROPERTY(SubTitle, "Subtitle")
QUILLET_WIDE_PROPERTY(Comment, "Comment")

#undef QUILLET_WIDE_PROPERTY
#undef QUILLET_NARROW_PROPERTY

std::vector<TTagFieldText> TAPEv2Tags::ListFields() const {
    return ListProperties(*this, kApeRows, std::size(kApeRows));
}

void ForEachAPEv2TextItem(TStream& stream,
                          const std::function<void(std::string_view, std::string_view)>& take) {
    const int64_t size = stream.Size();
    uint8_t footer[kFooterSize];
    if (size < kFooterSize || stream.Seek(-kFooterSize, TSeekOrigin::soEnd) < 0 ||
        !stream.ReadExact(footer, kFooterSize))
        return;
    if (std::memcmp(footer, "APETAGEX", 8) != 0 || LittleEndian32(footer + 8) != 2000) return;
    const int32_t tagSize = LittleEndian32(footer + 12);
    const int32_t count = LittleEndian32(footer + 16);
    // A tag larger than the stream has nothing sound to walk.
    if (tagSize < kFooterSize || tagSize > size) return;
    int64_t pos = stream.Seek(-static_cast<int64_t>(tagSize), TSeekOrigin::soEnd);
    if (pos < 0) return;

    std::string value;
    for (int32_t item = 0; item < count; ++item) {
        uint8_t head[8];
        if (!stream.ReadExact(head, 8)) return;
        const int64_t valueSize = static_cast<uint32_t>(LittleEndian32(head));
        const uint32_t flags = static_cast<uint32_t>(LittleEndian32(head + 4));
        pos += 8;
        char key[kMaxKey + 1];
        int keyLen = 0;
        for (;;) {
            char c;
            if (stream.Read(&c, 1) != 1) return;
            ++pos;
            if (c == 0) break;
            if (keyLen == kMaxKey) return;  // longer than any key we keep
            key[keyLen++] = c;
        }
        if (valueSize > size - pos) return;
        value.resize(static_cast<size_t>(valueSize));
        if (!stream.ReadExact(value.data(), valueSize)) return;
        pos += valueSize;
        if ((flags & 6) != 0) continue;  // binary or external item
        take(std::string_view(key, keyLen), value);
    }
}

void ReadAPEv2Tag(TStream& stream, TAPEv2Tags& tags, TReplayGainFields* gain) {
    ForEachAPEv2TextItem(stream, [&](std::string_view k, std::string_view value) {
        if (gain && gain->Take(k, value)) return;
        if (k == "Artist")
            tags.SetArtist(Utf8ToUtf16(value));
        else if (k == "Album")
            tags.SetAlbum(Utf8ToUtf16(value));
        else if (k == "Copyright")
            tags.SetCopyright(Utf8ToUtf16(value));
        else if (k == "Genre")
            tags.SetGenre(Utf8ToUtf16(value));
        else if (k == "Year")
            tags.SetYear(Utf16ToUtf8(Utf8ToUtf16(value)));
        else if (k == "Track")
            tags.SetTrack(Utf16ToUtf8(Utf8ToUtf16(value)));
        else if (k == "Title")
            tags.SetTitle(Utf8ToUtf16(value));
    });
}

}  // namespace quillet
