// quillet-cli decode: a file through the player's own input to WAV or raw PCM.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ACS_Procs.h"
#include "commands.h"
#include "media_common.h"

namespace quillet::cli {
namespace {

// The canonical 44-byte header of a PCM WAV.
std::vector<uint8_t> WaveHeader(uint32_t channels, uint32_t rate, uint32_t bits,
                                uint64_t dataSize) {
    std::vector<uint8_t> h(44, 0);
    const uint32_t size =
        dataSize > 0xFFFFFFFFull - 36 ? 0xFFFFFFFFu - 36 : static_cast<uint32_t>(dataSize);
    const uint16_t align = FrameBytesOf(channels, bits);
    std::memcpy(&h[0], "RIFF", 4);
    PutLE32(&h[4], 36 + size);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    PutLE32(&h[16], 16);
    PutLE16(&h[20], 1);
    PutLE16(&h[22], static_cast<uint16_t>(channels));
    PutLE32(&h[24], rate);
    PutLE32(&h[28], rate * align);
    PutLE16(&h[32], align);
    PutLE16(&h[34], static_cast<uint16_t>(bits));
    std::memcpy(&h[36], "data", 4);
    PutLE32(&h[40], size);
    return h;
}

bool WriteAll(FILE* f, const void* data, size_t size) {
    return size == 0 || std::fwrite(data, 1, size, f) == size;
}

int Decode(const std::vector<std::string>& args) {
    bool raw = false, discard = false;
    int64_t start = -1, end = -1;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--raw") {
            raw = true;
        } else if (a == "--null") {
            discard = true;
        } else if (a == "--start" || a == "--end") {
            int64_t v;
            if (i + 1 >= args.size() || !ParseInt64(args[i + 1], v) || v < 0)
                return UsageError(a + " needs a sample number");
            (a == "--start" ? start : end) = v;
            ++i;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            return UsageError("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != (discard ? 1u : 2u))
        return UsageError("decode needs IN and OUT (or --null and IN)");

    Owned<TAuFileIn> input = OpenInput(files[0]);
    if (start >= 0) input->SetStartSample(start);
    if (end >= 0) input->SetEndSample(end);
    input->BeginRead();
    // A file no input can read decodes to nothing; that is a failure, not an
    // empty success (scripts and benchmarks rely on the exit status).
    if (!input->IsValid()) {
        input->EndRead();
        std::fprintf(stderr, "%s: not a file this input can read\n", files[0].c_str());
        return 1;
    }
    const uint32_t channels = input->GetChannels(), rate = input->GetSampleRate(),
                   bits = input->GetBitsPerSample();

    // A file gets its header first and its sizes patched at the end; standard
    // output cannot be patched, so its PCM is held until the end.
    const bool toStdout = !discard && files[1] == "-";
    FILE* out = nullptr;
    if (!discard) {
        out = toStdout ? stdout : std::fopen(files[1].c_str(), "wb");
        if (!out) {
            input->EndRead();
            std::fprintf(stderr, "%s: %s\n", files[1].c_str(), std::strerror(errno));
            return 1;
        }
    }
    bool ok = true;
    if (out && !raw && !toStdout)
        ok = WriteAll(out, WaveHeader(channels, rate, bits, 0).data(), 44);
    std::vector<uint8_t> held;
    uint64_t total = 0;
    for (;;) {
        uint8_t* block = nullptr;
        uint32_t bytes = 1u << 20;
        input->GetBlock(block, bytes);
        if (bytes == 0 || !block) break;
        total += bytes;
        if (!out) continue;
        if (toStdout && !raw)
            held.insert(held.end(), block, block + bytes);
        else
            ok = ok && WriteAll(out, block, bytes);
    }
    input->EndRead();
    if (out && toStdout && !raw) {
        ok = WriteAll(out, WaveHeader(channels, rate, bits, total).data(), 44) &&
             WriteAll(out, held.data(), held.size());
    } else if (out && !raw) {
        const std::vector<uint8_t> header = WaveHeader(channels, rate, bits, total);
        ok = ok && std::fseek(out, 0, SEEK_SET) == 0 && WriteAll(out, header.data(), 44);
    }
    if (out) ok = (out == stdout ? std::fflush(out) : std::fclose(out)) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "%s: %s\n", files[1].c_str(), std::strerror(errno));
        return 1;
    }
    return 0;
}

TCommand decodeCmd("decode",
                   "decode [--raw] [--start N] [--end M] IN OUT|-   (or: decode --null IN)",
                   &Decode);

}  // namespace
}  // namespace quillet::cli
