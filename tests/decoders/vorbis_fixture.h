// Ogg Vorbis fixtures made with oggenc from sox-generated PCM, each with its
// reference decode by oggdec (16-bit signed little-endian raw), made once per
// test binary.
#pragma once

#include <map>
#include <string>

#include "ACS_Vorbis.h"
#include "decoders/codec_fixture.h"

namespace quillet::test::vorbis_fixture {

struct OggFixture {
    std::string path;
    ByteVec reference;  // oggdec -R output
    uint32_t channels = 0;
    uint32_t rate = 0;
};

inline std::string Dir() {
    return FixtureDir("vorbis");
}

// Made on first use: sox tones of `seconds`, oggenc at quality 3 with the
// extra oggenc arguments (comments), oggdec for the reference.
inline const OggFixture& Fixture(const std::string& name, uint32_t channels, uint32_t rate,
                                 double seconds, const std::string& oggencArgs = "") {
    static std::map<std::string, OggFixture> made;
    auto it = made.find(name);
    if (it != made.end()) return it->second;
    const std::string base = Dir() + "/" + name;
    std::string tones;
    for (uint32_t c = 0; c < channels; ++c) tones += " sine " + std::to_string(220 + 110 * c);
    const bool ok = Sh("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) +
                       " -b 16 " + base + ".wav synth " + std::to_string(seconds) + tones +
                       " vol 0.6 && oggenc -Q -q 3 " + oggencArgs + " -o " + base + ".ogg " + base +
                       ".wav && oggdec -Q -R -o " + base + ".raw " + base + ".ogg");
    EXPECT_TRUE(ok) << name;
    OggFixture f{base + ".ogg", ReadAll(base + ".raw"), channels, rate};
    return made.emplace(name, std::move(f)).first->second;
}

inline const OggFixture& Stereo() {
    return Fixture("stereo", 2, 44100, 2.0,
                   "-c ARTIST=First -c artist=Second -c title=Two=Parts -c ALBUM=Al "
                   "-c TRACKNUMBER=7 -c GENRE=Ambient -c DATE=2001 -c COMMENT=ignored "
                   "-c NOKEY=dropped");
}

}  // namespace quillet::test::vorbis_fixture
