// ID3v2: reading 2.2/2.3/2.4 tags at the file offset, writing a 2.4 tag in
// front of a file.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

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
constexpr int kCommentIndex = 6;

uint32_t BigEndian(const uint8_t* p, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}

uint32_t Synchsafe(const uint8_t* p) {
    return (uint32_t{p[0]} << 21) | (uint32_t{p[1]} << 14) | (uint32_t{p[2]} << 7) | p[3];
}

void PutSynchsafe(uint8_t* p, uint32_t v) {
    p[0] = (v >> 21) & 0x7F;
    p[1] = (v >> 14) & 0x7F;
    p[2] = (v >> 7) & 0x7F;
    p[3] = v & 0x7F;
}

// Reads the 10 header bytes at the file offset (left after them); returns the
// whole tag's size (footer included) or 0 when the header is not valid.
int64_t CheckID3v2Header(THandle handle, int& version) {
    uint8_t h[kHeaderSize];
    if (ReadAll(handle, h, kHeaderSize) != kHeaderSize || std::memcmp(h, "ID3", 3) != 0 ||
        h[4] == 255)
        return 0;
    version = h[3];
    const uint8_t flags = h[5];
    const bool flagsOk = (version == 2 && (flags & 0x3F) == 0) ||
                         (version == 3 && (flags & 0x1F) == 0) ||
                         (version == 4 && (flags & 0x0F) == 0);
    if (!flagsOk || ((h[6] | h[7] | h[8] | h[9]) & 0x80)) return 0;
    return int64_t{Synchsafe(h + 6)} + kHeaderSize + ((flags & 0x10) ? kHeaderSize : 0);
}

bool IsIdChar(uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Whether a frame ending at `next` is followed by the end of the tag, padding
// or another frame header.
bool PlausibleFrameEnd(THandle handle, int64_t next, int64_t end) {
    if (next == end) return true;
    if (next > end) return false;
    uint8_t id[4] = {};
    size_t n = PReadAll(handle, id, std::min<int64_t>(4, end - next), next);
    if (n >= 1 && id[0] == 0) return true;
    return n == 4 && IsIdChar(id[0]) && IsIdChar(id[1]) && IsIdChar(id[2]) && IsIdChar(id[3]);
}

// A 2.3/2.4 frame's size. The field is a plain 32-bit number in 2.3; 2.4 made
// it synchsafe, but some writers keep the plain form there. The two readings
// agree below 128; otherwise take the one that lands on a frame boundary,
// preferring the standard's.
uint32_t FrameSize(THandle handle, const uint8_t* field, int version, int64_t pos, int64_t end) {
    const uint32_t plain = BigEndian(field, 4);
    if (version != 4 || plain < 0x80 || ((field[0] | field[1] | field[2] | field[3]) & 0x80))
        return plain;
    const uint32_t safe = Synchsafe(field);
    if (PlausibleFrameEnd(handle, pos + safe, end)) return safe;
    if (PlausibleFrameEnd(handle, pos + plain, end)) return plain;
    return safe;
}

}  // namespace

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
    int version = 0;
    bool valid = CheckID3v2Header(handle, version) != 0;
    ::lseek(handle, pos, SEEK_SET);
    return valid;
}

bool TId3v2Tags::ReadFromFile(THandle handle) {
    if (!TAuTags::ReadFromFile(handle)) return false;
    off_t start = ::lseek(handle, 0, SEEK_CUR);
    if (start < 0) return false;
    int version = 0;
    int64_t tagSize = CheckID3v2Header(handle, version);
    if (tagSize == 0) return false;
    FLongIds = version != 2;
    ReadFrames(handle, tagSize, version);
    ::lseek(handle, start + tagSize, SEEK_SET);
    return true;
}

// Walks the frames from just after the header. Damaged or truncated frames end
// the walk; the frames before them stay stored.
bool TId3v2Tags::ReadFrames(THandle handle, int64_t tagSize, int version) {
    const int64_t s = ::lseek(handle, 0, SEEK_CUR);
    const int64_t end = s - kHeaderSize + tagSize;
    struct stat st;
    if (s < 0 || ::fstat(handle, &st) != 0 || st.st_size < end) return false;
    const int headerLen = version == 2 ? 6 : 10;
    const int idLen = version == 2 ? 3 : 4;
    int64_t pos = s;
    std::vector<uint8_t> data;
    bool ok = true;
    while (pos < end) {
        uint8_t h[10];
        size_t n = ReadAll(handle, h, headerLen);
        pos += static_cast<int64_t>(n);
        if (n != static_cast<size_t>(headerLen) || h[0] < 'A' || h[0] > 'Z' || pos >= end) break;
        const uint32_t size =
            version == 2 ? BigEndian(h + 3, 3) : FrameSize(handle, h + 4, version, pos, end);
        if (size == 0) continue;
        // No allocation is driven by a size the tag cannot hold.
        if (size > end - pos) {
            ok = false;
            break;
        }
        data.assign(size + 2, 0);
        n = ReadAll(handle, data.data(), size);
        pos += static_cast<int64_t>(n);
        if (n != size) {
            ok = false;
            break;
        }
        ApplyFrame(std::string_view(reinterpret_cast<const char*>(h), idLen), data, size);
    }
    if (!ok) ::lseek(handle, s, SEEK_SET);
    return ok;
}

// `data` holds `size` frame bytes followed by two zero bytes, so every text
// walk below finds a terminator inside the buffer.
void TId3v2Tags::ApplyFrame(std::string_view id, const std::vector<uint8_t>& data, size_t size) {
    const auto& row = ID3v2FrameIds[FLongIds ? 1 : 0];
    int index = -1;
    for (int i = 0; i < 12; ++i)
        if (id == row[i]) index = i;
    if (index < 0 || index == kCommentIndex) return;
    const char* text = reinterpret_cast<const char*>(data.data()) + 1;
    TTagValue value;
    switch (data[0]) {
        case 0:
            value = TTagValue::Narrow(Latin1ToUtf8(text));
            break;
        case 3:
            value = TTagValue::Wide(Utf8ToUtf16(text));
            break;
        case 1: {
            size_t i = (data[1] == 0xFF && data[2] == 0xFE) ? 3 : 1;
            std::u16string wide;
            for (; i + 1 < size + 2; i += 2) {
                char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
                if (unit == 0) break;
                wide.push_back(unit);
            }
            value = TTagValue::Wide(std::move(wide));
            break;
        }
        default:
            return;
    }
    SetValue(row[index], value);
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
            text = Utf8ToLatin1(ValueAsString(v));
        }
        if (text.empty()) continue;
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
