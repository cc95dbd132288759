// libebur128, bound at run time like the codec libraries (lib_loader.h): a
// machine without it loses loudness measuring only. The types come from the
// Debian -dev header.
#pragma once

#include <ebur128.h>

#include <memory>

#include "lib_loader.h"

namespace quillet {

struct TEbur128Lib : TLibrary {
    TEbur128Lib() : TLibrary("libebur128.so.1") {}
    QUILLET_LIB_ENTRY(ebur128_init);
    QUILLET_LIB_ENTRY(ebur128_destroy);
    QUILLET_LIB_ENTRY(ebur128_set_channel);
    QUILLET_LIB_ENTRY(ebur128_add_frames_short);
    QUILLET_LIB_ENTRY(ebur128_add_frames_int);
    QUILLET_LIB_ENTRY(ebur128_add_frames_float);
    QUILLET_LIB_ENTRY(ebur128_loudness_global);
    QUILLET_LIB_ENTRY(ebur128_loudness_global_multiple);
    QUILLET_LIB_ENTRY(ebur128_loudness_momentary);
    QUILLET_LIB_ENTRY(ebur128_loudness_range);
    QUILLET_LIB_ENTRY(ebur128_loudness_range_multiple);
    QUILLET_LIB_ENTRY(ebur128_true_peak);
};

// The process-wide binding.
TEbur128Lib& Ebur128Lib();

struct TEbur128Free {
    void operator()(ebur128_state* s) const { Ebur128Lib().ebur128_destroy(&s); }
};
using TEbur128State = std::unique_ptr<ebur128_state, TEbur128Free>;

}  // namespace quillet
