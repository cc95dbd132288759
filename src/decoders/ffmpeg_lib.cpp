#include "ffmpeg_lib.h"

namespace quillet {

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
}

}  // namespace quillet
