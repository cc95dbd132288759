// The embedded-picture readers of album_art.h: ID3v2, FLAC, Ogg, MP4, APEv2.
// Files are read with pread at checked offsets; only a picture that may be
// chosen is read at all.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "album_art.h"
#include "tags_internal.h"
#include "text.h"

namespace quillet {

using namespace tags_detail;

namespace {

// Room around a picture inside its container (MIME type, description...).
constexpr size_t kPictureSlack = size_t{1} << 20;
// Far more boxes, blocks or items than a real file's tags have: a hostile
// file of tiny ones must not cost a read per few bytes of a large file.
constexpr int kMaxEntries = 4096;

// A regular file read at offsets; every read is checked against its size.
class TFileView {
  public:
    TFileView(int fd, int64_t size) : FFd(fd), FSize(size) {}
    int64_t Size() const { return FSize; }
    bool Read(int64_t at, void* p, size_t n) const {
        return at >= 0 && at <= FSize && n <= static_cast<uint64_t>(FSize - at) &&
               PReadAll(FFd, p, n, at) == n;
    }
    bool Read(int64_t at, size_t n, std::vector<uint8_t>& out) const {
        if (at < 0 || at > FSize || n > static_cast<uint64_t>(FSize - at)) return false;
        out.resize(n);
        return Read(at, out.data(), n);
    }

  private:
    int FFd;
    int64_t FSize;
};

// Reads fields off a byte range, each checked against what is left.
class TCursor {
  public:
    TCursor(const uint8_t* p, size_t n) : FPos(p), FEnd(p + n) {}
    size_t Left() const { return static_cast<size_t>(FEnd - FPos); }
    const uint8_t* Pos() const { return FPos; }
    bool Skip(size_t n) {
        if (n > Left()) return false;
        FPos += n;
        return true;
    }
    bool BE(uint32_t& v) { return Take(v, BE32); }
    bool LE(uint32_t& v) { return Take(v, LE32); }
    // Past the terminator of text in a single-byte (or, Wide, a two-byte)
    // encoding.
    bool SkipText(bool Wide) {
        const size_t step = Wide ? 2 : 1;
        for (const uint8_t* p = FPos; static_cast<size_t>(FEnd - p) >= step; p += step)
            if (p[0] == 0 && (!Wide || p[1] == 0)) {
                FPos = p + step;
                return true;
            }
        return false;
    }

  private:
    bool Take(uint32_t& v, uint32_t (*read)(const uint8_t*)) {
        if (Left() < 4) return false;
        v = read(FPos);
        FPos += 4;
        return true;
    }
    const uint8_t* FPos;
    const uint8_t* FEnd;
};

void OfferRange(TPictureChoice& choice, uint32_t type, const uint8_t* p, size_t n) {
    if (choice.Wants(type) && n <= kMaxPictureBytes) choice.Offer(type, {p, p + n});
}

// A FLAC picture block's body, also the content of METADATA_BLOCK_PICTURE.
void OfferFlacPicture(const uint8_t* p, size_t n, TPictureChoice& choice) {
    TCursor c(p, n);
    uint32_t type, mime, description, size;
    if (c.BE(type) && c.BE(mime) && c.Skip(mime) && c.BE(description) && c.Skip(description) &&
        c.Skip(16) && c.BE(size) && size <= c.Left())
        OfferRange(choice, type, c.Pos(), size);
}

// ID3v2 APIC (2.3/2.4) and PIC (2.2): encoding, MIME type (three letters in
// 2.2), picture type, description, data.
void OfferApic(const std::vector<uint8_t>& payload, bool v22, TPictureChoice& choice) {
    TCursor c(payload.data(), payload.size());
    if (c.Left() < 1) return;
    const uint8_t encoding = *c.Pos();
    c.Skip(1);
    if (!(v22 ? c.Skip(3) : c.SkipText(false)) || c.Left() < 1) return;
    const uint8_t type = *c.Pos();
    c.Skip(1);
    if (!c.SkipText(encoding == 1 || encoding == 2)) return;
    OfferRange(choice, type, c.Pos(), c.Left());
}

bool IsAsciiKey(std::string_view field, std::string_view key) {
    return field.size() >= key.size() && SameTextAscii(field.substr(0, key.size()), key);
}

// Standard base64; false on any other character. Padding ends the data.
bool DecodeBase64(std::string_view in, std::vector<uint8_t>& out) {
    out.clear();
    out.reserve(in.size() / 4 * 3 + 3);
    uint32_t acc = 0;
    int bits = 0;
    for (char ch : in) {
        int v;
        if (ch >= 'A' && ch <= 'Z')
            v = ch - 'A';
        else if (ch >= 'a' && ch <= 'z')
            v = ch - 'a' + 26;
        else if (ch >= '0' && ch <= '9')
            v = ch - '0' + 52;
        else if (ch == '+')
            v = 62;
        else if (ch == '/')
            v = 63;
        else if (ch == '=')
            break;
        else
            return false;
        acc = (acc << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<uint8_t>(acc >> bits));
        }
    }
    return true;
}

// A Vorbis comment block (vendor, then count and fields, little-endian).
void OfferCommentPictures(const uint8_t* p, size_t n, TPictureChoice& choice) {
    TCursor c(p, n);
    uint32_t vendor, count;
    if (!c.LE(vendor) || !c.Skip(vendor) || !c.LE(count)) return;
    std::vector<uint8_t> block;
    for (uint32_t i = 0; i < count && !choice.Done(); ++i) {
        uint32_t length;
        if (!c.LE(length) || length > c.Left()) return;
        const std::string_view field(reinterpret_cast<const char*>(c.Pos()), length);
        c.Skip(length);
        constexpr std::string_view kKey = "METADATA_BLOCK_PICTURE=";
        if (IsAsciiKey(field, kKey) && DecodeBase64(field.substr(kKey.size()), block))
            OfferFlacPicture(block.data(), block.size(), choice);
    }
}

// FLAC metadata blocks from At: PICTURE (6) and VORBIS_COMMENT (4).
void ReadFlacBlocks(const TFileView& f, int64_t at, TPictureChoice& choice) {
    std::vector<uint8_t> body;
    for (int n = 0; n < kMaxEntries && !choice.Done(); ++n) {
        uint8_t h[4];
        if (!f.Read(at, h, 4)) return;
        const int type = h[0] & 0x7F;
        // Blocks of no known type mean the walk has left the metadata.
        if (type > 6) return;
        const uint32_t size = (uint32_t{h[1]} << 16) | (uint32_t{h[2]} << 8) | h[3];
        at += 4;
        if (type == 6) {
            uint8_t pictureType[4];
            if (f.Read(at, pictureType, 4) && choice.Wants(BE32(pictureType)) &&
                size <= kMaxPictureBytes + kPictureSlack && f.Read(at, size, body))
                OfferFlacPicture(body.data(), body.size(), choice);
        } else if (type == 4 && f.Read(at, size, body)) {
            OfferCommentPictures(body.data(), body.size(), choice);
        }
        if (h[0] & 0x80) return;  // the last block
        at += size;
    }
}

// The packets of an Ogg file's first logical stream, from its start. A
// packet longer than the limit is skipped, not stored.
class TOggPackets {
  public:
    TOggPackets(const TFileView& f, size_t maxBytes) : F(f), FMax(maxBytes) {}

    // The next packet; false at the end of the file or of the stream.
    bool Next(std::vector<uint8_t>& packet, bool& tooLong) {
        packet.clear();
        tooLong = false;
        for (;;) {
            if (FLace == FLaces) {
                if (!NextPage()) return false;
                continue;
            }
            // The page's lacings up to the packet's end lie side by side.
            size_t run = 0;
            bool ends = false;
            while (FLace < FLaces && !ends) {
                run += FTable[FLace];
                ends = FTable[FLace++] < 255;
            }
            if (!tooLong && packet.size() + run <= FMax) {
                const size_t at = packet.size();
                packet.resize(at + run);
                if (!F.Read(FBody, packet.data() + at, run)) return false;
            } else {
                tooLong = true;
                packet.clear();
            }
            FBody += static_cast<int64_t>(run);
            if (ends) return true;
        }
    }

  private:
    bool NextPage() {
        for (;;) {
            uint8_t h[27];
            if (!F.Read(FPage, h, 27) || std::memcmp(h, "OggS", 4) != 0 || h[4] != 0) return false;
            FLaces = h[26];
            if (!F.Read(FPage + 27, FTable, FLaces)) return false;
            int64_t body = 0;
            for (int i = 0; i < FLaces; ++i) body += FTable[i];
            const uint32_t serial = LE32(h + 14);
            const int64_t page = FPage;
            FPage += 27 + FLaces + body;
            if (!FSerialKnown) {
                FSerial = serial;
                FSerialKnown = true;
            }
            if (serial != FSerial) continue;  // another stream's page
            FBody = page + 27 + FLaces;
            FLace = 0;
            return true;
        }
    }

    const TFileView& F;
    const size_t FMax;
    int64_t FPage = 0;  // the next page
    int64_t FBody = 0;  // the next lacing's bytes
    uint8_t FTable[255]{};
    int FLaces = 0;
    int FLace = 0;
    uint32_t FSerial = 0;
    bool FSerialKnown = false;
};

void ReadOgg(const TFileView& f, TPictureChoice& choice) {
    // A picture comment in base64 takes a third more than the picture.
    TOggPackets packets(f, (kMaxPictureBytes + kPictureSlack) / 3 * 4);
    std::vector<uint8_t> p;
    bool tooLong = false;
    if (!packets.Next(p, tooLong)) return;
    const auto starts = [&p](std::string_view magic) {
        return p.size() >= magic.size() && std::memcmp(p.data(), magic.data(), magic.size()) == 0;
    };
    if (starts("\x01vorbis") || starts("OpusHead")) {
        const size_t skip = starts("OpusHead") ? 8 : 7;
        if (packets.Next(p, tooLong) && p.size() > skip &&
            (starts("\x03vorbis") || starts("OpusTags")))
            OfferCommentPictures(p.data() + skip, p.size() - skip, choice);
    } else if (starts("\x7F"
                      "FLAC")) {
        // Then one metadata block per packet, up to the one marked last.
        while (!choice.Done() && packets.Next(p, tooLong)) {
            if (tooLong) continue;
            if (p.size() < 4) return;
            const int type = p[0] & 0x7F;
            if (type == 6) OfferFlacPicture(p.data() + 4, p.size() - 4, choice);
            if (type == 4) OfferCommentPictures(p.data() + 4, p.size() - 4, choice);
            if (p[0] & 0x80) return;
        }
    }
}

// One MP4 box: its type and its content's range.
struct TBox {
    char Type[4];
    int64_t Body;
    int64_t End;
};

bool NextBox(const TFileView& f, int64_t& pos, int64_t end, TBox& box) {
    uint8_t h[16];
    if (end - pos < 8 || !f.Read(pos, h, 8)) return false;
    uint64_t size = BE32(h);
    int64_t header = 8;
    if (size == 1) {  // a 64-bit size follows
        if (end - pos < 16 || !f.Read(pos + 8, h + 8, 8)) return false;
        size = (uint64_t{BE32(h + 8)} << 32) | BE32(h + 12);
        header = 16;
    } else if (size == 0) {  // up to the end of what holds it
        size = static_cast<uint64_t>(end - pos);
    }
    if (size < static_cast<uint64_t>(header) || size > static_cast<uint64_t>(end - pos))
        return false;
    std::memcpy(box.Type, h + 4, 4);
    box.Body = pos + header;
    box.End = pos + static_cast<int64_t>(size);
    pos = box.End;
    return true;
}

// The first box of this type in [from, end).
bool FindBox(const TFileView& f, int64_t from, int64_t end, const char* type, TBox& box) {
    for (int n = 0; n < kMaxEntries && NextBox(f, from, end, box); ++n)
        if (std::memcmp(box.Type, type, 4) == 0) return true;
    return false;
}

// moov/udta/meta/ilst/covr: each "data" box in covr is a cover picture.
void ReadMp4(const TFileView& f, TPictureChoice& choice) {
    TBox moov, udta, meta, ilst, covr, data;
    if (!FindBox(f, 0, f.Size(), "moov", moov) || !FindBox(f, moov.Body, moov.End, "udta", udta) ||
        !FindBox(f, udta.Body, udta.End, "meta", meta))
        return;
    // meta is a full box (version and flags first), except in files of
    // writers that leave those out: then a child box starts at once.
    uint8_t peek[8];
    int64_t children = meta.Body + 4;
    if (f.Read(meta.Body, peek, 8) && std::memcmp(peek + 4, "hdlr", 4) == 0) children = meta.Body;
    if (!FindBox(f, children, meta.End, "ilst", ilst) ||
        !FindBox(f, ilst.Body, ilst.End, "covr", covr))
        return;
    std::vector<uint8_t> bytes;
    int64_t pos = covr.Body;
    for (int n = 0; n < kMaxEntries && !choice.Done() && NextBox(f, pos, covr.End, data); ++n) {
        // Type indicator and locale, then the picture.
        const int64_t size = data.End - data.Body - 8;
        if (std::memcmp(data.Type, "data", 4) != 0 || size <= 0 ||
            size > static_cast<int64_t>(kMaxPictureBytes) ||
            !f.Read(data.Body + 8, static_cast<size_t>(size), bytes))
            continue;
        choice.Offer(kFrontCoverType, std::move(bytes));
    }
}

// APEv2 at the end of the file, or before an ID3v1 tag: binary "Cover Art
// (...)" items hold a file name, a zero byte and the picture.
void ReadApe(const TFileView& f, TPictureChoice& choice) {
    constexpr int64_t kFooter = 32;
    int64_t end = f.Size();
    uint8_t footer[kFooter];
    char id3v1[3];
    if (end >= 128 && f.Read(end - 128, id3v1, 3) && std::memcmp(id3v1, "TAG", 3) == 0)
        if (!f.Read(end - kFooter, footer, kFooter) || std::memcmp(footer, "APETAGEX", 8) != 0)
            end -= 128;
    if (end < kFooter || !f.Read(end - kFooter, footer, kFooter) ||
        std::memcmp(footer, "APETAGEX", 8) != 0 || LE32(footer + 8) != 2000)
        return;
    const int64_t tagSize = LE32(footer + 12);
    const uint32_t count = LE32(footer + 16);
    if (tagSize < kFooter || tagSize > end) return;
    const int64_t itemsEnd = end - kFooter;
    int64_t pos = end - tagSize;
    std::vector<uint8_t> value;
    for (uint32_t i = 0; i < count && i < kMaxEntries && !choice.Done(); ++i) {
        uint8_t head[8];
        if (itemsEnd - pos < 8 || !f.Read(pos, head, 8)) return;
        pos += 8;
        const uint32_t size = LE32(head);
        const bool binary = (LE32(head + 4) & 6) == 2;
        char key[256];
        const size_t room = static_cast<size_t>(std::min<int64_t>(sizeof key, itemsEnd - pos));
        if (!f.Read(pos, key, room)) return;
        const auto keyLength = static_cast<size_t>(std::find(key, key + room, '\0') - key);
        if (keyLength == room) return;  // no key fits
        pos += static_cast<int64_t>(keyLength) + 1;
        if (size > itemsEnd - pos) return;
        const std::string_view k(key, keyLength);
        const uint32_t type = SameTextAscii(k, "Cover Art (Front)") ? kFrontCoverType : 0;
        if (binary && IsAsciiKey(k, "Cover Art (") && choice.Wants(type) &&
            size <= kMaxPictureBytes + kPictureSlack && f.Read(pos, size, value)) {
            const auto name = std::find(value.begin(), value.end(), uint8_t{0});
            if (name != value.end())
                OfferRange(choice, type, &*name + 1, static_cast<size_t>(value.end() - name - 1));
        }
        pos += size;
    }
}

// ID3v2 at the start; returns where the tag ends (0 without one).
int64_t ReadId3v2(int fd, TPictureChoice& choice) {
    TId3v2Tag tag;
    if (::lseek(fd, 0, SEEK_SET) != 0 ||
        !ReadId3v2Tag(fd, static_cast<int64_t>(kMaxPictureBytes + kPictureSlack), tag))
        return 0;
    std::vector<uint8_t> payload;
    WalkId3v2Frames(tag, [&](std::string_view id, uint8_t flags, const uint8_t* data, size_t size) {
        if ((id == "APIC" || id == "PIC") && Id3v2FramePayload(tag, flags, data, size, payload))
            OfferApic(payload, id == "PIC", choice);
        return !choice.Done();
    });
    return tag.TagSize;
}

}  // namespace

std::string SniffPictureType(const uint8_t* p, size_t n) {
    const auto is = [&](size_t at, std::string_view magic) {
        return n >= at + magic.size() && std::memcmp(p + at, magic.data(), magic.size()) == 0;
    };
    if (is(0, "\xFF\xD8\xFF")) return "image/jpeg";
    if (is(0, "\x89PNG\r\n\x1A\n")) return "image/png";
    if (is(0, "RIFF") && is(8, "WEBP")) return "image/webp";
    if (is(0, "GIF87a") || is(0, "GIF89a")) return "image/gif";
    if (is(0, "BM") && n >= 26) return "image/bmp";
    return {};
}

bool TPictureChoice::Offer(uint32_t Type, std::vector<uint8_t> Data) {
    if (!Wants(Type) || Data.size() > kMaxPictureBytes) return false;
    std::string mime = SniffPictureType(Data.data(), Data.size());
    if (mime.empty()) return false;
    FPicture = TPicture{std::move(Data), std::move(mime)};
    FFront = Type == kFrontCoverType;
    return true;
}

bool ReadEmbeddedPictures(int Fd, TPictureChoice& Choice) {
    struct stat st;
    if (::fstat(Fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const TFileView f(Fd, st.st_size);
    const int64_t id3 = ReadId3v2(Fd, Choice);
    uint8_t head[8];
    const bool flac = f.Read(id3, head, 4) && std::memcmp(head, "fLaC", 4) == 0;
    if (flac && !Choice.Done()) ReadFlacBlocks(f, id3 + 4, Choice);
    const bool ogg = f.Read(0, head, 4) && std::memcmp(head, "OggS", 4) == 0;
    if (ogg && !Choice.Done()) ReadOgg(f, Choice);
    const bool mp4 = f.Read(0, head, 8) && std::memcmp(head + 4, "ftyp", 4) == 0;
    if (mp4 && !Choice.Done()) ReadMp4(f, Choice);
    if (!Choice.Done()) ReadApe(f, Choice);
    return id3 > 0 || flac || ogg || mp4;
}

}  // namespace quillet
