#include "content_sniff.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "id3v2_size.h"
#include "mpeg_header.h"

namespace quillet {
namespace {

bool Starts(const uint8_t* d, size_t n, size_t at, const char* magic) {
    const size_t len = std::strlen(magic);
    return n >= at + len && std::memcmp(d + at, magic, len) == 0;
}

constexpr uint8_t kAsfGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                  0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
// Wave64 starts with the GUID of its "riff" chunk.
constexpr uint8_t kW64Guid[16] = {'r',  'i',  'f',  'f',  0x2E, 0x91, 0xCF, 0x11,
                                  0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};

}  // namespace

TContentKind SniffContent(const uint8_t* d, size_t n) {
    using C = TContentKind;
    if (n >= 12 &&
        (Starts(d, n, 0, "RIFF") || Starts(d, n, 0, "RF64") || Starts(d, n, 0, "BW64")) &&
        Starts(d, n, 8, "WAVE"))
        return C::ckWave;
    if (Starts(d, n, 0, "fLaC")) return C::ckFlac;
    if (Starts(d, n, 0, "OggS")) {
        // The first page's first packet names the codec: after the 27-byte
        // header and the segment table.
        if (n < 27) return C::ckUnknown;
        const size_t body = 27 + d[26];
        if (Starts(d, n, body, "\x01vorbis")) return C::ckOggVorbis;
        return n > body ? C::ckOggOther : C::ckUnknown;
    }
    if (Starts(d, n, 0, "MP+") || Starts(d, n, 0, "MPCK")) return C::ckMusepack;
    if (n >= 16 && std::memcmp(d, kAsfGuid, 16) == 0) return C::ckAsf;
    if (n >= 16 && std::memcmp(d, kW64Guid, 16) == 0) return C::ckFFmpeg;
    if ((Starts(d, n, 0, "FORM") && (Starts(d, n, 8, "AIFF") || Starts(d, n, 8, "AIFC"))) ||
        Starts(d, n, 4, "ftyp") || Starts(d, n, 0, "caff") || Starts(d, n, 0, "wvpk") ||
        Starts(d, n, 0, "MAC ") || Starts(d, n, 0, "TTA1") || Starts(d, n, 0, ".snd") ||
        Starts(d, n, 0, "DSD "))
        return C::ckFFmpeg;
    bool adts = false;
    if (MpegHeader(d, n, adts)) return adts ? C::ckFFmpeg : C::ckMpegAudio;
    return C::ckUnknown;
}

bool InputReads(TInputKind kind, TContentKind content) {
    using C = TContentKind;
    switch (kind) {
        case TInputKind::ikWave:
            return content == C::ckWave;
        case TInputKind::ikFLAC:
            return content == C::ckFlac;
        case TInputKind::ikVorbis:
            return content == C::ckOggVorbis;
        case TInputKind::ikMPC:
            return content == C::ckMusepack;
        case TInputKind::ikMP3:
        case TInputKind::ikWM:
            return content == C::ckMpegAudio || content == C::ckAsf;
        case TInputKind::ikFFmpeg:
            return content == C::ckOggVorbis || content == C::ckOggOther ||
                   content == C::ckMpegAudio || content == C::ckFFmpeg;
        case TInputKind::ikStream:
            return false;  // reads addresses, not bytes
    }
    return false;
}

TInputKind ChooseInputKind(TInputKind byExtension, TContentKind content) {
    if (content == TContentKind::ckUnknown || InputReads(byExtension, content)) return byExtension;
    return InputForContent(content);
}

TInputKind InputForContent(TContentKind content) {
    using C = TContentKind;
    switch (content) {
        case C::ckWave:
            return TInputKind::ikWave;
        case C::ckFlac:
            return TInputKind::ikFLAC;
        case C::ckOggVorbis:
            return TInputKind::ikVorbis;
        case C::ckMpegAudio:
            return TInputKind::ikMP3;
        case C::ckAsf:
            return TInputKind::ikWM;
        case C::ckMusepack:
            return TInputKind::ikMPC;
        default:
            return TInputKind::ikFFmpeg;
    }
}

std::optional<TInputKind> InputKindFor(const std::string& path) {
    const std::optional<TInputKind> kind = FindInputKind(path);
    if (kind && *kind == TInputKind::ikStream) return kind;  // an address is never read here
    // Non-blocking, so that a FIFO given as a file never waits for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return kind;  // the input reports the error itself (or "Format not supported")
    TContentKind content = TContentKind::ckUnknown;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        uint8_t head[kSniffBytes];
        int64_t at = 0;
        ssize_t got = ::pread(fd, head, sizeof head, 0);
        // Tags in front of the audio (MP3s, some FLACs): look behind them.
        for (int tags = 0; tags < 4 && got > 0; ++tags) {
            const int64_t size = Id3v2Size(head, static_cast<size_t>(got));
            if (size == 0 || size > st.st_size - at) break;
            at += size;
            got = ::pread(fd, head, sizeof head, at);
        }
        if (got > 0) content = SniffContent(head, static_cast<size_t>(got));
    }
    ::close(fd);
    // A name no input claims (a sheet's "image.bin"): the content alone.
    if (!kind) return content == TContentKind::ckUnknown ? kind : InputForContent(content);
    return ChooseInputKind(*kind, content);
}

}  // namespace quillet
