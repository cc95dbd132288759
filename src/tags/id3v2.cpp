// ID3v2: reading 2.2/2.3/2.4 tags at the file offset, writing a 2.4 tag in
// front of a file.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>

#include "ACS_Tags.h"
#include "tags_internal.h"
#include "text.h"

namespace quillet {

using namespace tags_detail;

const char* const ID3v2FrameIds[2][12] = {
    {"TAL", "TP1", "TCO", "TT2", "TRK", "TYE", "COM", "TCM", "TEN", "TCR", "TLA", "WXX"},
    {"TALB", "TPE1", "TCON", "TIT2", "TRCK", "TYER", "COMM", "TCOM", "TENC", "TCOP", "TLAN",
     "WXXX"}};

namespace {

constexpr int kHeaderSize = 10;
constexpr int kGenreIndex = 2;
constexpr int kYearIndex = 5;
constexpr int kCommentIndex = 6;

// Tag header flags.
constexpr uint8_t kTagUnsync = 0x80;
constexpr uint8_t kTagExtended = 0x40;
constexpr uint8_t kTagFooter = 0x10;
// Frame format flags (the second flag byte) of 2.3 and of 2.4.
constexpr uint8_t kV23Compressed = 0x80, kV23Encrypted = 0x40, kV23Grouped = 0x20;
constexpr uint8_t kV24Grouped = 0x40, kV24Compressed = 0x08, kV24Encrypted = 0x04,
                  kV24Unsync = 0x02, kV24DataLength = 0x01;

using TBytes = std::vector<uint8_t>;

uint32_t BigEndian(const uint8_t* p, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}

uint32_t Synchsafe(const uint8_t* p) {
    return (uint32_t{p[0]} << 21) | (uint32_t{p[1]} << 14) | (uint32_t{p[2]} << 7) | p[3];
}

}  // namespace

void tags_detail::PutSynchsafe(uint8_t* p, uint32_t v) {
    p[0] = (v >> 21) & 0x7F;
    p[1] = (v >> 14) & 0x7F;
    p[2] = (v >> 7) & 0x7F;
    p[3] = v & 0x7F;
}

namespace {

struct THeader {
    int Version = 0;
    uint8_t Flags = 0;
    int64_t TagSize = 0;  // the whole tag, header and footer included
};

// Reads the 10 header bytes at the file offset (left after them); false when
// they are not a valid header.
bool ReadHeader(THandle handle, THeader& header) {
    uint8_t h[kHeaderSize];
    if (ReadAll(handle, h, kHeaderSize) != kHeaderSize || std::memcmp(h, "ID3", 3) != 0 ||
        h[4] == 255)
        return false;
    const int version = h[3];
    const uint8_t flags = h[5];
    const bool flagsOk = (version == 2 && (flags & 0x3F) == 0) ||
                         (version == 3 && (flags & 0x1F) == 0) ||
                         (version == 4 && (flags & 0x0F) == 0);
    if (!flagsOk || ((h[6] | h[7] | h[8] | h[9]) & 0x80)) return false;
    header.Version = version;
    header.Flags = flags;
    header.TagSize =
        int64_t{Synchsafe(h + 6)} + kHeaderSize + ((flags & kTagFooter) ? kHeaderSize : 0);
    return true;
}

bool IsIdChar(uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

bool tags_detail::IsFrameId(const uint8_t* p) {
    return IsIdChar(p[0]) && IsIdChar(p[1]) && IsIdChar(p[2]) && IsIdChar(p[3]);
}

namespace {

// Drops the zero byte that unsynchronisation put after every FF.
void Resync(TBytes& b) {
    size_t out = 0;
    for (size_t i = 0; i < b.size(); ++i) {
        b[out++] = b[i];
        if (b[i] == 0xFF && i + 1 < b.size() && b[i + 1] == 0) ++i;
    }
    b.resize(out);
}

// Whether a frame ending at `next` is followed by the end of the frames,
// padding or another frame header.
bool PlausibleFrameEnd(const TBytes& b, size_t next) {
    if (next == b.size()) return true;
    if (next > b.size()) return false;
    if (b[next] == 0) return true;
    return b.size() - next >= 4 && IsFrameId(b.data() + next);
}

// A 2.3/2.4 frame's size; `pos` is where its data starts. The field is a
// plain 32-bit number in 2.3; 2.4 made it synchsafe, but some writers keep
// the plain form there. The two readings agree below 128; otherwise take the
// one that lands on a frame boundary, preferring the standard's.
uint32_t FrameSize(const TBytes& b, const uint8_t* field, int version, size_t pos) {
    const uint32_t plain = BigEndian(field, 4);
    if (version != 4 || plain < 0x80 || ((field[0] | field[1] | field[2] | field[3]) & 0x80))
        return plain;
    const uint32_t safe = Synchsafe(field);
    if (PlausibleFrameEnd(b, pos + safe)) return safe;
    if (PlausibleFrameEnd(b, pos + plain)) return plain;
    return safe;
}

// How the frames of a 2.4 tag read with every size taken one way: the
// frames found, and whether the walk ends cleanly (at the tag's end or in
// its padding) rather than on something that is no frame or past the tag.
struct TSizeWalk {
    int Frames = 0;
    bool Clean = false;
};

TSizeWalk WalkSizes(const TBytes& b, size_t pos, bool plain) {
    TSizeWalk walk;
    while (b.size() - pos >= 10) {
        const uint8_t* h = b.data() + pos;
        if (h[0] == 0) {
            walk.Clean = std::all_of(h, b.data() + b.size(), [](uint8_t c) { return c == 0; });
            return walk;
        }
        if (!IsFrameId(h)) return walk;
        const uint32_t size = plain ? BigEndian(h + 4, 4) : Synchsafe(h + 4);
        if (size > b.size() - pos - 10) return walk;  // runs past the tag
        ++walk.Frames;
        pos += 10 + size;
    }
    walk.Clean = pos == b.size() || std::all_of(b.begin() + static_cast<ptrdiff_t>(pos), b.end(),
                                                [](uint8_t c) { return c == 0; });
    return walk;
}

// Whether a 2.4 tag's frame sizes are all plain numbers, as a well-known
// writer put them for years: read that way the frames chain cleanly to
// the tag's end, while read as synchsafe they do not (or find fewer).
}  // namespace

bool tags_detail::PlainSizedTag(const TBytes& b, size_t pos) {
    const TSizeWalk safe = WalkSizes(b, pos, false);
    const TSizeWalk plain = WalkSizes(b, pos, true);
    return plain.Clean && (!safe.Clean || plain.Frames > safe.Frames);
}

namespace {

// Where the frames start behind an extended header, or nothing when it does
// not fit. 2.3 counts the size without its own 4 bytes, 2.4 (synchsafe) with
// them. Some writers set the flag and write no extended header: a frame id
// then stands where the size would.
std::optional<size_t> SkipExtendedHeader(const TBytes& b, int version) {
    if (b.size() < 4) return std::nullopt;
    if (IsFrameId(b.data())) return 0;
    uint64_t size;
    if (version == 4) {
        if ((b[0] | b[1] | b[2] | b[3]) & 0x80) return std::nullopt;
        size = Synchsafe(b.data());
        if (size < 6) return std::nullopt;
    } else {
        size = uint64_t{4} + BigEndian(b.data(), 4);
    }
    if (size > b.size()) return std::nullopt;
    return static_cast<size_t>(size);
}

// The first value of a text frame's payload (the encoding byte, then text);
// nothing for an unknown encoding. UTF-16 follows its byte-order mark; without
// one, encoding 1 is little-endian and encoding 2 big-endian.
std::optional<TTagValue> FirstTextValue(const uint8_t* p, size_t n,
                                        const TId3v2LegacyText& legacy) {
    if (n == 0) return std::nullopt;
    const uint8_t encoding = *p++;
    --n;
    auto upToNul = [&] {
        const uint8_t* end = std::find(p, p + n, uint8_t{0});
        return std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(end - p));
    };
    switch (encoding) {
        case 0:
            return TTagValue::Narrow(legacy.Decode(upToNul()));
        case 3:
            return TTagValue::Wide(Utf8ToUtf16(upToNul()));
        case 1:
        case 2: {
            // Up to the first zero unit (a byte-order mark is never one).
            size_t end = 0;
            while (end + 1 < n && (p[end] != 0 || p[end + 1] != 0)) end += 2;
            return TTagValue::Wide(ReadUtf16(p, std::min(end, n), encoding == 2));
        }
        default:
            return std::nullopt;
    }
}

// A genre reference's name: an ID3v1 number, "RX" or "CR".
std::optional<std::string> GenreRefName(std::string_view ref) {
    if (ref == "RX") return "Remix";
    if (ref == "CR") return "Cover";
    if (ref.empty() || ref.size() > 3 || ref.find_first_not_of("0123456789") != ref.npos)
        return std::nullopt;
    int n = 0;
    for (char c : ref) n = n * 10 + (c - '0');
    if (n >= ID3v1GenreCount) return std::nullopt;
    return ID3v1GenreNames[n];
}

// The genre a TCON text names when it refers to the ID3v1 list ("3", "(3)",
// "(3)Dance", "(3)(17)": the first reference) or escapes a parenthesis
// ("((text"); nothing when the text stands as it is.
}  // namespace

std::optional<std::string> tags_detail::ResolveGenre(std::string_view s) {
    if (auto name = GenreRefName(s)) return name;
    if (s.size() >= 2 && s[0] == '(' && s[1] != '(') {
        const size_t close = s.find(')');
        if (close != s.npos) return GenreRefName(s.substr(1, close - 1));
        return std::nullopt;
    }
    if (s.substr(0, 2) == "((") return std::string(s.substr(1));
    return std::nullopt;
}

namespace {

// A timestamp's year: its first four characters when they are digits. The
// text keeps its kind, so that writing it back loses nothing.
TTagValue TimestampYear(const TTagValue& value) {
    auto cut = [](auto text) {
        if (text.size() >= 4 && std::all_of(text.begin(), text.begin() + 4,
                                            [](auto c) { return c >= '0' && c <= '9'; }))
            text.resize(4);
        return text;
    };
    return value.Kind() == TTagValue::TKind::Wide ? TTagValue::Wide(cut(value.WideText()))
                                                  : TTagValue::Narrow(cut(value.NarrowText()));
}

// Stores the first value of each known text frame of one tag.
class TTextFrames {
  public:
    TTextFrames(TId3v2Tags& tags, const TId3v2Tag& tag) : FTags(tags), FTag(tag), FLegacy(tag) {}

    void Apply(std::string_view id, uint8_t flags, const uint8_t* data, size_t size) {
        const int version = FTag.Version;
        const auto& row = ID3v2FrameIds[version == 2 ? 0 : 1];
        int index = -1;
        for (int i = 0; i < 12; ++i)
            if (id == row[i]) index = i;
        const bool timestamp = version >= 3 && id == "TDRC";
        if (timestamp) index = kYearIndex;
        if (index < 0 || index == kCommentIndex || FSeen[index]) return;
        if (timestamp && FYearFromTimestamp) return;
        TBytes payload;
        if (!Id3v2FramePayload(FTag, flags, data, size, payload)) return;
        std::optional<TTagValue> value = FirstTextValue(payload.data(), payload.size(), FLegacy);
        if (!value) return;
        if (timestamp) {
            value = TimestampYear(*value);
            FYearFromTimestamp = true;
        } else {
            FSeen[index] = true;
            if (index == kGenreIndex) ResolveGenreValue(*value);
        }
        FTags.SetValue(row[index], *value);
    }

  private:
    static void ResolveGenreValue(TTagValue& value) {
        const auto name = ResolveGenre(ValueAsString(value));
        if (!name) return;
        value = value.Kind() == TTagValue::TKind::Wide ? TTagValue::Wide(Utf8ToUtf16(*name))
                                                       : TTagValue::Narrow(*name);
    }

    TId3v2Tags& FTags;
    const TId3v2Tag& FTag;
    const TId3v2LegacyText FLegacy;
    std::array<bool, 12> FSeen{};  // a frame of this index was stored
    bool FYearFromTimestamp = false;
};

}  // namespace

namespace tags_detail {

bool ReadId3v2Tag(THandle handle, int64_t MaxBytes, TId3v2Tag& tag) {
    off_t start = ::lseek(handle, 0, SEEK_CUR);
    if (start < 0) return false;
    THeader header;
    if (!ReadHeader(handle, header)) return false;
    tag.Version = header.Version;
    tag.Unsync = (header.Flags & kTagUnsync) != 0;
    tag.Extended = (header.Flags & kTagExtended) != 0;
    tag.TagSize = header.TagSize;
    tag.Frames.clear();
    // The tag is read at once: the file must hold it before anything is
    // allocated for it. Past MaxBytes it is cut (a giant picture is never
    // read whole); the walk then stops at the frame the cut halves.
    const int64_t footer = (header.Flags & kTagFooter) ? kHeaderSize : 0;
    const int64_t framesLen = header.TagSize - kHeaderSize - footer;
    struct stat st;
    if (::fstat(handle, &st) == 0 && st.st_size >= start + header.TagSize) {
        tag.Frames.resize(static_cast<size_t>(std::min(framesLen, std::max<int64_t>(MaxBytes, 0))));
        if (ReadAll(handle, tag.Frames.data(), tag.Frames.size()) != tag.Frames.size())
            tag.Frames.clear();
    }
    // Before 2.4 unsynchronisation covers the whole tag and frame sizes count
    // the restored bytes; 2.4 applies it frame by frame.
    if (tag.Unsync && tag.Version < 4) Resync(tag.Frames);
    return true;
}

void WalkId3v2Frames(const TId3v2Tag& tag, const TId3v2FrameVisitor& Visit) {
    const TBytes& frames = tag.Frames;
    const int version = tag.Version;
    size_t pos = 0;
    if (tag.Extended && version >= 3) {
        const auto start = SkipExtendedHeader(frames, version);
        if (!start) return;
        pos = *start;
    }
    const size_t headerLen = version == 2 ? 6 : 10;
    const size_t idLen = version == 2 ? 3 : 4;
    // A whole tag of plain sizes reads as 2.3 would; otherwise each size is
    // weighed on its own.
    const int sizes = version == 4 && PlainSizedTag(frames, pos) ? 3 : version;
    while (frames.size() - pos >= headerLen) {
        const uint8_t* h = frames.data() + pos;
        if (std::all_of(h, h + idLen, [](uint8_t c) { return c == 0; })) break;  // padding
        pos += headerLen;
        const uint32_t size =
            version == 2 ? BigEndian(h + 3, 3) : FrameSize(frames, h + 4, sizes, pos);
        // Past the tag nothing more can be found.
        if (size > frames.size() - pos) break;
        const std::string_view id(reinterpret_cast<const char*>(h), idLen);
        if (size > 0 && !Visit(id, version == 2 ? 0 : h[9], frames.data() + pos, size)) return;
        pos += size;
    }
}

bool Id3v2FramePayload(const TId3v2Tag& tag, uint8_t flags, const uint8_t* data, size_t size,
                       std::vector<uint8_t>& out) {
    size_t skip = 0;
    bool unsync = false;
    if (tag.Version == 3) {
        if (flags & (kV23Compressed | kV23Encrypted)) return false;
        if (flags & kV23Grouped) skip = 1;
    } else if (tag.Version == 4) {
        if (flags & (kV24Compressed | kV24Encrypted)) return false;
        skip = ((flags & kV24Grouped) ? 1 : 0) + ((flags & kV24DataLength) ? 4 : 0);
        unsync = (flags & kV24Unsync) || tag.Unsync;
    }
    if (skip >= size) return false;
    out.assign(data + skip, data + size);
    if (unsync) Resync(out);
    return true;
}

}  // namespace tags_detail

TId3v2Tags::TId3v2Tags(TComponent* owner) : TAuTags(owner) {
    for (const auto& row : ID3v2FrameIds)
        for (const char* id : row) AddField(id);
}

std::u16string TId3v2Tags::Album() const {
    return GetAsWideString(Id(0));
}
void TId3v2Tags::SetAlbum(const std::u16string& v) {
    SetValue(Id(0), TTagValue::Wide(v));
}
std::u16string TId3v2Tags::Artist() const {
    return GetAsWideString(Id(1));
}
void TId3v2Tags::SetArtist(const std::u16string& v) {
    SetValue(Id(1), TTagValue::Wide(v));
}
std::u16string TId3v2Tags::Genre() const {
    return GetAsWideString(Id(2));
}
void TId3v2Tags::SetGenre(const std::u16string& v) {
    SetValue(Id(2), TTagValue::Wide(v));
}
std::u16string TId3v2Tags::Title() const {
    return GetAsWideString(Id(3));
}
void TId3v2Tags::SetTitle(const std::u16string& v) {
    SetValue(Id(3), TTagValue::Wide(v));
}
std::string TId3v2Tags::Track() const {
    return GetAsString(Id(4));
}
void TId3v2Tags::SetTrack(const std::string& v) {
    SetValue(Id(4), TTagValue::Narrow(v));
}
std::string TId3v2Tags::Year() const {
    return GetAsString(Id(5));
}
void TId3v2Tags::SetYear(const std::string& v) {
    SetValue(Id(5), TTagValue::Narrow(v));
}
std::u16string TId3v2Tags::Comment() const {
    return GetAsWideString(Id(6));
}
void TId3v2Tags::SetComment(const std::u16string& v) {
    SetValue(Id(6), TTagValue::Wide(v));
}
std::u16string TId3v2Tags::Composer() const {
    return GetAsWideString(Id(7));
}
void TId3v2Tags::SetComposer(const std::u16string& v) {
    SetValue(Id(7), TTagValue::Wide(v));
}
std::u16string TId3v2Tags::Encoder() const {
    return GetAsWideString(Id(8));
}
void TId3v2Tags::SetEncoder(const std::u16string& v) {
    SetValue(Id(8), TTagValue::Wide(v));
}
std::u16string TId3v2Tags::Copyright() const {
    return GetAsWideString(Id(9));
}
void TId3v2Tags::SetCopyright(const std::u16string& v) {
    SetValue(Id(9), TTagValue::Wide(v));
}
std::u16string TId3v2Tags::Language() const {
    return GetAsWideString(Id(10));
}
void TId3v2Tags::SetLanguage(const std::u16string& v) {
    SetValue(Id(10), TTagValue::Wide(v));
}
std::u16string TId3v2Tags::Link() const {
    return GetAsWideString(Id(11));
}
void TId3v2Tags::SetLink(const std::u16string& v) {
    SetValue(Id(11), TTagValue::Wide(v));
}

bool TId3v2Tags::HasTag(THandle handle) {
    if (handle < 0) return false;
    off_t pos = ::lseek(handle, 0, SEEK_CUR);
    if (pos < 0) return false;
    THeader header;
    bool valid = ReadHeader(handle, header);
    ::lseek(handle, pos, SEEK_SET);
    return valid;
}

bool TId3v2Tags::ReadFromFile(THandle handle) {
    if (!TAuTags::ReadFromFile(handle)) return false;
    off_t start = ::lseek(handle, 0, SEEK_CUR);
    if (start < 0) return false;
    TId3v2Tag tag;
    // Words need far less; a larger tag holds pictures, which are not read.
    constexpr int64_t kMaxWordsBytes = int64_t{16} << 20;
    if (!ReadId3v2Tag(handle, kMaxWordsBytes, tag)) return false;
    FLongIds = tag.Version != 2;
    TTextFrames text(*this, tag);
    WalkId3v2Frames(tag,
                    [&text](std::string_view id, uint8_t flags, const uint8_t* data, size_t size) {
                        text.Apply(id, flags, data, size);
                        return true;
                    });
    ::lseek(handle, start + tag.TagSize, SEEK_SET);
    return true;
}

// Writing puts the new tag in front of the file's content, which means moving
// every byte. The order below keeps the file intact on every reported failure:
//   1. reserve the new length with real writes (a lengthened but unreserved
//      file could fail for want of disk space in the middle of the move);
//   2. move the content up from the end, chunk by chunk, with checked I/O;
//   3. write the tag into the freed front.
// A failure in 2 or 3 moves the moved part back, rewrites a chunk that was
// being written, and cuts the file to its old length. A crash or power loss
// in the middle of 2 or 3 cannot be made safe in place: the file is then left
// half moved. Only writing a copy and renaming it would avoid that.
bool TId3v2Tags::WriteToFile(THandle handle, bool unicode) {
    if (handle < 0) return false;
    std::vector<uint8_t> tag(kHeaderSize, 0);
    for (int i = 0; i < 12; ++i) {
        if (i == kCommentIndex) continue;
        const char* id = ID3v2FrameIds[1][i];
        TTagValue v = GetValue(id);
        std::string text;
        uint8_t encoding = 0;
        if (unicode && v.Kind() == TTagValue::TKind::Wide) {
            text = Utf16ToUtf8(v.WideText());
            encoding = 3;
        } else {
            text = ValueAsString(v);
            // Single-byte text beyond ASCII is read back through a code-page
            // guess: a Unicode tag keeps it as the UTF-8 it is.
            if (unicode && !IsAscii(text))
                encoding = 3;
            else
                text = Utf8ToLatin1(text);
        }
        if (text.empty()) continue;
        // A genre that starts with "(" would read back as a reference to the
        // genre list; the format's escape keeps it the text it is.
        if (i == kGenreIndex && text[0] == '(') text.insert(text.begin(), '(');
        if (text.size() >= (1u << 28) - 1) return false;  // beyond a synchsafe size
        uint8_t h[11];
        std::memcpy(h, id, 4);
        PutSynchsafe(h + 4, static_cast<uint32_t>(text.size() + 1));
        h[8] = h[9] = 0;
        h[10] = encoding;
        tag.insert(tag.end(), h, h + 11);
        tag.insert(tag.end(), text.begin(), text.end());
    }
    const size_t frames = tag.size() - kHeaderSize;
    const size_t padding = 16 - (tag.size() % 16);
    tag.resize(tag.size() + padding, 0);
    if (tag.size() - kHeaderSize >= (1u << 28)) return false;
    std::memcpy(tag.data(), "ID3\x04\x00\x00", 6);
    PutSynchsafe(tag.data() + 6, static_cast<uint32_t>(frames + padding));

    const off_t savedPos = ::lseek(handle, 0, SEEK_CUR);
    struct stat st;
    if (savedPos < 0 || ::fstat(handle, &st) != 0) return false;
    const int64_t oldLen = st.st_size;
    const int64_t t = static_cast<int64_t>(tag.size());
    std::vector<uint8_t> buf(std::max<size_t>(1, std::min<size_t>(MoveChunk, std::max(oldLen, t))));

    // Gives up: rewrites the chunk at [pendingPos, pendingPos + pendingLen)
    // from `buf` when one was being written, moves [movedFrom, oldLen) back
    // down from T bytes higher, and restores the old length. Best effort: if
    // the disk refuses even these writes there is nothing better to do.
    auto restore = [&](int64_t movedFrom, int64_t pendingPos, size_t pendingLen) {
        if (pendingLen > 0) PWriteAll(handle, buf.data(), pendingLen, pendingPos);
        for (int64_t s = movedFrom; s < oldLen;) {
            size_t m = static_cast<size_t>(std::min<int64_t>(buf.size(), oldLen - s));
            if (PReadAll(handle, buf.data(), m, s + t) != m) break;
            PWriteAll(handle, buf.data(), m, s);
            s += static_cast<int64_t>(m);
        }
        (void)::ftruncate(handle, oldLen);
        ::lseek(handle, savedPos, SEEK_SET);
        return false;
    };

    // 1. Reserve.
    std::fill(buf.begin(), buf.end(), 0);
    for (int64_t s = oldLen; s < oldLen + t;) {
        size_t m = static_cast<size_t>(std::min<int64_t>(buf.size(), oldLen + t - s));
        if (PWriteAll(handle, buf.data(), m, s) != m) return restore(oldLen, 0, 0);
        s += static_cast<int64_t>(m);
    }
    // 2. Move the content up, last chunk first (the ranges overlap).
    for (int64_t pos = oldLen; pos > 0;) {
        size_t n = static_cast<size_t>(std::min<int64_t>(buf.size(), pos));
        pos -= static_cast<int64_t>(n);
        if (PReadAll(handle, buf.data(), n, pos) != n)
            return restore(pos + static_cast<int64_t>(n), 0, 0);
        if (PWriteAll(handle, buf.data(), n, pos + t) != n)
            return restore(pos + static_cast<int64_t>(n), pos, n);
    }
    // 3. The tag in front, then make it durable.
    if (PWriteAll(handle, tag.data(), tag.size(), 0) != tag.size() || ::fsync(handle) != 0)
        return restore(0, 0, 0);
    ::lseek(handle, oldLen + t, SEEK_SET);
    return true;
}

std::vector<TTagFieldText> TId3v2Tags::ListFields() const {
    static constexpr int kOrder[] = {1, 0, 2, 5, 4, 3, 6, 7, 8, 9, 10, 11};
    static constexpr const char* kNames[] = {"Album",   "Artist",    "Genre",    "Title",
                                             "Track",   "Year",      "Comment",  "Composer",
                                             "Encoder", "Copyright", "Language", "Link"};
    TPropertyRow rows[12];
    for (int i = 0; i < 12; ++i)
        rows[i] = {kNames[kOrder[i]], ID3v2FrameIds[FLongIds ? 1 : 0][kOrder[i]]};
    return ListProperties(*this, rows, 12);
}

}  // namespace quillet
