#include "ffmpeg_lib.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

namespace quillet {
namespace {

thread_local std::string tLastError;

// Prints nothing; keeps the thread's last error line.
void KeepErrors(void* /*context*/, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR) return;
    char line[256];
    std::vsnprintf(line, sizeof line, format, args);
    tLastError = line;
    while (!tLastError.empty() && (tLastError.back() == '\n' || tLastError.back() == '.'))
        tLastError.pop_back();
}

}  // namespace

TAvUtilLib& FfAvUtil() {
    static TAvUtilLib lib;
    return lib;
}

TSwResampleLib& FfSwResample() {
    static TSwResampleLib lib;
    return lib;
}

TAvCodecLib& FfAvCodec() {
    static TAvCodecLib lib;
    return lib;
}

TAvFormatLib& FfAvFormat() {
    static TAvFormatLib lib;
    return lib;
}

void RequireFfmpeg() {
    RequireLibraries({&FfAvUtil(), &FfSwResample(), &FfAvCodec(), &FfAvFormat()});
    FfAvUtil().av_log_set_level(AV_LOG_QUIET);
    FfAvUtil().av_log_set_callback(&KeepErrors);
}

std::string TakeFfmpegError() {
    return std::exchange(tLastError, {});
}

}  // namespace quillet
