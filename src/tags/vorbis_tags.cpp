// Vorbis comments: the six-field set and the two ways the decoders fill it.
#include <algorithm>

#include "ACS_Tags.h"
#include "replay_gain.h"
#include "tags_internal.h"
#include "text.h"

namespace quillet {

using namespace tags_detail;

namespace {

constexpr TPropertyRow kVorbisRows[] = {{"Album", "album"}, {"Artist", "artist"},
                                        {"Date", "date"},   {"Genre", "genre"},
                                        {"Title", "title"}, {"Track", "tracknumber"}};

// Splits KEY=value at the first "="; no "=" gives an empty key.
std::pair<std::string_view, std::string_view> SplitComment(std::string_view c) {
    size_t eq = c.find('=');
    if (eq == std::string_view::npos) return {};
    return {c.substr(0, eq), c.substr(eq + 1)};
}

}  // namespace

TVorbisTags::TVorbisTags(TComponent* owner) : TAuTags(owner) {
    for (const auto& row : kVorbisRows) AddField(row.Field);
}

std::u16string TVorbisTags::Album() const {
    return GetAsWideString("album");
}
void TVorbisTags::SetAlbum(const std::u16string& v) {
    SetValue("album", TTagValue::Wide(v));
}
std::u16string TVorbisTags::Artist() const {
    return GetAsWideString("artist");
}
void TVorbisTags::SetArtist(const std::u16string& v) {
    SetValue("artist", TTagValue::Wide(v));
}
std::u16string TVorbisTags::Date() const {
    return GetAsWideString("date");
}
void TVorbisTags::SetDate(const std::u16string& v) {
    SetValue("date", TTagValue::Wide(v));
}
std::u16string TVorbisTags::Genre() const {
    return GetAsWideString("genre");
}
void TVorbisTags::SetGenre(const std::u16string& v) {
    SetValue("genre", TTagValue::Wide(v));
}
std::u16string TVorbisTags::Title() const {
    return GetAsWideString("title");
}
void TVorbisTags::SetTitle(const std::u16string& v) {
    SetValue("title", TTagValue::Wide(v));
}
std::u16string TVorbisTags::Track() const {
    return GetAsWideString("tracknumber");
}
void TVorbisTags::SetTrack(const std::u16string& v) {
    SetValue("tracknumber", TTagValue::Wide(v));
}

std::vector<TTagFieldText> TVorbisTags::ListFields() const {
    return ListProperties(*this, kVorbisRows, std::size(kVorbisRows));
}

void FillVorbisTagsOgg(TVorbisTags& tags, const std::vector<std::string>& comments) {
    tags.Clear();
    for (const std::string& c : comments) {
        auto [key, value] = SplitComment(c);
        if (key.empty()) continue;
        for (const auto& row : kVorbisRows) {
            if (SameTextAscii(key, row.Field)) {
                tags.SetValue(row.Field, TTagValue::Wide(Utf8ToUtf16(value)));
                break;
            }
        }
    }
}

void FillVorbisTagsFlac(TVorbisTags& tags, const std::vector<std::string>& comments) {
    tags.Clear();
    for (const auto& row : kVorbisRows) {
        std::string_view found;
        for (const std::string& c : comments) {
            auto [key, value] = SplitComment(c);
            if (!key.empty() && SameTextAscii(key, row.Field)) {
                found = value;
                break;
            }
        }
        tags.SetValue(row.Field, TTagValue::Wide(Utf8ToUtf16(found)));
    }
}

TReplayGain ReplayGainFromComments(const std::vector<std::string>& comments) {
    TReplayGainFields fields;
    for (const std::string& c : comments) {
        auto [key, value] = SplitComment(c);
        fields.Take(key, value);
    }
    return fields.Result();
}

}  // namespace quillet
