// FFmpeg, bound at run time: libavutil, libswresample, libavcodec and
// libavformat are never linked (linking them costs every start of the player
// tens of milliseconds); they are loaded through lib_loader the first time a
// file needs them. The types come from the Debian -dev headers.
//
// Adding an entry point is one line in its library's table below:
//   QUILLET_LIB_ENTRY(avformat_open_input);
// then call it as FfAvFormat().avformat_open_input(...).
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <string>

#include "lib_loader.h"

namespace quillet {

struct TAvUtilLib : TLibrary {
    TAvUtilLib() : TLibrary("libavutil.so.57") {}
    QUILLET_LIB_ENTRY(av_frame_alloc);
    QUILLET_LIB_ENTRY(av_frame_free);
    QUILLET_LIB_ENTRY(av_channel_layout_default);
    QUILLET_LIB_ENTRY(av_channel_layout_uninit);
    QUILLET_LIB_ENTRY(av_log_set_level);
    QUILLET_LIB_ENTRY(av_malloc);
    QUILLET_LIB_ENTRY(av_free);
    QUILLET_LIB_ENTRY(av_dict_get);
    QUILLET_LIB_ENTRY(av_channel_layout_copy);
    QUILLET_LIB_ENTRY(av_get_bytes_per_sample);
    QUILLET_LIB_ENTRY(av_sample_fmt_is_planar);
    QUILLET_LIB_ENTRY(av_strdup);
    QUILLET_LIB_ENTRY(av_frame_unref);
    QUILLET_LIB_ENTRY(av_strerror);
    QUILLET_LIB_ENTRY(av_opt_get);
    QUILLET_LIB_ENTRY(av_dict_set);
    QUILLET_LIB_ENTRY(av_dict_free);
    QUILLET_LIB_ENTRY(av_log_set_callback);
};

struct TSwResampleLib : TLibrary {
    TSwResampleLib() : TLibrary("libswresample.so.4") {}
    QUILLET_LIB_ENTRY(swr_alloc_set_opts2);
    QUILLET_LIB_ENTRY(swr_init);
    QUILLET_LIB_ENTRY(swr_convert);
    QUILLET_LIB_ENTRY(swr_get_out_samples);
    QUILLET_LIB_ENTRY(swr_free);
};

struct TAvCodecLib : TLibrary {
    TAvCodecLib() : TLibrary("libavcodec.so.59") {}
    QUILLET_LIB_ENTRY(avcodec_find_decoder);
    QUILLET_LIB_ENTRY(avcodec_alloc_context3);
    QUILLET_LIB_ENTRY(avcodec_free_context);
    QUILLET_LIB_ENTRY(avcodec_open2);
    QUILLET_LIB_ENTRY(avcodec_send_packet);
    QUILLET_LIB_ENTRY(avcodec_receive_frame);
    QUILLET_LIB_ENTRY(av_packet_alloc);
    QUILLET_LIB_ENTRY(av_packet_free);
    QUILLET_LIB_ENTRY(av_parser_init);
    QUILLET_LIB_ENTRY(av_parser_parse2);
    QUILLET_LIB_ENTRY(av_parser_close);
    QUILLET_LIB_ENTRY(avcodec_parameters_to_context);
    QUILLET_LIB_ENTRY(avcodec_flush_buffers);
    QUILLET_LIB_ENTRY(av_packet_unref);
    QUILLET_LIB_ENTRY(avcodec_get_name);
};

struct TAvFormatLib : TLibrary {
    TAvFormatLib() : TLibrary("libavformat.so.59") {}
    QUILLET_LIB_ENTRY(avformat_alloc_context);
    QUILLET_LIB_ENTRY(avformat_open_input);
    QUILLET_LIB_ENTRY(avformat_find_stream_info);
    QUILLET_LIB_ENTRY(avformat_close_input);
    QUILLET_LIB_ENTRY(av_read_frame);
    QUILLET_LIB_ENTRY(avformat_seek_file);
    QUILLET_LIB_ENTRY(avio_alloc_context);
    QUILLET_LIB_ENTRY(avio_context_free);
    QUILLET_LIB_ENTRY(avio_size);
    QUILLET_LIB_ENTRY(avio_open2);
    QUILLET_LIB_ENTRY(avio_closep);
    QUILLET_LIB_ENTRY(avformat_network_init);
};

// The process-wide bindings.
TAvUtilLib& FfAvUtil();
TSwResampleLib& FfSwResample();
TAvCodecLib& FfAvCodec();
TAvFormatLib& FfAvFormat();

// Loads the four libraries (raising "<file name> library could not be
// loaded." for the first that is missing). FFmpeg's own log output is
// silenced: decoding problems reach the user through our own messages.
void RequireFfmpeg();

// The last error FFmpeg logged on the calling thread since the last take
// ("Peer certificate failed verification", "Failed to resolve hostname x"):
// the reason where an error code says only "Input/output error". Empty when
// none.
std::string TakeFfmpegError();

}  // namespace quillet
