// Musepack fixtures made with mpcenc from sox-generated PCM, each with
// mpcdec's 16-bit decode as the reference, made once per test binary. mpcdec
// rounds x * 32768 to nearest where the input floors x * 32767, so the two
// may differ by 2 above half scale; the tones stay below it, where they agree
// within 1.
#pragma once

#include <map>
#include <string>

#include "ACS_MPC.h"
#include "decoders/codec_fixture.h"

namespace quillet::test::mpc_fixture {

struct MpcFixture {
    std::string path;
    ByteVec reference;  // mpcdec's samples: 16-bit signed little-endian
    uint32_t channels = 0;
    uint32_t rate = 0;
};

inline std::string Dir() {
    return FixtureDir("mpc");
}

inline const MpcFixture& Fixture(const std::string& name, uint32_t channels, uint32_t rate,
                                 double seconds, const std::string& mpcencArgs = "") {
    static std::map<std::string, MpcFixture> made;
    auto it = made.find(name);
    if (it != made.end()) return it->second;
    const std::string base = Dir() + "/" + name;
    std::string tones;
    for (uint32_t c = 0; c < channels; ++c) tones += " sine " + std::to_string(330 + 220 * c);
    const bool ok =
        Sh("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 " +
           base + ".wav synth " + std::to_string(seconds) + tones +
           " vol 0.4 && mpcenc --silent --overwrite " + mpcencArgs + " " + base + ".wav " + base +
           ".mpc && mpcdec -r " + base + ".mpc " + base + ".raw 2>/dev/null");
    EXPECT_TRUE(ok) << name;
    MpcFixture f{base + ".mpc", ReadAll(base + ".raw"), channels, rate};
    return made.emplace(name, std::move(f)).first->second;
}

inline const MpcFixture& Stereo() {
    return Fixture("stereo", 2, 44100, 2.0);
}

}  // namespace quillet::test::mpc_fixture
