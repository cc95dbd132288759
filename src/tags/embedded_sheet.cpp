#include "embedded_sheet.h"

#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <string_view>

#include "ACS_Tags.h"
#include "id3v2_size.h"
#include "tags_internal.h"
#include "text.h"

namespace quillet {
namespace {

using tags_detail::BE24;
using tags_detail::BE64;
using tags_detail::LE32;

// No metadata item we read is larger (cover art is skipped, not read).
constexpr int64_t kMaxItem = int64_t{16} << 20;
// A FLAC stream has a handful of metadata blocks; a long run of them is junk.
constexpr int kMaxFlacBlocks = 1024;

// A byte view that refuses to read past its end.
class TReader {
  public:
    explicit TReader(std::string_view data) : FData(data) {}
    bool Take(size_t n, std::string_view& out) {
        if (n > FData.size()) return false;
        out = FData.substr(0, n);
        FData.remove_prefix(n);
        return true;
    }
    bool Skip(size_t n) {
        std::string_view ignored;
        return Take(n, ignored);
    }
    const uint8_t* Bytes(size_t n) {
        std::string_view v;
        return Take(n, v) ? reinterpret_cast<const uint8_t*>(v.data()) : nullptr;
    }
    size_t Left() const { return FData.size(); }

  private:
    std::string_view FData;
};

// The comment list of a Vorbis comment structure (vendor, count, entries).
void ReadComments(std::string_view data, TEmbeddedSheet& out) {
    TReader in(data);
    const uint8_t* n = in.Bytes(4);
    if (n == nullptr || !in.Skip(LE32(n))) return;
    const uint8_t* c = in.Bytes(4);
    if (c == nullptr) return;
    // Each entry takes at least its 4-byte length: a count past that is a lie.
    const uint32_t count = LE32(c);
    for (uint32_t i = 0; i < count && in.Left() >= 4; ++i) {
        std::string_view entry;
        if (!in.Take(LE32(in.Bytes(4)), entry)) return;
        out.Comments.emplace_back(entry);
    }
    out.Text = CommentValue(out.Comments, "CUESHEET");
}

void ReadCueSheetBlock(std::string_view data, TEmbeddedSheet& out) {
    TReader in(data);
    // Catalogue number, lead-in, flags and reserved bytes, then the count.
    if (!in.Skip(128 + 8 + 1 + 258)) return;
    const uint8_t* count = in.Bytes(1);
    if (count == nullptr) return;
    std::vector<TFlacCueTrack> tracks;
    for (int t = 0; t < count[0]; ++t) {
        const uint8_t* head = in.Bytes(36);
        if (head == nullptr) return;
        TFlacCueTrack track;
        track.Number = head[8];
        track.Audio = (head[21] & 0x80) == 0;
        const uint64_t offset = BE64(head);
        for (int i = 0; i < head[35]; ++i) {
            const uint8_t* index = in.Bytes(12);
            if (index == nullptr) return;
            const uint64_t at = offset + BE64(index);
            if (index[8] == 1 && at < (uint64_t{1} << 62)) track.Start = static_cast<int64_t>(at);
        }
        // The lead-out (170 on a CD, 255 otherwise) is the last track.
        if (t + 1 == count[0] && (track.Number == 170 || track.Number == 255)) break;
        tracks.push_back(track);
    }
    out.Block = std::move(tracks);
}

// One FLAC metadata block (type and body), native or from an Ogg packet.
void TakeFlacBlock(int type, std::string_view body, TEmbeddedSheet& out) {
    if (type == 0 && body.size() >= 18) {
        const auto* b = reinterpret_cast<const uint8_t*>(body.data());
        out.SampleRate = (uint32_t{b[10]} << 12) | (uint32_t{b[11]} << 4) | (b[12] >> 4);
    } else if (type == 4 && out.Comments.empty()) {
        ReadComments(body, out);
    } else if (type == 5 && out.Block.empty()) {
        ReadCueSheetBlock(body, out);
    }
}

// Reads `size` bytes at the stream's position, if the stream holds them.
bool ReadItem(TStream& stream, int64_t size, std::string& out) {
    const int64_t left = stream.Size() - stream.Position();
    if (size < 0 || size > kMaxItem || size > left) return false;
    out.resize(static_cast<size_t>(size));
    return stream.ReadExact(out.data(), size);
}

void ReadNativeFlac(TStream& stream, TEmbeddedSheet& out) {
    std::string body;
    for (int i = 0; i < kMaxFlacBlocks; ++i) {
        uint8_t head[4];
        if (!stream.ReadExact(head, 4)) return;
        const int type = head[0] & 0x7F;
        const int64_t size = BE24(head + 1);
        if (type == 0 || type == 4 || type == 5) {
            if (!ReadItem(stream, size, body)) return;
            TakeFlacBlock(type, body, out);
        } else if (stream.Seek(size, TSeekOrigin::soCurrent) < 0 ||
                   stream.Position() > stream.Size()) {
            return;
        }
        if (head[0] & 0x80) return;  // the last block
    }
}

// Calls `packet` with each packet of the first logical stream, in order,
// until it returns false. A packet over kMaxItem ends the walk.
void ForEachOggPacket(TStream& stream, const std::function<bool(int, std::string_view)>& packet) {
    std::string data;
    uint32_t serial = 0;
    bool first = true;
    int index = 0;
    // Pages of other streams are skipped by seeking; a file of nothing else
    // still ends the walk after this many.
    for (int page = 0; page < 65536; ++page) {
        uint8_t head[27];
        if (!stream.ReadExact(head, 27) || std::memcmp(head, "OggS", 4) != 0) return;
        uint8_t lacing[255];
        if (!stream.ReadExact(lacing, head[26])) return;
        int64_t bodySize = 0;
        for (int i = 0; i < head[26]; ++i) bodySize += lacing[i];
        const uint32_t pageSerial = LE32(head + 14);
        if (first) serial = pageSerial;
        first = false;
        if (pageSerial != serial) {
            if (stream.Seek(bodySize, TSeekOrigin::soCurrent) < 0) return;
            continue;
        }
        std::string body;
        if (!ReadItem(stream, bodySize, body)) return;
        size_t at = 0;
        for (int i = 0; i < head[26]; ++i) {
            data.append(body, at, lacing[i]);
            at += lacing[i];
            if (static_cast<int64_t>(data.size()) > kMaxItem) return;
            if (lacing[i] < 255) {  // a packet ends here
                if (!packet(index++, data)) return;
                data.clear();
            }
        }
    }
}

void ReadOgg(TStream& stream, TEmbeddedSheet& out) {
    bool flac = false;
    ForEachOggPacket(stream, [&](int index, std::string_view p) {
        if (index == 0) {
            // Ogg FLAC's first packet holds STREAMINFO after its 13-byte head.
            flac = p.substr(0, 5) ==
                   "\x7F"
                   "FLAC";
            if (flac && p.size() >= 17) TakeFlacBlock(0, p.substr(17), out);
            return true;
        }
        if (flac) {
            if (p.size() < 4) return false;
            const auto* b = reinterpret_cast<const uint8_t*>(p.data());
            TakeFlacBlock(b[0] & 0x7F, p.substr(4), out);
            return (b[0] & 0x80) == 0 && index < kMaxFlacBlocks;
        }
        if (p.substr(0, 7) == "\x03vorbis")
            ReadComments(p.substr(7), out);
        else if (p.substr(0, 8) == "OpusTags")
            ReadComments(p.substr(8), out);
        return false;  // only the comment header was wanted
    });
}

void ReadApe(TStream& stream, TEmbeddedSheet& out) {
    ForEachAPEv2TextItem(stream, [&](std::string_view key, std::string_view value) {
        std::string comment(key);
        comment += '=';
        comment += value;
        out.Comments.push_back(std::move(comment));
    });
    out.Text = CommentValue(out.Comments, "Cuesheet");
}

}  // namespace

std::string CommentValue(const std::vector<std::string>& comments, std::string_view key) {
    for (const std::string& c : comments) {
        const size_t eq = c.find('=');
        if (eq != std::string::npos && SameTextAscii(std::string_view(c).substr(0, eq), key))
            return c.substr(eq + 1);
    }
    return {};
}

TEmbeddedSheet ReadEmbeddedSheet(TStream& stream) {
    TEmbeddedSheet out;
    uint8_t start[10] = {};
    stream.SetPosition(0);
    if (!stream.ReadExact(start, 10)) return out;
    int64_t skip = 0;
    // An ID3v2 tag some rippers put before the FLAC signature.
    if ((skip = Id3v2Size(start, 10)) > 0) {
        stream.SetPosition(skip);
        if (!stream.ReadExact(start, 4)) std::memset(start, 0, 4);
    }
    if (std::memcmp(start, "fLaC", 4) == 0) {
        stream.SetPosition(skip + 4);
        ReadNativeFlac(stream, out);
    } else if (skip == 0 && std::memcmp(start, "OggS", 4) == 0) {
        stream.SetPosition(0);
        ReadOgg(stream, out);
    } else {
        ReadApe(stream, out);
    }
    return out;
}

TEmbeddedSheet ReadEmbeddedSheet(const std::string& path) {
    struct stat st {};
    // A FIFO or a device would block or never end.
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    try {
        TAuFileStream file(path, fmOpenRead | fmShareDenyWrite);
        return ReadEmbeddedSheet(file);
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace quillet
