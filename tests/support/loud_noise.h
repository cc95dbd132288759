// Sounds of a known loudness, and the loudness of what a device received, for
// the measured-gain tests: sox makes the files, libebur128 measures.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ebur128_lib.h"
#include "wave_fixture.h"

namespace quillet::test {

// `file`: `seconds` of untagged 16-bit stereo pink noise at about `lufs`, or
// a 1 kHz tone above -12 LUFS, where noise would clip.
inline std::string LoudNoise(const std::string& file, double lufs, double seconds) {
    // At vol 1 the noise measures about -10.6 LUFS, the tone -0.7.
    const bool tone = lufs > -12;
    char vol[32];
    std::snprintf(vol, sizeof vol, "%.6f", std::pow(10, (lufs + (tone ? 0.7 : 10.6)) / 20));
    EXPECT_TRUE(Shell("sox -R -n -r 44100 -c 2 -b 16 " + file + " synth " +
                      std::to_string(seconds) + (tone ? " sine 1000" : " pinknoise") + " vol " +
                      vol));
    return file;
}

// The loudness of 16-bit stereo PCM at 44.1 kHz (Ebur128Lib() loaded).
inline double LoudnessOf(const uint8_t* pcm, size_t bytes) {
    TEbur128State meter(Ebur128Lib().ebur128_init(2, 44100, EBUR128_MODE_I));
    std::vector<short> s(bytes / 2);
    std::memcpy(s.data(), pcm, s.size() * 2);
    Ebur128Lib().ebur128_add_frames_short(meter.get(), s.data(), s.size() / 2);
    double l = 0;
    Ebur128Lib().ebur128_loudness_global(meter.get(), &l);
    return l;
}

}  // namespace quillet::test
