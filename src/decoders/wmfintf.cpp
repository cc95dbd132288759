#include "wmfintf.h"

#include <climits>
#include <cstdio>

#include "ffmpeg_lib.h"

namespace quillet {
namespace {

int ReadCallback(void* opaque, uint8_t* buffer, int size) {
    return static_cast<TAudioStream*>(opaque)->Read(buffer, size);
}

int64_t SeekCallback(void* opaque, int64_t offset, int whence) {
    return static_cast<TAudioStream*>(opaque)->Seek(offset, whence);
}

}  // namespace

TAudioStream::~TAudioStream() {
    Release();
}

AVIOContext* TAudioStream::Open(int64_t origin) {
    Release();
    FOrigin = origin;
    // A size that cannot be read up to is not passed on: the demuxers seek
    // to the end for trailing tags and read their way there.
    FSizeHolds = SizeHolds(FStream);
    FStream.SetPosition(origin);
    auto* buffer = static_cast<unsigned char*>(FfAvUtil().av_malloc(kBufferBytes));
    if (!buffer) return nullptr;
    FContext = FfAvFormat().avio_alloc_context(buffer, kBufferBytes, 0, this, ReadCallback, nullptr,
                                               SeekCallback);
    if (!FContext) FfAvUtil().av_free(buffer);
    return FContext;
}

void TAudioStream::Release() {
    if (!FContext) return;
    // The context may have replaced its buffer; free the one it holds now.
    FfAvUtil().av_free(FContext->buffer);
    FContext->buffer = nullptr;
    FfAvFormat().avio_context_free(&FContext);
}

int TAudioStream::Read(uint8_t* buffer, int size) {
    if (size <= 0) return 0;
    const int64_t got = FStream.Read(buffer, size);
    return got > 0 ? static_cast<int>(got) : AVERROR_EOF;
}

int64_t TAudioStream::Seek(int64_t offset, int whence) {
    const int64_t size = FSizeHolds ? FStream.Size() : -1;
    if (whence & AVSEEK_SIZE) return size >= FOrigin ? size - FOrigin : -1;
    int64_t target;
    switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET:
            target = offset;
            break;
        case SEEK_CUR: {
            const int64_t pos = FStream.Position();
            if (pos < FOrigin || (offset > 0 && pos - FOrigin > INT64_MAX - offset)) return -1;
            target = pos - FOrigin + offset;
            break;
        }
        case SEEK_END:
            if (size < FOrigin || (offset > 0 && size - FOrigin > INT64_MAX - offset)) return -1;
            target = size - FOrigin + offset;
            break;
        default:
            return -1;
    }
    if (target < 0 || target > INT64_MAX - FOrigin) return -1;
    const int64_t reached = FStream.Seek(FOrigin + target, TSeekOrigin::soBeginning);
    return reached < 0 ? -1 : reached - FOrigin;
}

}  // namespace quillet
