#include "ACS_Wave.h"

#include <algorithm>
#include <cstring>

#include "ACS_Procs.h"
#include "WaveConverter.h"
#include "ffmpeg_lib.h"

namespace quillet {
namespace {

// An extensible file's sub-format GUID: a format tag in its first two bytes,
// then these fourteen.
const uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                               0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// The format tag a sub-format GUID stands for; 0 for any other GUID.
uint16_t SubFormatTag(const uint8_t* guid) {
    return std::memcmp(guid + 2, kGuidTail, sizeof kGuidTail) == 0 ? GetLE16(guid) : 0;
}

// G.711 expansion to 16-bit linear, one table per law.
struct TG711Tables {
    int16_t ALaw[256];
    int16_t MuLaw[256];
    constexpr TG711Tables() : ALaw(), MuLaw() {
        for (int i = 0; i < 256; ++i) {
            const int a = i ^ 0x55;
            const int seg = (a >> 4) & 7;
            int t = ((a & 0x0F) << 4) + 8;
            if (seg != 0) t = (t + 0x100) << (seg - 1);
            ALaw[i] = static_cast<int16_t>((a & 0x80) ? t : -t);
            const int u = ~i & 0xFF;
            const int m = ((((u & 0x0F) << 3) + 0x84) << ((u >> 4) & 7)) - 0x84;
            MuLaw[i] = static_cast<int16_t>((u & 0x80) ? -m : m);
        }
    }
};
constexpr TG711Tables kG711;

const int16_t kImaSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
const int8_t kImaIndex[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};
const int16_t kMsAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                   768, 614, 512, 409, 307, 230, 230, 230};

// More channels than this is not a file we can play (and keeps every frame
// well inside the block store).
constexpr uint32_t kMaxChannels = 255;
// Keeps the MS ADPCM delta products inside 32 bits.
constexpr int32_t kMsMaxDelta = INT32_MAX / 768;

bool AtStreamEnd(TStream& s) {
    const int64_t size = s.Size();
    return size >= 0 && s.Position() >= size;
}

struct TImaChannel {
    int32_t Predictor;
    int32_t Index;

    void Load(const uint8_t* header) {
        Predictor = static_cast<int16_t>(GetLE16(header));
        Index = std::min<int32_t>(header[2], 88);  // a damaged header must not index past the table
    }
    int16_t Step(uint8_t nibble) {
        const int32_t step = kImaSteps[Index];
        int32_t diff = step >> 3;
        if (nibble & 4) diff += step;
        if (nibble & 2) diff += step >> 1;
        if (nibble & 1) diff += step >> 2;
        if (nibble & 8) diff = -diff;
        Predictor = std::clamp(Predictor + diff, -32767, 32767);
        Index = std::clamp(Index + kImaIndex[nibble], 0, 88);
        return static_cast<int16_t>(Predictor);
    }
};

struct TMsChannel {
    int32_t Coef1, Coef2, Delta, Sample1, Sample2;

    int16_t Step(uint8_t nibble) {
        const int32_t signedNibble = nibble >= 8 ? nibble - 16 : nibble;
        int32_t prediction = (Sample1 * Coef1 + Sample2 * Coef2) / 256;
        prediction = std::clamp(prediction + Delta * signedNibble, -32768, 32767);
        Delta = std::clamp(Delta * kMsAdaptation[nibble] / 256, 16, kMsMaxDelta);
        Sample2 = Sample1;
        Sample1 = prediction;
        return static_cast<int16_t>(prediction);
    }
};

inline void Put16(uint8_t* out, int32_t index, int16_t v) {
    PutLE16(out + 2 * index, static_cast<uint16_t>(v));
}

}  // namespace

int64_t ReadUpTo(TStream& s, void* buffer, int64_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    int64_t total = 0;
    while (total < count) {
        const int64_t n = s.Read(p + total, count - total);
        if (n <= 0) break;
        total += n;
    }
    return total;
}

bool SameChunkId(const uint8_t* id, const char* expected) {
    for (int i = 0; i < 4; ++i) {
        const int d = id[i] - static_cast<uint8_t>(expected[i]);
        if (d != 0 && d != 32 && d != -32) return false;
    }
    return true;
}

TWaveIn::TWaveIn(TComponent* owner) : TAuFileIn(owner), FBlock(kBlockBytes) {}

TWaveIn::~TWaveIn() {
    CloseSource();
}

TWaveFormatKind TWaveIn::Kind() {
    std::lock_guard<std::recursive_mutex> lock(FOpenLock);
    OpenSource();
    return FKind;
}

int64_t TWaveIn::GetSampleCount() {
    std::lock_guard<std::recursive_mutex> lock(FOpenLock);
    const int64_t count = TAuFileIn::GetSampleCount();
    if (count < 0 && FIsValid && FDataBytes == 0) FSampleCount = 0;
    return FSampleCount;
}

bool TWaveIn::ParseWaveHeader() {
    FDataSize = 0;
    FSizeIsEstimate = false;
    FDataBytes = FDataLeft = -1;
    FBitsPerSample = FChannels = FSampleRate = 0;
    FKind = TWaveFormatKind::wkUnknown;
    FHeaderSize = 0;
    TStream& s = *FSourceStream;
    const int64_t streamSize = s.Size();
    int64_t consumed = 0;
    uint8_t id[4];
    bool rf64 = false;
    uint64_t ds64DataSize = 0;  // the 64-bit data size of an RF64/BW64 file
    bool haveDs64 = false;
    auto read = [&](void* p, int64_t n) {
        const int64_t got = ReadUpTo(s, p, n);
        consumed += got;
        return got == n;
    };
    auto readId = [&] { return read(id, 4); };
    auto slide = [&] {
        std::memmove(id, id + 1, 3);
        return read(id + 3, 1);
    };
    auto readSize = [&](uint32_t& v) {
        uint8_t b[4];
        if (!read(b, 4)) return false;
        v = GetLE32(b);
        return true;
    };
    // Skipping never goes past the walk's limit, so a huge size seeks nowhere.
    auto skip = [&](uint32_t n) {
        if (consumed + n >= kMaxHeaderBytes || s.Seek(n, TSeekOrigin::soCurrent) < 0) return false;
        consumed += n;
        return true;
    };
    // RIFF pads an odd-sized chunk with one byte. Writers that leave the pad
    // out are met too: only a byte that cannot begin an identifier is a pad.
    auto readNextId = [&](uint32_t size) {
        if (!readId()) return false;
        if ((size & 1) && (id[0] < 0x20 || id[0] > 0x7E)) return slide();
        return true;
    };
    auto skipChunk = [&] {
        uint32_t size;
        return readSize(size) && skip(size) && readNextId(size);
    };

    enum { sRiff, sWave, sFmt, sFact, sData } state = sRiff;
    if (!readId()) return false;
    for (;;) {
        bool ok = true;
        if (rf64 && state >= sFmt && SameChunkId(id, "ds64")) {
            // RIFF size, data size, sample count (64 bits each), then a table
            // of other chunks' sizes that nothing here needs.
            uint32_t size;
            uint8_t body[16];
            if (!readSize(size) || size < 16 || !read(body, 16)) return false;
            ds64DataSize = GetLE64(body + 8);
            haveDs64 = true;
            if (!skip(size - 16) || !readNextId(size) || (FCanSeek && AtStreamEnd(s)) ||
                consumed >= kMaxHeaderBytes)
                return false;
            continue;
        }
        switch (state) {
            case sRiff:
                if (SameChunkId(id, "RIFF") || SameChunkId(id, "RF64") || SameChunkId(id, "BW64")) {
                    rf64 = !SameChunkId(id, "RIFF");
                    uint32_t riffSize;
                    ok = readSize(riffSize);
                    state = sWave;
                } else {
                    ok = slide();
                }
                break;
            case sWave:
                if (SameChunkId(id, "WAVE")) {
                    ok = readId();
                    state = sFmt;
                } else {
                    ok = slide();
                }
                break;
            case sFmt:
                if (SameChunkId(id, "fmt ")) {
                    uint32_t size;
                    if (!readSize(size) || size > kMaxFormatBytes) return false;
                    uint8_t body[kMaxFormatBytes] = {};
                    if (!read(body, size)) return false;
                    const uint8_t* b = body;
                    const uint16_t tag = GetLE16(b);
                    switch (tag) {
                        case 1:
                            FKind = TWaveFormatKind::wkPcm;
                            break;
                        case 0x11:
                            FKind = TWaveFormatKind::wkImaAdpcm;
                            break;
                        case 2:
                            FKind = TWaveFormatKind::wkMsAdpcm;
                            break;
                        case 0x55:
                            FKind = TWaveFormatKind::wkMpegLayer3;
                            break;
                        case 3:
                            FKind = TWaveFormatKind::wkFloat;
                            break;
                        case 6:
                            FKind = TWaveFormatKind::wkALaw;
                            break;
                        case 7:
                            FKind = TWaveFormatKind::wkMuLaw;
                            break;
                        case 0xFFFE:
                            switch (size >= 16 ? SubFormatTag(b + size - 16) : 0) {
                                case 1:
                                    FKind = TWaveFormatKind::wkExtensiblePcm;
                                    break;
                                case 3:
                                    FKind = TWaveFormatKind::wkExtensibleFloat;
                                    break;
                                case 6:
                                    FKind = TWaveFormatKind::wkALaw;
                                    break;
                                case 7:
                                    FKind = TWaveFormatKind::wkMuLaw;
                                    break;
                                default:
                                    return ParseThroughFfmpeg();
                            }
                            break;
                        default:
                            return ParseThroughFfmpeg();
                    }
                    FChannels = GetLE16(b + 2);
                    FSampleRate = GetLE32(b + 4);
                    FBitsPerSample = GetLE16(b + 14);
                    const uint16_t align = GetLE16(b + 12);
                    if (FKind == TWaveFormatKind::wkImaAdpcm) {
                        FImaBlockAlign = align;
                        FImaSamplesPerBlock = GetLE16(b + 18);
                        state = sFact;
                    } else {
                        FMsBlockAlign = align;
                        FMsSamplesPerBlock = GetLE16(b + 18);
                        state = sData;
                        if (FKind == TWaveFormatKind::wkMsAdpcm) {
                            // Only the pairs the body really holds.
                            const uint32_t stored = size > 22 ? (size - 22) / 4 : 0;
                            FMsCoefCount = static_cast<uint16_t>(
                                std::min<uint32_t>({GetLE16(b + 20), 32, stored}));
                            for (int i = 0; i < FMsCoefCount; ++i) {
                                FMsCoefs[i][0] = static_cast<int16_t>(GetLE16(b + 22 + 4 * i));
                                FMsCoefs[i][1] = static_cast<int16_t>(GetLE16(b + 24 + 4 * i));
                            }
                        }
                        if (FKind == TWaveFormatKind::wkMsAdpcm ||
                            FKind == TWaveFormatKind::wkMpegLayer3)
                            state = sFact;
                    }
                    ok = readNextId(size);
                } else {
                    ok = skipChunk();
                }
                break;
            case sFact:
                if (SameChunkId(id, "fact")) {
                    uint32_t size;
                    uint8_t count[4] = {};
                    ok = readSize(size) && read(count, std::min<uint32_t>(size, 4)) &&
                         skip(size - std::min<uint32_t>(size, 4)) && readNextId(size);
                    if (FKind == TWaveFormatKind::wkImaAdpcm)
                        FImaSampleCount = GetLE32(count);
                    else
                        FMsSampleCount = GetLE32(count);
                    state = sData;
                } else {
                    ok = skipChunk();
                }
                break;
            case sData:
                if (SameChunkId(id, "data")) {
                    uint32_t size;
                    if (!readSize(size)) return false;
                    FHeaderSize = static_cast<uint16_t>(consumed);
                    SettleDataSize(rf64 && haveDs64 && size == 0xFFFFFFFFu ? ds64DataSize : size,
                                   FCanSeek && streamSize >= 0
                                       ? std::max<int64_t>(streamSize - s.Position(), 0)
                                       : -1);
                    return true;
                }
                ok = skipChunk();
                break;
        }
        if (!ok || (FCanSeek && AtStreamEnd(s)) || consumed >= kMaxHeaderBytes) return false;
    }
}

void TWaveIn::SettleDataSize(uint64_t stored, int64_t remaining) {
    if ((stored == 0 && remaining != 0) ||
        (remaining >= 0 && stored > static_cast<uint64_t>(remaining))) {
        // A writer that never patched the size (or a file still being
        // written, or cut short): play what the file holds, to its end.
        FDataBytes = -1;
        FDataSize = remaining;
        FSizeIsEstimate = remaining >= 0;
    } else {
        // A size of 0 with nothing after the header is a chunk truly empty:
        // no samples, exactly.
        FDataBytes = stored > static_cast<uint64_t>(INT64_MAX) ? -1 : static_cast<int64_t>(stored);
        FDataSize = FDataBytes;
    }
    FDataLeft = FDataBytes;
    // The compressed kinds take their length from the "fact" count instead.
    using K = TWaveFormatKind;
    if (FKind != K::wkPcm && FKind != K::wkFloat && FKind != K::wkExtensiblePcm &&
        FKind != K::wkExtensibleFloat && FKind != K::wkALaw && FKind != K::wkMuLaw) {
        FDataSize = 0;
        FSizeIsEstimate = false;
    }
}

int32_t TWaveIn::DecodedBlockBytes() const {
    const int32_t ch = static_cast<int32_t>(FChannels);
    switch (FKind) {
        case TWaveFormatKind::wkImaAdpcm: {
            const int32_t data = FImaBlockAlign - 4 * ch;
            if (ch == 1) return (2 * data + 1) * 2;
            return (8 * (data / (4 * ch)) + 1) * 2 * ch;
        }
        case TWaveFormatKind::wkMsAdpcm: {
            const int32_t wanted = FMsSamplesPerBlock - 2;
            if (ch == 1) return (2 + 2 * std::min(wanted / 2, FMsBlockAlign - 7)) * 2;
            return (2 + std::min(wanted, FMsBlockAlign - 14)) * 4;
        }
        default:
            return 0;
    }
}

void TWaveIn::SettleFormat() {
    using K = TWaveFormatKind;
    const uint32_t ch = FChannels, bits = FBitsPerSample;
    const uint16_t align = FKind == K::wkImaAdpcm ? FImaBlockAlign : FMsBlockAlign;
    // The payload, not the header, gives MPEG layer-3's bits and blocks.
    const bool mpeg = FKind == K::wkMpegLayer3;
    bool playable = FKind != K::wkUnknown && ch != 0 && ch <= kMaxChannels && FSampleRate != 0 &&
                    ((bits != 0 && align != 0) || mpeg);
    if (playable) switch (FKind) {
            case K::wkPcm:
            case K::wkExtensiblePcm:
                playable = bits == 8 || bits == 16 || bits == 24 || bits == 32;
                break;
            case K::wkImaAdpcm:
                playable = bits == 4 && FImaSamplesPerBlock != 0 && align >= 4 * ch;
                FBitsPerSample = 16;
                FDataSize = int64_t{FImaSampleCount} * 2 * ch;
                break;
            case K::wkMsAdpcm:
                playable = ch <= 2 && FMsSamplesPerBlock >= 2 && align >= 7 * ch;
                FBitsPerSample = 16;
                FDataSize = int64_t{FMsSampleCount} * 2 * ch;
                break;
            case K::wkFloat:
            case K::wkExtensibleFloat:
                playable = bits == 32 || bits == 64;
                FSingleFloat = bits == 32;
                if (bits == 64 && FDataSize > 0) FDataSize = FDataSize / 2;
                FBitsPerSample = 32;
                break;
            case K::wkALaw:
            case K::wkMuLaw:
                playable = bits == 8;
                FBitsPerSample = 16;
                if (FDataSize > 0) FDataSize = FDataSize * 2;
                break;
            default:
                break;
        }
    if (!playable) {
        FKind = K::wkUnknown;
        FDataSize = 0;
        FSizeIsEstimate = false;
        return;
    }
    if (FKind == K::wkImaAdpcm || FKind == K::wkMsAdpcm) {
        // As many blocks at once as fill about kAdpcmBatchBytes of PCM.
        const int32_t perBlock = DecodedBlockBytes();
        const int32_t blocks = std::max(1, kAdpcmBatchBytes / std::max(perBlock, 1));
        FBlock.assign(static_cast<size_t>(std::max(kBlockBytes, blocks * perBlock)), 0);
        FCodedBlock.assign(static_cast<size_t>(blocks) * align, 0);
    } else {
        FBlock.assign(kBlockBytes, 0);
    }
}

bool TWaveIn::OpenConverted() {
    try {
        RequireFfmpeg();
    } catch (...) {
        CloseFileStream();
        throw;
    }
    TWaveConverter converter;
    FSourceStream->SetPosition(0);
    converter.LoadWave(*FSourceStream);
    converter.TargetFormat.SetFormatTag(kWaveFormatPcm);
    if (converter.SuggestFormat() != 0 || converter.ConvertData() != 0) return false;
    FConverted = std::make_unique<TMemoryStream>();
    FOriginalStream = FSourceStream;
    FOriginalGiven = FStreamGiven;
    FSourceStream = FConverted.get();
    if (converter.StoreWave(*FConverted) != 0) {
        FSourceStream = FOriginalStream;
        FConverted.reset();
        return false;
    }
    FConverted->SetPosition(0);
    if (!ParseWaveHeader()) FKind = TWaveFormatKind::wkUnknown;
    SettleFormat();
    if (FKind == TWaveFormatKind::wkUnknown) return true;  // counted open, plays nothing
    FKind = TWaveFormatKind::wkMpegLayer3;
    return true;
}

void TWaveIn::OpenSource() {
    std::lock_guard<std::recursive_mutex> lock(FOpenLock);
    if (FOpenCount != 0) return;
    FIsValid = true;
    FSingleFloat = false;
    OpenFileStream();
    if (!ParseWaveHeader()) FKind = TWaveFormatKind::wkUnknown;
    SettleFormat();
    if (FKind == TWaveFormatKind::wkMpegLayer3 && !OpenConverted()) {
        // Nothing stays open; the next open tries the conversion again.
        FIsValid = false;
        FKind = TWaveFormatKind::wkUnknown;
        FDataSize = 0;
        CloseFileStream();
        return;
    }
    if (FKind == TWaveFormatKind::wkUnknown) FIsValid = false;
    ++FOpenCount;
}

void TWaveIn::CloseSource() {
    std::lock_guard<std::recursive_mutex> lock(FOpenLock);
    if (FOpenCount <= 0) return;
    if (FConverted) {
        FSourceStream = FOriginalStream;
        FStreamGiven = FOriginalGiven;
        FConverted.reset();
    }
    CloseFileStream();
    FOpenCount = 0;
}

int64_t TWaveIn::ReadData(void* buffer, int64_t count) {
    if (FDataLeft >= 0) count = std::min(count, FDataLeft);
    const int64_t got = ReadUpTo(*FSourceStream, buffer, count);
    if (FDataLeft >= 0) FDataLeft -= got;
    return got;
}

int32_t TWaveIn::DecodeAdpcmBlocks() {
    const bool ima = FKind == TWaveFormatKind::wkImaAdpcm;
    const int32_t align = ima ? FImaBlockAlign : FMsBlockAlign;
    const size_t room = FCodedBlock.size() / static_cast<size_t>(align);
    // Blocks whose predictor index has no coefficients (MS) are skipped: read
    // on until a batch gives sound or the data ends.
    for (;;) {
        // One read for many blocks: the stream is asked once per batch, not
        // three times per block.
        const int64_t got = ReadData(FCodedBlock.data(), static_cast<int64_t>(room) * align);
        if (got <= 0) return 0;
        // A short last block is decoded as if zero-filled.
        const size_t blocks = static_cast<size_t>((got + align - 1) / align);
        std::fill(FCodedBlock.begin() + got,
                  FCodedBlock.begin() + static_cast<ptrdiff_t>(blocks * static_cast<size_t>(align)),
                  0);
        int32_t out = 0;
        for (size_t b = 0; b < blocks; ++b) {
            const uint8_t* in = FCodedBlock.data() + b * static_cast<size_t>(align);
            uint8_t* dst = FBlock.data() + out;
            const int32_t n = ima ? (FChannels == 1 ? DecodeImaMono(in, dst) : DecodeImaStereo(in, dst))
                                  : (FChannels == 2 ? DecodeMsStereo(in, dst) : DecodeMsMono(in, dst));
            if (n > 0) out += n;
        }
        if (out > 0 || got < static_cast<int64_t>(room) * align) return out;
    }
}

int32_t TWaveIn::DecodeImaMono(const uint8_t* in, uint8_t* out) const {
    TImaChannel c;
    c.Load(in);
    Put16(out, 0, static_cast<int16_t>(c.Predictor));
    int32_t n = 1;
    for (int32_t i = 4; i < FImaBlockAlign; ++i) {
        Put16(out, n++, c.Step(in[i] & 0x0F));
        Put16(out, n++, c.Step(in[i] >> 4));
    }
    return n * 2;
}

// Two or more channels: after one 4-byte header per channel, the data comes
// in 4-byte groups (8 samples) per channel in turn; a trailing partial round
// of groups carries no whole samples and is ignored.
int32_t TWaveIn::DecodeImaStereo(const uint8_t* in, uint8_t* out) const {
    const int32_t ch = static_cast<int32_t>(FChannels);
    const int32_t rounds = (FImaBlockAlign - 4 * ch) / (4 * ch);
    for (int32_t c = 0; c < ch; ++c) {
        TImaChannel state;
        state.Load(in + 4 * c);
        Put16(out, c, static_cast<int16_t>(state.Predictor));
        for (int32_t r = 0; r < rounds; ++r) {
            const uint8_t* group = in + 4 * ch + r * 4 * ch + 4 * c;
            int32_t frame = 1 + 8 * r;
            for (int32_t b = 0; b < 4; ++b) {
                Put16(out, frame++ * ch + c, state.Step(group[b] & 0x0F));
                Put16(out, frame++ * ch + c, state.Step(group[b] >> 4));
            }
        }
    }
    return (8 * rounds + 1) * 2 * ch;
}

// Returns -1 for a block whose predictor index has no coefficient pair.
int32_t TWaveIn::DecodeMsMono(const uint8_t* in, uint8_t* out) const {
    if (in[0] >= FMsCoefCount) return -1;
    TMsChannel c{FMsCoefs[in[0]][0], FMsCoefs[in[0]][1], static_cast<int16_t>(GetLE16(in + 1)),
                 static_cast<int16_t>(GetLE16(in + 3)), static_cast<int16_t>(GetLE16(in + 5))};
    Put16(out, 0, static_cast<int16_t>(c.Sample2));
    Put16(out, 1, static_cast<int16_t>(c.Sample1));
    const int32_t bytes = std::min((FMsSamplesPerBlock - 2) / 2, FMsBlockAlign - 7);
    int32_t n = 2;
    for (int32_t i = 0; i < bytes; ++i) {
        Put16(out, n++, c.Step(in[7 + i] >> 4));
        Put16(out, n++, c.Step(in[7 + i] & 0x0F));
    }
    return n * 2;
}

int32_t TWaveIn::DecodeMsStereo(const uint8_t* in, uint8_t* out) const {
    if (in[0] >= FMsCoefCount || in[1] >= FMsCoefCount) return -1;
    TMsChannel ch[2];
    for (int i = 0; i < 2; ++i)
        ch[i] = {FMsCoefs[in[i]][0], FMsCoefs[in[i]][1],
                 static_cast<int16_t>(GetLE16(in + 2 + 2 * i)),
                 static_cast<int16_t>(GetLE16(in + 6 + 2 * i)),
                 static_cast<int16_t>(GetLE16(in + 10 + 2 * i))};
    Put16(out, 0, static_cast<int16_t>(ch[0].Sample2));
    Put16(out, 1, static_cast<int16_t>(ch[1].Sample2));
    Put16(out, 2, static_cast<int16_t>(ch[0].Sample1));
    Put16(out, 3, static_cast<int16_t>(ch[1].Sample1));
    const int32_t bytes = std::min(FMsSamplesPerBlock - 2, FMsBlockAlign - 14);
    int32_t n = 4;
    for (int32_t i = 0; i < bytes; ++i) {
        Put16(out, n++, ch[0].Step(in[14 + i] >> 4));
        Put16(out, n++, ch[1].Step(in[14 + i] & 0x0F));
    }
    return n * 2;
}

void TWaveIn::ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) {
    using K = TWaveFormatKind;
    if (!Active()) throw EAuException("The Stream is not opened");
    if (FBlockEnd < FBlockStart) {
        FBlockStart = 1;
        FBlockEnd = 0;
        const uint32_t frame = FChannels * FBitsPerSample / 8;
        switch (FKind) {
            case K::wkPcm:
            case K::wkExtensiblePcm:
                FBlockEnd = static_cast<int32_t>(
                    ReadData(FBlock.data(), kBlockBytes - kBlockBytes % frame));
                break;
            case K::wkALaw:
            case K::wkMuLaw: {
                // Read into the front half and widen from the back, in place.
                const int64_t got =
                    ReadData(FBlock.data(), kBlockBytes / 2 - kBlockBytes / 2 % FChannels);
                const int16_t* table = FKind == K::wkALaw ? kG711.ALaw : kG711.MuLaw;
                for (int64_t i = got - 1; i >= 0; --i)
                    Put16(FBlock.data(), static_cast<int32_t>(i),
                          table[FBlock[static_cast<size_t>(i)]]);
                FBlockEnd = static_cast<int32_t>(2 * got);
                break;
            }
            case K::wkImaAdpcm:
            case K::wkMsAdpcm:
                FBlockEnd = DecodeAdpcmBlocks();
                break;
            case K::wkMpegLayer3:
                FBlockEnd = static_cast<int32_t>(ReadData(FBlock.data(), kBlockBytes));
                break;
            case K::wkFloat:
            case K::wkExtensibleFloat: {
                const int64_t got =
                    ReadData(FBlock.data(), kBlockBytes - kBlockBytes % (FChannels * 8));
                if (FSingleFloat) {
                    FloatsToInt32(FBlock.data(), static_cast<size_t>(got));
                    FBlockEnd = static_cast<int32_t>(got - got % 4);
                } else {
                    DoublesToInt32(FBlock.data(), static_cast<size_t>(got));
                    FBlockEnd = static_cast<int32_t>(got / 8 * 4);
                }
                break;
            }
            case K::wkUnknown:
                break;
        }
    }
    const uint32_t frame = FChannels * FBitsPerSample / 8;
    if (frame == 0) {
        Buffer = nullptr;
        Bytes = 0;
        return;
    }
    Bytes -= Bytes % frame;
    const uint32_t pending = static_cast<uint32_t>(std::max(FBlockEnd - FBlockStart + 1, 0));
    if (pending < Bytes) Bytes = pending;
    Buffer = FBlock.data() + (FBlockStart - 1);
    FBlockStart += static_cast<int32_t>(Bytes);
}

bool TWaveIn::SeekToSample(int64_t& SampleNum) {
    using K = TWaveFormatKind;
    FBlockStart = 1;
    FBlockEnd = 0;
    int64_t offset = 0;
    int64_t unit = 0;  // bytes per frame, or per block for ADPCM
    switch (FKind) {
        case K::wkPcm:
        case K::wkExtensiblePcm:
            unit = int64_t{FBitsPerSample / 8} * FChannels;
            break;
        case K::wkFloat:
        case K::wkExtensibleFloat:
            unit = int64_t{FChannels} * (FSingleFloat ? 4 : 8);
            break;
        case K::wkMpegLayer3:
            unit = int64_t{FChannels} * 2;
            break;
        case K::wkALaw:
        case K::wkMuLaw:
            unit = FChannels;
            break;
        case K::wkImaAdpcm:
            offset = SampleNum / FImaSamplesPerBlock;
            unit = FImaBlockAlign;
            break;
        case K::wkMsAdpcm:
            offset = SampleNum / FMsSamplesPerBlock;
            unit = FMsBlockAlign;
            break;
        case K::wkUnknown:
            return false;
    }
    if (FKind != K::wkImaAdpcm && FKind != K::wkMsAdpcm) offset = SampleNum;
    if (SampleNum < 0 || !FSourceStream || __builtin_mul_overflow(offset, unit, &offset) ||
        __builtin_add_overflow(offset, int64_t{FHeaderSize}, &offset))
        return false;
    if (FSourceStream->Seek(offset, TSeekOrigin::soBeginning) < 0) return false;
    if (FDataBytes >= 0) FDataLeft = std::max<int64_t>(FDataBytes - (offset - FHeaderSize), 0);
    return true;
}

}  // namespace quillet
