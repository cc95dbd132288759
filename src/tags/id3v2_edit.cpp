#include "id3v2_edit.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "text.h"
#include "text_encoding.h"

namespace quillet::tags_detail {
namespace {

constexpr size_t kHeaderSize = 10;
// Room for a later edit of a few fields without moving the audio.
constexpr size_t kPadding = 1024;
constexpr uint8_t kV24Unsync = 0x02;
// A hostile tag of millions of tiny frames costs no more than this many
// strings in the code-page guess; the rest read as ISO-8859-1.
constexpr size_t kMaxGuessedStrings = 4096;

// The frames of each key, 2.3/2.4 and 2.2: the first is the one written.
struct TKeyFrames {
    const char* Long;
    const char* Short;
};
constexpr TKeyFrames kKeyFrames[kTagKeyCount] = {{"TIT2", "TT2"}, {"TPE1", "TP1"}, {"TALB", "TAL"},
                                                 {"TPE2", "TP2"}, {"TRCK", "TRK"}, {"TPOS", "TPA"},
                                                 {"TDRC", "TYE"}, {"TCON", "TCO"}, {"COMM", "COM"}};
// The frames a date replaces (2.3 splits it in three; 2.4 has a release time).
constexpr const char* kDateFrames[] = {"TDRC", "TYER", "TDAT", "TIME", "TRDA", "TYE", "TDA", "TIM"};

bool IsCommentFrame(std::string_view id) {
    return id == "COMM" || id == "COM" || id == "USLT" || id == "ULT";
}
bool IsTextLike(std::string_view id) {
    return (!id.empty() && id[0] == 'T') || IsCommentFrame(id);
}
size_t LanguageBytes(std::string_view id) {
    return IsCommentFrame(id) ? 3 : 0;
}

std::vector<std::string_view> SplitAtNul(std::string_view s) {
    std::vector<std::string_view> out;
    size_t start = 0;
    for (;;) {
        const size_t nul = s.find('\0', start);
        if (nul == s.npos) {
            if (start < s.size()) out.push_back(s.substr(start));
            return out;
        }
        out.push_back(s.substr(start, nul - start));
        start = nul + 1;
    }
}

void PutBE32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Text in the tag's Unicode encoding: UTF-8 (3) in 2.4, UTF-16 with a byte
// order mark (1) in 2.3, the strings separated by NULs.
void PutText(std::vector<uint8_t>& out, int version, const std::vector<std::string>& strings) {
    for (size_t i = 0; i < strings.size(); ++i) {
        if (version == 4) {
            if (i > 0) out.push_back(0);
            out.insert(out.end(), strings[i].begin(), strings[i].end());
        } else {
            if (i > 0) out.insert(out.end(), {0, 0});
            out.insert(out.end(), {0xFF, 0xFE});
            for (char16_t c : Utf8ToUtf16(strings[i])) {
                out.push_back(static_cast<uint8_t>(c & 0xFF));
                out.push_back(static_cast<uint8_t>(c >> 8));
            }
        }
    }
    // A last empty string needs its terminator to be read back at all.
    if (strings.size() > 1 && strings.back().empty()) {
        out.push_back(0);
        if (version != 4) out.push_back(0);
    }
}

class TTagBuilder {
  public:
    explicit TTagBuilder(int version) : FVersion(version), FOut(kHeaderSize, 0) {}

    // A frame of `payload` with the given flag bytes; false when too large.
    bool Frame(std::string_view id, const uint8_t* payload, size_t size, uint8_t status = 0,
               uint8_t format = 0) {
        if (size >= (size_t{1} << 28) || FOut.size() + size > (size_t{1} << 28) - kPadding)
            return false;
        FOut.insert(FOut.end(), id.begin(), id.end());
        if (FVersion == 4) {
            uint8_t s[4];
            PutSynchsafe(s, static_cast<uint32_t>(size));
            FOut.insert(FOut.end(), s, s + 4);
        } else {
            PutBE32(FOut, static_cast<uint32_t>(size));
        }
        FOut.push_back(status);
        FOut.push_back(format);
        FOut.insert(FOut.end(), payload, payload + size);
        return true;
    }
    bool TextFrame(std::string_view id, const std::vector<std::string>& strings,
                   std::string_view language = {}, uint8_t status = 0) {
        std::vector<uint8_t> p{static_cast<uint8_t>(FVersion == 4 ? 3 : 1)};
        p.insert(p.end(), language.begin(), language.end());
        PutText(p, FVersion, strings);
        return Frame(id, p.data(), p.size(), status);
    }
    std::vector<uint8_t> Finish() {
        const size_t frames = FOut.size() - kHeaderSize;
        FOut.resize(FOut.size() + kPadding, 0);
        const uint8_t head[] = {'I', 'D', '3', static_cast<uint8_t>(FVersion), 0, 0};
        std::memcpy(FOut.data(), head, sizeof head);
        PutSynchsafe(FOut.data() + 6, static_cast<uint32_t>(frames + kPadding));
        return std::move(FOut);
    }

  private:
    int FVersion;
    std::vector<uint8_t> FOut;
};

std::optional<TTagKey> KeyOfFrame(std::string_view id) {
    for (size_t k = 0; k < kTagKeyCount; ++k)
        if (id == kKeyFrames[k].Long || id == kKeyFrames[k].Short) return static_cast<TTagKey>(k);
    if (id == "TYER") return TTagKey::Date;
    return std::nullopt;
}

bool IsDateFrame(std::string_view id) {
    return std::find(std::begin(kDateFrames), std::end(kDateFrames), id) != std::end(kDateFrames);
}

// A picture frame's type byte, for APIC (2.3/2.4) and PIC (2.2); -1 when
// the frame is too short to say.
int PictureType(std::string_view id, const std::vector<uint8_t>& p) {
    if (id == "PIC") return p.size() > 4 ? p[4] : -1;
    if (id != "APIC" || p.size() < 2) return -1;
    const auto mimeEnd = std::find(p.begin() + 1, p.end(), uint8_t{0});
    return mimeEnd + 1 < p.end() ? *(mimeEnd + 1) : -1;
}

}  // namespace

std::u16string ReadUtf16(const uint8_t* p, size_t n, bool big) {
    std::u16string out;
    size_t i = 0;
    if (n >= 2 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF))) {
        big = p[0] == 0xFE;
        i = 2;
    }
    for (; i + 1 < n; i += 2)
        out.push_back(big ? static_cast<char16_t>((p[i] << 8) | p[i + 1])
                          : static_cast<char16_t>(p[i] | (p[i + 1] << 8)));
    return out;
}

TId3v2LegacyText::TId3v2LegacyText(const TId3v2Tag& tag) {
    std::vector<std::string> raw;
    WalkId3v2Frames(tag, [&](std::string_view id, uint8_t flags, const uint8_t* data, size_t size) {
        if (!IsTextLike(id)) return true;
        std::vector<uint8_t> payload;
        const size_t skip = 1 + LanguageBytes(id);
        if (!Id3v2FramePayload(tag, flags, data, size, payload) || payload.size() < skip ||
            payload[0] != 0)
            return true;
        const std::string_view text(reinterpret_cast<const char*>(payload.data()) + skip,
                                    payload.size() - skip);
        for (std::string_view s : SplitAtNul(text)) raw.emplace_back(s);
        return raw.size() < kMaxGuessedStrings;
    });
    std::vector<std::string> decoded = DecodeUndeclaredFields(raw);
    FDecoded.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i)
        if (decoded[i] != raw[i]) FDecoded.emplace(std::move(raw[i]), std::move(decoded[i]));
}

std::string TId3v2LegacyText::Decode(std::string_view raw) const {
    // A lookup per string: a tag may hold thousands.
    if (const auto it = FDecoded.find(std::string(raw)); it != FDecoded.end()) return it->second;
    return Latin1ToUtf8(raw);
}

std::optional<std::vector<std::string>> Id3v2FrameStrings(const uint8_t* p, size_t n, size_t skip,
                                                          const TId3v2LegacyText& legacy) {
    if (n < 1 + skip) return std::nullopt;
    const uint8_t encoding = p[0];
    p += 1 + skip;
    n -= 1 + skip;
    std::vector<std::string> out;
    const std::string_view bytes(reinterpret_cast<const char*>(p), n);
    switch (encoding) {
        case 0:
            for (std::string_view s : SplitAtNul(bytes)) out.push_back(legacy.Decode(s));
            return out;
        case 3:
            for (std::string_view s : SplitAtNul(bytes)) out.emplace_back(s);
            return out;
        case 1:
        case 2: {
            size_t start = 0;
            for (size_t i = 0; i + 1 < n; i += 2) {
                if (p[i] != 0 || p[i + 1] != 0) continue;
                out.push_back(Utf16ToUtf8(ReadUtf16(p + start, i - start, encoding == 2)));
                start = i + 2;
            }
            if (start + 1 < n)
                out.push_back(Utf16ToUtf8(ReadUtf16(p + start, n - start, encoding == 2)));
            return out;
        }
        default:
            return std::nullopt;
    }
}

TTagFieldValues ReadId3v2Fields(const TId3v2Tag& tag) {
    TTagFieldValues fields;
    const TId3v2LegacyText legacy(tag);
    std::string year, dayMonth;
    WalkId3v2Frames(tag, [&](std::string_view id, uint8_t flags, const uint8_t* data, size_t size) {
        const std::optional<TTagKey> key = KeyOfFrame(id);
        const bool dayFrame = id == "TDAT" || id == "TDA";
        if (!key && !dayFrame) return true;
        std::vector<uint8_t> payload;
        if (!Id3v2FramePayload(tag, flags, data, size, payload)) return true;
        auto strings = Id3v2FrameStrings(payload.data(), payload.size(), LanguageBytes(id), legacy);
        if (!strings || strings->empty()) return true;
        if (dayFrame) {
            if (dayMonth.empty()) dayMonth = strings->front();
            return true;
        }
        if (*key == TTagKey::Comment) {
            // The comment people see has no description; others are tools' notes.
            if (!strings->front().empty() || strings->size() < 2) return true;
            strings->erase(strings->begin());
        }
        if (*key == TTagKey::Date && (id == "TYER" || id == "TYE")) {
            if (year.empty()) year = strings->front();
            return true;
        }
        TTagValues& values = fields[static_cast<size_t>(*key)];
        if (!values.empty()) return true;
        if (*key == TTagKey::Genre)
            for (std::string& g : *strings)
                if (auto name = ResolveGenre(g)) g = *name;
        values = std::move(*strings);
        return true;
    });
    TTagValues& date = fields[static_cast<size_t>(TTagKey::Date)];
    if (date.empty() && !year.empty()) {
        // 2.3 keeps the day and month apart, as DDMM.
        if (dayMonth.size() == 4 && year.size() == 4)
            year += "-" + dayMonth.substr(2, 2) + "-" + dayMonth.substr(0, 2);
        date.push_back(year);
    }
    return fields;
}

std::string Id3v2Unwritable(const TId3v2Tag& tag) {
    if (tag.Version == 2) return "ID3v2.2 tags are not written.";
    // Header and footer alone leave no frames to read; anything more that
    // could not be read would be lost.
    if (tag.Frames.empty() && tag.TagSize > static_cast<int64_t>(2 * kHeaderSize))
        return "The ID3v2 tag cannot be read.";
    return {};
}

std::optional<std::vector<uint8_t>> BuildId3v2Tag(const TId3v2Tag* old, const TTagChanges& changes,
                                                  std::string& error) {
    if (old) {
        error = Id3v2Unwritable(*old);
        if (!error.empty()) return std::nullopt;
    }
    const int version = old && old->Version == 3 ? 3 : 4;
    TTagBuilder out(version);
    auto changed = [&](TTagKey key) {
        return changes.Fields[static_cast<size_t>(key)].has_value();
    };
    std::string commentLanguage = "eng";
    bool ok = true;
    if (old) {
        const TId3v2LegacyText legacy(*old);
        WalkId3v2Frames(*old, [&](std::string_view id, uint8_t flags, const uint8_t* data,
                                  size_t size) {
            // A frame no identifier names is junk no reader can address,
            // and it would break the chain of frames written after it.
            if (!IsFrameId(reinterpret_cast<const uint8_t*>(id.data()))) return true;
            // 2.3 frame sizes count the bytes after the whole tag's
            // unsynchronisation was undone; 2.4 undoes it frame by frame.
            uint8_t format = flags;
            if (version == 4 && (old->Unsync)) format |= kV24Unsync;
            const uint8_t status = old->Frames[static_cast<size_t>(data - old->Frames.data()) - 2];
            std::vector<uint8_t> payload;
            const bool plain = Id3v2FramePayload(*old, flags, data, size, payload);
            const std::optional<TTagKey> key = KeyOfFrame(id);
            if (IsDateFrame(id) && changed(TTagKey::Date)) return true;
            if (key && *key != TTagKey::Comment && changed(*key)) return true;
            if (id == "COMM" && plain && changed(TTagKey::Comment)) {
                auto strings = Id3v2FrameStrings(payload.data(), payload.size(), 3, legacy);
                if (strings && !strings->empty() && strings->front().empty()) {
                    if (payload.size() >= 4)
                        commentLanguage.assign(reinterpret_cast<const char*>(&payload[1]), 3);
                    return true;
                }
            }
            if (id == "APIC" && plain && changes.Cover != TTagChanges::TCover::Keep &&
                PictureType(id, payload) == static_cast<int>(kFrontCoverType))
                return true;
            // Single-byte text that is not plain ASCII: rewritten as read,
            // so that a tag fixed once stays fixed for every player.
            if (plain && IsTextLike(id) && !payload.empty() && payload[0] == 0 &&
                std::any_of(payload.begin() + 1, payload.end(),
                            [](uint8_t b) { return b >= 0x80; })) {
                const size_t skip = LanguageBytes(id);
                if (auto strings =
                        Id3v2FrameStrings(payload.data(), payload.size(), skip, legacy)) {
                    const std::string_view language(
                        reinterpret_cast<const char*>(payload.data()) + 1,
                        std::min(skip, payload.size() - 1));
                    ok = out.TextFrame(id, *strings, language, status);
                    return ok;
                }
            }
            // Carried over as it was.
            ok = out.Frame(id, data, size, status, format);
            return ok;
        });
    }
    for (size_t k = 0; k < kTagKeyCount && ok; ++k) {
        const auto& values = changes.Fields[k];
        if (!values || values->empty()) continue;
        const auto key = static_cast<TTagKey>(k);
        std::vector<std::string> strings = *values;
        switch (key) {
            case TTagKey::Comment:
                strings.insert(strings.begin(), std::string());  // no description
                ok = out.TextFrame("COMM", strings, commentLanguage);
                break;
            case TTagKey::Date:
                if (version == 4) {
                    ok = out.TextFrame("TDRC", strings);
                } else {
                    // 2.3 has a year frame and a DDMM frame.
                    const std::string& d = strings.front();
                    ok = out.TextFrame("TYER", {d.substr(0, 4)});
                    if (ok && d.size() >= 10 && d[4] == '-' && d[7] == '-')
                        ok = out.TextFrame("TDAT", {d.substr(8, 2) + d.substr(5, 2)});
                }
                break;
            case TTagKey::Genre:
                // A genre that starts with "(" would read back as a
                // reference to the genre list: the format's escape.
                for (std::string& g : strings)
                    if (!g.empty() && g[0] == '(') g.insert(g.begin(), '(');
                ok = out.TextFrame("TCON", strings);
                break;
            default:
                ok = out.TextFrame(kKeyFrames[k].Long, strings);
                break;
        }
    }
    if (ok && changes.Cover == TTagChanges::TCover::Replace) {
        const TPicture& pic = changes.NewCover;
        std::vector<uint8_t> p{0};
        p.insert(p.end(), pic.MimeType.begin(), pic.MimeType.end());
        p.push_back(0);
        p.push_back(static_cast<uint8_t>(kFrontCoverType));
        p.push_back(0);  // no description
        p.insert(p.end(), pic.Data.begin(), pic.Data.end());
        ok = out.Frame("APIC", p.data(), p.size());
    }
    if (!ok) {
        error = "The ID3v2 tag would be too large.";
        return std::nullopt;
    }
    std::vector<uint8_t> tag = out.Finish();
    // Frames carried over whose content looks like more frames could make
    // the new tag read as plain-sized, and so differently: not written.
    if (version == 4 &&
        PlainSizedTag(std::vector<uint8_t>(tag.begin() + kHeaderSize, tag.end()), 0)) {
        error = "The ID3v2 tag cannot be rewritten without changing what it says.";
        return std::nullopt;
    }
    return tag;
}

}  // namespace quillet::tags_detail
