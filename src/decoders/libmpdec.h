// libmpcdec, bound at run time, and TMPCDecoder: the small wrapper through
// which the Musepack input reads a stream's format and decodes it to
// single-precision floats. The library is used through its demuxer calls
// (mpc_demux_*), which read the stream by the five callbacks of a reader
// record.
//
// Threads: a decoder is used by one thread at a time (its input's locks see
// to that). The library table follows lib_loader.h.
#pragma once

#include <mpc/mpcdec.h>

#include <cstdint>
#include <string>

#include "ACS_Streams.h"
#include "ACS_Types.h"
#include "lib_loader.h"

namespace quillet {

// The errors the wrapper raises (a plain exception with a message).
class EMPCDecException : public Exception {
  public:
    using Exception::Exception;
};

struct TMPCDecLib : TLibrary {
    TMPCDecLib() : TLibrary("libmpcdec.so.6") {}
    QUILLET_LIB_ENTRY(mpc_demux_init);
    QUILLET_LIB_ENTRY(mpc_demux_exit);
    QUILLET_LIB_ENTRY(mpc_demux_get_info);
    QUILLET_LIB_ENTRY(mpc_demux_decode);
    QUILLET_LIB_ENTRY(mpc_demux_seek_sample);
    QUILLET_LIB_ENTRY(mpc_streaminfo_get_length_samples);
};

// The process-wide table (loaded by MPCDecLib().Load()).
TMPCDecLib& MPCDecLib();

// Raises EMPCDecException 'MPC decoding library "libmpcdec.so.6" not loaded!'
// when the library is not loaded, or 'Function "<name>" not found in MPC
// decoding library!' when Entry is null. Precedes every library call.
void CheckMPCFunction(const TLibEntryBase& Entry);

// Floats per decode buffer (what the library requires).
inline constexpr int32_t MPCDecodeBufferLength = MPC_DECODER_BUFFER_LENGTH;

class TMPCDecoder {
  public:
    // Reads the stream information from Stream (not owned; it must outlive the
    // decoder) and prepares decoding from the stream's start. Raises
    // EMPCDecException "Unable to read stream info!" when the library finds no
    // Musepack stream and "Unable to initialize MPC decoder!" when the stream
    // it found cannot be decoded (no channels, more than two, or no rate).
    explicit TMPCDecoder(TStream* Stream);
    ~TMPCDecoder();
    TMPCDecoder(const TMPCDecoder&) = delete;
    TMPCDecoder& operator=(const TMPCDecoder&) = delete;

    uint32_t SampleRate() const { return FStreamInfo.sample_freq; }
    uint32_t Channels() const { return FStreamInfo.channels; }
    // Samples per channel; negative when unknown.
    int64_t LengthSamples();
    // Decodes the next frame into Buffer (MPCDecodeBufferLength floats):
    // samples per channel written, interleaved; 0 at the end; -1 on an error.
    int32_t DecodeFrame(float* Buffer);
    // Repositions to Sample (per channel); true when the library did.
    bool SeekSample(int64_t Sample);

  private:
    static mpc_int32_t MPCRead(mpc_reader* Reader, void* Destination, mpc_int32_t Size);
    static mpc_bool_t MPCSeek(mpc_reader* Reader, mpc_int32_t Offset);
    static mpc_int32_t MPCTell(mpc_reader* Reader);
    static mpc_int32_t MPCGetSize(mpc_reader* Reader);
    static mpc_bool_t MPCCanSeek(mpc_reader* Reader);
    void FillReader();

    TStream* FDataStream;
    mpc_demux* FDemux = nullptr;  // the library's decoder state, owned
    mpc_reader FReader{};         // Data = this
    mpc_streaminfo FStreamInfo{};
};

}  // namespace quillet
