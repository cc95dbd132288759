#include "ffmpeg_input.h"

namespace quillet {

// Audio-only demuxers, each reading the one file it is given: none of them
// follows references to other files or URLs. "mp3" reads every MPEG audio
// layer; "mov,mp4,m4a,3gp,3g2,mj2" is one demuxer.
const char kFFmpegInputDemuxers[] =
    "ogg,mov,mp4,m4a,3gp,3g2,mj2,aac,aiff,wv,ape,mp3,tta,caf,w64,dsf,au";

namespace {
const TWMReaderProfile kGeneralProfile{kFFmpegInputDemuxers, true, false};
}  // namespace

TFFmpegIn::TFFmpegIn(TComponent* owner) : TWMIn(owner, kGeneralProfile) {}

}  // namespace quillet
