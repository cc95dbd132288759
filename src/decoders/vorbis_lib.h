// libogg, libvorbis, libvorbisfile and libvorbisenc, bound at run time. The
// Vorbis input opens all four before it decodes anything, so a missing one is
// reported by name; only libvorbisfile's entry points are ever called (it
// pulls in the other two itself), so those are the only ones looked up. The
// encoder library carries no entries: it is loaded only to be required.
//
// Threads: see lib_loader.h. The tables are filled once and never change.
#pragma once

// The header's stdio callback tables would be unused statics here.
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include "lib_loader.h"

namespace quillet {

struct TOggLib : TLibrary {
    TOggLib() : TLibrary("libogg.so.0") {}
};

struct TVorbisLib : TLibrary {
    TVorbisLib() : TLibrary("libvorbis.so.0") {}
};

struct TVorbisFileLib : TLibrary {
    TVorbisFileLib() : TLibrary("libvorbisfile.so.3") {}
    QUILLET_LIB_ENTRY(ov_clear);
    QUILLET_LIB_ENTRY(ov_test_callbacks);
    QUILLET_LIB_ENTRY(ov_test_open);
    QUILLET_LIB_ENTRY(ov_pcm_total);
    QUILLET_LIB_ENTRY(ov_streams);
    QUILLET_LIB_ENTRY(ov_pcm_seek);
    QUILLET_LIB_ENTRY(ov_info);
    QUILLET_LIB_ENTRY(ov_comment);
    QUILLET_LIB_ENTRY(ov_read);
    QUILLET_LIB_ENTRY(ov_read_float);
};

struct TVorbisEncLib : TLibrary {
    TVorbisEncLib() : TLibrary("libvorbisenc.so.2") {}
};

// One process-wide instance of each.
TOggLib& OggLib();
TVorbisLib& VorbisLib();
TVorbisFileLib& VorbisFileLib();
TVorbisEncLib& VorbisEncLib();

}  // namespace quillet
