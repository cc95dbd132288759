#include "ACS_MPC.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "ACS_Procs.h"
#include "replay_gain.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillet {

void ConvertMPCSamples(const float* Samples, size_t Count, uint32_t Bits, uint8_t* Out) {
    switch (Bits) {
        case 8:
            for (size_t i = 0; i < Count; ++i) {
                const float x = Samples[i];
                // x >= 1 lands on 128 or more before the floor: the cap is 255.
                double d = std::min(static_cast<double>(x) * 128.0, 127.0);
                d = x > -1.0f ? d : -128.0;  // also NaN
                Out[i] = static_cast<uint8_t>(FloorTo<int32_t>(d) + 128);
            }
            break;
        case 16: {
            size_t i = 0;
#if defined(__SSE2__)
            // The same rule, four samples at a time (this loop is a tenth of
            // the whole decoding time when written plainly).
            const __m128d scale = _mm_set1_pd(32767.0), top = _mm_set1_pd(32767.0),
                          bottom = _mm_set1_pd(-32768.0);
            const __m128 minusOne = _mm_set1_ps(-1.0f);
            for (; i + 4 <= Count; i += 4) {
                const __m128 x = _mm_loadu_ps(Samples + i);
                // Lanes with x > -1 (false for NaN), as doubles' masks.
                const __m128i above = _mm_castps_si128(_mm_cmpgt_ps(x, minusOne));
                __m128i halves[2];
                for (int h = 0; h < 2; ++h) {
                    const __m128 part = h ? _mm_movehl_ps(x, x) : x;
                    const __m128i keep32 =
                        h ? _mm_unpackhi_epi32(above, above) : _mm_unpacklo_epi32(above, above);
                    const __m128d keep = _mm_castsi128_pd(keep32);
                    __m128d d = _mm_min_pd(_mm_mul_pd(_mm_cvtps_pd(part), scale), top);
                    d = _mm_or_pd(_mm_and_pd(keep, d), _mm_andnot_pd(keep, bottom));
                    const __m128i t = _mm_cvttpd_epi32(d);
                    // Truncation went up for negative fractions: take one off.
                    const __m128i up = _mm_castpd_si128(_mm_cmpgt_pd(_mm_cvtepi32_pd(t), d));
                    halves[h] = _mm_add_epi32(t, _mm_shuffle_epi32(up, _MM_SHUFFLE(3, 3, 2, 0)));
                }
                const __m128i v =
                    _mm_packs_epi32(_mm_unpacklo_epi64(halves[0], halves[1]), _mm_setzero_si128());
                _mm_storel_epi64(reinterpret_cast<__m128i*>(Out + 2 * i), v);
            }
#endif
            for (; i < Count; ++i) {
                const float x = Samples[i];
                double d = std::min(static_cast<double>(x) * 32767.0, 32767.0);
                d = x > -1.0f ? d : -32768.0;
                const int32_t v = FloorTo<int32_t>(d);
                Out[2 * i] = static_cast<uint8_t>(v);
                Out[2 * i + 1] = static_cast<uint8_t>(v >> 8);
            }
            break;
        }
        case 24:
        case 32:
            // A float times 2^31 - 1 needs 55 bits: exact only in extended
            // precision, so the floor never lands on the wrong integer.
            for (size_t i = 0; i < Count; ++i) {
                const float x = Samples[i];
                int32_t v = std::numeric_limits<int32_t>::min();
                if (x >= 1.0f)
                    v = std::numeric_limits<int32_t>::max();
                else if (x > -1.0f)
                    v = static_cast<int32_t>(
                        FloorTo<int64_t>(static_cast<long double>(x) * 2147483647.0L));
                if (Bits == 24) {
                    v >>= 8;
                    Out[0] = static_cast<uint8_t>(v);
                    Out[1] = static_cast<uint8_t>(v >> 8);
                    Out[2] = static_cast<uint8_t>(v >> 16);
                    Out += 3;
                } else {
                    for (int b = 0; b < 4; ++b) *Out++ = static_cast<uint8_t>(v >> (8 * b));
                }
            }
            break;
        default:
            break;
    }
}

TMPCIn::TMPCIn(TComponent* owner) : TAuTaggedFileIn(owner), FDecodeBuffer(MPCDecodeBufferLength) {
    FBitsPerSample = 16;
}

TMPCIn::~TMPCIn() {
    CloseSource();
}

void TMPCIn::SetOutBitsPerSample(uint32_t Value) {
    std::lock_guard<std::recursive_mutex> lock(FOpenLock);
    if (FOpenCount != 0) return;
    Value = std::clamp<uint32_t>(Value, 8, 32);
    FBitsPerSample = (Value + 7) / 8 * 8;
}

void TMPCIn::SetFloatOutput(bool Value) {
    std::lock_guard<std::recursive_mutex> lock(FOpenLock);
    if (FOpenCount != 0) return;
    FFloatOutput = Value;
    FBitsPerSample = Value ? 32 : 16;
}

void TMPCIn::OpenSource() {
    RequireLibraries({&MPCDecLib()});
    std::lock_guard<std::recursive_mutex> lock(FOpenLock);
    if (FOpenCount != 0) return;
    FIsValid = false;
    APEv2Tags().Clear();
    FReplayGain = {};
    if (!FStreamGiven && FFileNameW.empty()) throw EAuException("File name is not assigned");
    OpenFileStream();
    try {
        TReplayGainFields gain;
        ReadAPEv2Tag(*FSourceStream, APEv2Tags(), &gain);
        FReplayGain = gain.Result();
        FSourceStream->SetPosition(0);
        FDecoder = std::make_unique<TMPCDecoder>(FSourceStream);
        FSampleRate = FDecoder->SampleRate();
        FChannels = FDecoder->Channels();
        FSampleCount = FDecoder->LengthSamples();
    } catch (...) {
        // Nothing stays open: the next open starts from scratch.
        FDecoder.reset();
        CloseFileStream();
        throw;
    }
    FIsValid = true;
    FCanSeek = true;
    FDelivered = 0;
    const int64_t frameBytes = static_cast<int64_t>((FBitsPerSample + 7) / 8) * FChannels;
    // A length the header cannot vouch for, or one that does not fit a byte
    // count, plays until the decoder ends.
    FDataSize =
        (FSampleCount < 0 || FSampleCount > std::numeric_limits<int64_t>::max() / frameBytes)
            ? -1
            : FSampleCount * frameBytes;
    FOutSize = FOutStart = 0;
    FDecoderDone = false;
    ++FOpenCount;
}

void TMPCIn::CloseSource() {
    std::lock_guard<std::recursive_mutex> lock(FOpenLock);
    if (FOpenCount <= 0) return;
    if (--FOpenCount != 0) return;
    FDecoder.reset();
    CloseFileStream();
    FOut.reset();
    FOutSize = FOutStart = FOutCapacity = 0;
}

void TMPCIn::ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) {
    if (!FActive) throw EAuException("File for input is not opened!");
    if (Bytes == 0) return;
    const int64_t dataSize = FDataSize;
    if (dataSize >= 0) {
        const int64_t left = std::max<int64_t>(0, dataSize - FDelivered);
        if (Bytes > left) Bytes = static_cast<uint32_t>(left);
    }
    // What the previous call kept back comes first.
    if (FOutStart > 0) {
        if (FOutSize > FOutStart)
            std::memmove(FOut.get(), FOut.get() + FOutStart, FOutSize - FOutStart);
        FOutSize -= FOutStart;
        FOutStart = 0;
    }
    const uint32_t width = FBitsPerSample / 8;
    while (FOutSize < Bytes && FDecoder && !FDecoderDone) {
        std::fill(FDecodeBuffer.begin(), FDecodeBuffer.end(), 0.0f);
        const int32_t samples = FDecoder->DecodeFrame(FDecodeBuffer.data());
        if (samples <= 0) {
            FDecoderDone = true;  // an error ends the data like the end does
            break;
        }
        const size_t count = static_cast<size_t>(samples) * FDecoder->Channels();
        if (FFloatOutput)
            std::memcpy(Reserve(count * width), FDecodeBuffer.data(), count * width);
        else
            ConvertMPCSamples(FDecodeBuffer.data(), count, FBitsPerSample, Reserve(count * width));
        FOutSize += count * width;
    }
    if (FOutSize < Bytes) Bytes = static_cast<uint32_t>(FOutSize);
    Buffer = FOut.get();
    FOutStart = Bytes;
}

uint8_t* TMPCIn::Reserve(size_t Extra) {
    if (FOutSize + Extra > FOutCapacity) {
        const size_t capacity = std::max(FOutSize + Extra, FOutCapacity * 2);
        // Left uninitialised: every byte is written before it is handed out.
        std::unique_ptr<uint8_t[]> grown(new uint8_t[capacity]);
        if (FOutSize) std::memcpy(grown.get(), FOut.get(), FOutSize);
        FOut = std::move(grown);
        FOutCapacity = capacity;
    }
    return FOut.get() + FOutSize;
}

bool TMPCIn::SeekToSample(int64_t& SampleNum) {
    if (!FDecoder) return false;
    FOutSize = FOutStart = 0;
    FDecoderDone = false;
    return FDecoder->SeekSample(SampleNum);
}

}  // namespace quillet
