#include "ffmpeg_picture.h"

#include <memory>

#include "ACS_Streams.h"
#include "ffmpeg_input.h"
#include "ffmpeg_lib.h"
#include "text.h"
#include "wmfintf.h"

namespace quillet {

namespace {

// The general input's demuxers plus ASF, Matroska and WAV, which carry
// pictures in ways the tag readers do not read; none opens another file.
const std::string& ArtDemuxers() {
    static const std::string list = std::string(kFFmpegInputDemuxers) + ",asf,matroska,webm,wav";
    return list;
}

struct TCloseInput {
    void operator()(AVFormatContext* ctx) const { FfAvFormat().avformat_close_input(&ctx); }
};

uint32_t PictureType(const AVStream& st) {
    const AVDictionaryEntry* comment = FfAvUtil().av_dict_get(st.metadata, "comment", nullptr, 0);
    if (comment && std::string_view(comment->value) == "Cover (front)") return kFrontCoverType;
    const AVDictionaryEntry* file = FfAvUtil().av_dict_get(st.metadata, "filename", nullptr, 0);
    if (file && AsciiLower(file->value).starts_with("cover.")) return kFrontCoverType;
    return 0;
}

}  // namespace

void OfferAttachedPictures(const std::string& Path, TPictureChoice& Choice) {
    try {
        RequireFfmpeg();
        TAuFileStream file(Path, fmOpenRead | fmShareDenyWrite);
        TAudioStream adapter(file);
        AVIOContext* io = adapter.Open(0);
        if (!io) return;
        AVFormatContext* ctx = FfAvFormat().avformat_alloc_context();
        if (!ctx) return;
        ctx->pb = io;
        ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
        ctx->format_whitelist = FfAvUtil().av_strdup(ArtDemuxers().c_str());
        ctx->protocol_whitelist = FfAvUtil().av_strdup("none");
        if (FfAvFormat().avformat_open_input(&ctx, "", nullptr, nullptr) < 0) return;  // frees ctx
        std::unique_ptr<AVFormatContext, TCloseInput> input(ctx);
        for (unsigned i = 0; i < ctx->nb_streams && !Choice.Done(); ++i) {
            const AVStream& st = *ctx->streams[i];
            const AVPacket& pic = st.attached_pic;
            if (!(st.disposition & AV_DISPOSITION_ATTACHED_PIC) || !pic.data || pic.size <= 0 ||
                static_cast<size_t>(pic.size) > kMaxPictureBytes)
                continue;
            const uint32_t type = PictureType(st);
            if (Choice.Wants(type)) Choice.Offer(type, {pic.data, pic.data + pic.size});
        }
    } catch (const std::exception&) {
        // No FFmpeg, or a file that cannot be opened: no picture from here.
    }
}

}  // namespace quillet
