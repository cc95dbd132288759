#include "libmpdec.h"

#include <limits>

namespace quillet {

TMPCDecLib& MPCDecLib() {
    static TMPCDecLib lib;
    return lib;
}

void CheckMPCFunction(const TLibEntryBase& Entry) {
    if (!MPCDecLib().Loaded())
        throw EMPCDecException("MPC decoding library \"" + MPCDecLib().FileName() +
                               "\" not loaded!");
    if (!Entry)
        throw EMPCDecException(std::string("Function \"") + Entry.Name() +
                               "\" not found in MPC decoding library!");
}

TMPCDecoder::TMPCDecoder(TStream* Stream) : FDataStream(Stream) {
    // A programming error, not a file's fault.
    if (!Stream) throw EMPCDecException("Assertion failure: TMPCDecoder needs a stream");
    TMPCDecLib& lib = MPCDecLib();
    FillReader();
    CheckMPCFunction(lib.mpc_demux_init);
    FDemux = lib.mpc_demux_init(&FReader);
    if (!FDemux) throw EMPCDecException("Unable to read stream info!");
    try {
        CheckMPCFunction(lib.mpc_demux_get_info);
        lib.mpc_demux_get_info(FDemux, &FStreamInfo);
        // The decode buffer holds whole frames of at most two channels.
        if (FStreamInfo.channels == 0 || FStreamInfo.channels > 2 || FStreamInfo.sample_freq == 0)
            throw EMPCDecException("Unable to initialize MPC decoder!");
    } catch (...) {
        lib.mpc_demux_exit(FDemux);
        throw;
    }
}

TMPCDecoder::~TMPCDecoder() {
    // The table cannot lose an entry once loaded, so the exit call is safe
    // wherever the demuxer was created.
    if (FDemux) MPCDecLib().mpc_demux_exit(FDemux);
}

void TMPCDecoder::FillReader() {
    FReader.read = &MPCRead;
    FReader.seek = &MPCSeek;
    FReader.tell = &MPCTell;
    FReader.get_size = &MPCGetSize;
    FReader.canseek = &MPCCanSeek;
    FReader.data = this;
}

int64_t TMPCDecoder::LengthSamples() {
    CheckMPCFunction(MPCDecLib().mpc_streaminfo_get_length_samples);
    return MPCDecLib().mpc_streaminfo_get_length_samples(&FStreamInfo);
}

int32_t TMPCDecoder::DecodeFrame(float* Buffer) {
    TMPCDecLib& lib = MPCDecLib();
    CheckMPCFunction(lib.mpc_demux_decode);
    mpc_frame_info frame{};
    frame.buffer = Buffer;
    // The demuxer may report a frame with no samples (a skipped one) before
    // the data goes on; each call consumes input, so this cannot spin long.
    for (int empty = 0; empty < 1024; ++empty) {
        if (lib.mpc_demux_decode(FDemux, &frame) != MPC_STATUS_OK) return -1;
        if (frame.bits == -1) return 0;
        if (frame.samples > 0) {
            if (static_cast<uint64_t>(frame.samples) * Channels() >
                static_cast<uint64_t>(MPCDecodeBufferLength))
                return -1;
            return static_cast<int32_t>(frame.samples);
        }
    }
    return -1;
}

bool TMPCDecoder::SeekSample(int64_t Sample) {
    CheckMPCFunction(MPCDecLib().mpc_demux_seek_sample);
    if (Sample < 0) return false;
    return MPCDecLib().mpc_demux_seek_sample(FDemux, static_cast<mpc_uint64_t>(Sample)) ==
           MPC_STATUS_OK;
}

mpc_int32_t TMPCDecoder::MPCRead(mpc_reader* Reader, void* Destination, mpc_int32_t Size) {
    auto* self = static_cast<TMPCDecoder*>(Reader->data);
    if (!self) return -1;
    if (Size <= 0) return 0;
    return static_cast<mpc_int32_t>(self->FDataStream->Read(Destination, Size));
}

mpc_bool_t TMPCDecoder::MPCSeek(mpc_reader* Reader, mpc_int32_t Offset) {
    auto* self = static_cast<TMPCDecoder*>(Reader->data);
    if (!self || Offset < 0) return 0;
    return self->FDataStream->Seek(Offset, TSeekOrigin::soBeginning) == Offset ? 1 : 0;
}

mpc_int32_t TMPCDecoder::MPCTell(mpc_reader* Reader) {
    auto* self = static_cast<TMPCDecoder*>(Reader->data);
    if (!self) return -1;
    const int64_t pos = self->FDataStream->Position();
    return pos > std::numeric_limits<mpc_int32_t>::max() ? -1 : static_cast<mpc_int32_t>(pos);
}

mpc_int32_t TMPCDecoder::MPCGetSize(mpc_reader* Reader) {
    auto* self = static_cast<TMPCDecoder*>(Reader->data);
    if (!self) return -1;
    // The library's sizes are 32-bit; a larger stream reads as the largest.
    const int64_t size = self->FDataStream->Size();
    return size > std::numeric_limits<mpc_int32_t>::max() ? std::numeric_limits<mpc_int32_t>::max()
                                                          : static_cast<mpc_int32_t>(size);
}

mpc_bool_t TMPCDecoder::MPCCanSeek(mpc_reader* Reader) {
    return Reader->data ? 1 : 0;
}

}  // namespace quillet
