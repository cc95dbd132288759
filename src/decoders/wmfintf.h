// TAudioStream: the adapter through which the MP3/WMA reader reads the
// source's own stream. FFmpeg pulls bytes through an I/O context whose read
// and seek callbacks land here, so the file is never opened a second time.
//
// The stream is borrowed: the adapter never closes or frees it. An origin
// other than 0 makes the adapter show the stream from that byte on (the
// reader's second attempt at a file it could not open from the start).
//
// Threads: one thread at a time, as the stream itself (the owning source's
// open and data locks see to that).
#pragma once

#include <cstdint>

#include "ACS_Streams.h"

struct AVIOContext;

namespace quillet {

class TAudioStream {
  public:
    // Size of the I/O context's buffer.
    static constexpr int kBufferBytes = 32768;

    explicit TAudioStream(TStream& stream) : FStream(stream) {}
    ~TAudioStream();
    TAudioStream(const TAudioStream&) = delete;
    TAudioStream& operator=(const TAudioStream&) = delete;

    // Creates the I/O context (FFmpeg must be loaded) and positions the
    // stream at `origin`; any earlier context is released first. nullptr
    // when the context cannot be allocated.
    AVIOContext* Open(int64_t origin);
    AVIOContext* Context() const { return FContext; }
    // Releases the I/O context (the stream stays as it is).
    void Release();

    // The callbacks' work, in the adapter's own coordinates (0 = origin).
    // Read: bytes read, or AVERROR_EOF when none could be read.
    int Read(uint8_t* buffer, int size);
    // Seek: the new position; AVSEEK_SIZE asks for the size. Negative on
    // failure.
    int64_t Seek(int64_t offset, int whence);

  private:
    TStream& FStream;
    int64_t FOrigin = 0;
    bool FSizeHolds = true;  // the stream's size can be read up to (checked at Open)
    AVIOContext* FContext = nullptr;
};

}  // namespace quillet
