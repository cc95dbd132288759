// The equalizer: its design at every rate, a change that ramps, and the
// sound quillet-cli decode --eq writes, against the design curve (sines)
// and against sox's own equalizer (pink noise).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "eq_presets.h"
#include "equalizer.h"

namespace quillet {
namespace {

std::vector<TEqSettings> Shapes() {
    std::vector<TEqSettings> all;
    for (const TEqPreset& p : BuiltInEqPresets()) all.push_back({true, p.PreampDb, p.Gains});
    TEqSettings zigzag{true, 0, {}}, top{true, 0, {}}, bottom{true, -6, {}};
    for (size_t b = 0; b < kEqBands; ++b) {
        zigzag.Gains[b] = b % 2 ? -12 : 12;
        top.Gains[b] = 12;
        bottom.Gains[b] = -12;
    }
    all.insert(all.end(), {zigzag, top, bottom});
    for (size_t b = 0; b < kEqBands; ++b) {
        TEqSettings one{true, 0, {}};
        one.Gains[b] = 12;
        all.push_back(one);
    }
    return all;
}

// Every band that plays gets at its centre the gain asked, whatever its
// neighbours ask; every section is stable; bands the rate cannot carry drop.
TEST(EqDesign, CentresGetTheGainAskedAtEveryRate) {
    for (const double rate :
         {8000.0, 11025.0, 22050.0, 32000.0, 44100.0, 48000.0, 96000.0, 192000.0}) {
        for (const TEqSettings& s : Shapes()) {
            const auto gains = CorrectedEqGains(s.Gains, rate);
            for (size_t b = 0; b < kEqBands; ++b) {
                if (!EqBandPlays(b, rate)) {
                    EXPECT_EQ(gains[b], 0) << rate;
                    EXPECT_GE(kEqCentres[b], kEqTopShare * rate);
                    continue;
                }
                EXPECT_NEAR(EqResponseDb(s, rate, kEqCentres[b]), s.Gains[b] + s.PreampDb, 0.05)
                    << "band " << b << " at " << rate << " Hz, " << FormatEqGains(s.Gains);
                const TBiquad q = PeakingBiquad(kEqCentres[b], rate, gains[b]);
                EXPECT_LT(std::abs(q.A2), 1.0);
                EXPECT_LT(std::abs(q.A1), 1.0 + q.A2);
            }
        }
    }
}

// White noise through the running equalizer at the extreme rates: finite,
// and no louder than the highest boost allows.
TEST(EqRun, StaysBoundedAtEveryRate) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> noise(-0.5, 0.5);
    for (const double rate : {8000.0, 44100.0, 192000.0}) {
        for (const TEqSettings& s : Shapes()) {
            if (s.Neutral()) continue;
            TEqualizer eq;
            eq.Set(s);
            eq.Start(rate, 2);
            std::vector<double> x(static_cast<size_t>(rate) / 4 * 2);
            for (double& v : x) v = noise(random);
            if (eq.Idle()) continue;  // it sets only bands this rate drops
            eq.Process(x.data(), x.size() / 2);
            double peak = 0;
            for (const double v : x) peak = std::max(peak, std::abs(v));
            ASSERT_TRUE(std::isfinite(peak));
            EXPECT_LT(peak, 2.0) << rate << " " << FormatEqGains(s.Gains);
        }
    }
}

// A setting changed under a sine moves the level smoothly: no sample-to-
// sample step beyond what the sine itself has (with room for the level),
// and off ends exact once the ramp is over.
TEST(EqRun, AChangeRampsAndOffEndsExact) {
    const double rate = 44100, f = 100;
    TEqualizer eq;
    eq.Start(rate, 1);
    EXPECT_TRUE(eq.Idle());
    std::vector<double> x(static_cast<size_t>(rate)), y;
    for (size_t i = 0; i < x.size(); ++i) x[i] = 0.25 * std::sin(2 * M_PI * f * i / rate);
    const double sineStep = 0.25 * 2 * M_PI * f / rate;
    y = x;
    const size_t quarter = x.size() / 4;
    TEqSettings loud{true, 0, {}};
    loud.Gains = {12, 12, 12, 0, 0, 0, 0, 0, 0, 0};
    eq.Set(loud);
    ASSERT_FALSE(eq.Idle());
    eq.Process(y.data(), quarter);
    eq.Set({});
    EXPECT_FALSE(eq.Idle());  // still ramping down
    eq.Process(y.data() + quarter, quarter);
    EXPECT_TRUE(eq.Idle());
    double step = 0;
    for (size_t i = 1; i < 2 * quarter; ++i) step = std::max(step, std::abs(y[i] - y[i - 1]));
    EXPECT_LT(step, sineStep * 4.5);  // +12 dB is four times the sine
}

// --- The command line, against sox

std::string Dir() {
    const char* tmp = std::getenv("QUILLET_TEST_TMP");
    const std::string dir = std::string(tmp ? tmp : "/tmp") + "/eq";
    std::filesystem::create_directories(dir);
    return dir;
}

bool Sh(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

std::vector<int16_t> Raw(const std::string& path) {
    std::vector<int16_t> v;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return v;
    int16_t s;
    while (std::fread(&s, 2, 1, f) == 1) v.push_back(s);
    std::fclose(f);
    return v;
}

double Rms(const std::vector<int16_t>& v, size_t from, size_t count) {
    double sum = 0;
    for (size_t i = from; i < from + count; ++i) sum += static_cast<double>(v[i]) * v[i];
    return std::sqrt(sum / static_cast<double>(count));
}

#ifdef QUILLET_CLI
// Decodes `in` through the equalizer to raw 16-bit samples.
std::vector<int16_t> Equalized(const std::string& in, const std::string& eq) {
    const std::string out = Dir() + "/out.raw";
    EXPECT_TRUE(
        Sh(std::string(QUILLET_CLI) + " decode --raw --eq " + eq + " '" + in + "' '" + out + "'"));
    return Raw(out);
}

// Sines at the ten centres, one after another: each comes out at the design
// curve's gain. Cuts only take no headroom, so those are absolute; a shape
// that boosts is lowered as a whole, by the same headroom at every band.
TEST(EqCli, SinesAtTheCentresFollowTheDesignCurve) {
    const std::string in = Dir() + "/sines.wav";
    std::string parts;
    for (const double f : kEqCentres) {
        const std::string part = Dir() + "/sine" + std::to_string(static_cast<int>(f)) + ".wav";
        ASSERT_TRUE(Sh("sox -n -r 48000 -c 1 -b 16 '" + part + "' synth 0.5 sine " +
                       std::to_string(static_cast<int>(f)) + " vol 0.25"));
        parts += " '" + part + "'";
    }
    ASSERT_TRUE(Sh("sox" + parts + " '" + in + "'"));
    const std::vector<int16_t> dry = Raw(in);
    for (const std::string shape :
         {"-3,-6,-9,-12,-6,0,-3,-9,-12,-6", "12,-12,6,0,3,9,-3,12,-6,4"}) {
        const TEqSettings s = *ParseEqArgument(shape);
        const std::vector<int16_t> wet = Equalized(in, shape);
        ASSERT_EQ(wet.size() + 22, dry.size());  // the WAV header's 44 bytes
        std::vector<double> offset;
        for (size_t b = 0; b < kEqBands; ++b) {
            // The middle of each half second, past the sections' settling.
            const size_t from = b * 24000 + 12000, count = 9600;
            const double db = 20 * std::log10(Rms(wet, from, count) / Rms(dry, from + 22, count));
            offset.push_back(db - EqResponseDb(s, 48000, kEqCentres[b]));
        }
        const bool boosts = EqMaxResponseDb(s, 48000) > 0;
        for (size_t b = 0; b < kEqBands; ++b) {
            EXPECT_NEAR(offset[b], boosts ? offset[0] : 0.0, 0.5) << shape << " band " << b;
            EXPECT_LE(offset[b], 0.1);
        }
    }
}

// Pink noise through a preset and through sox's own equalizer, ten peaking
// sections of the corrected gains with the same Q: the same sound, but for
// one constant (our headroom) and the last bit's rounding.
TEST(EqCli, PinkNoiseMatchesSoxsEqualizer) {
    const std::string in = Dir() + "/pink.wav", ref = Dir() + "/pink-sox.raw";
    ASSERT_TRUE(Sh("sox -R -n -r 44100 -c 1 -b 16 '" + in + "' synth 3 pinknoise vol 0.2"));
    const TEqSettings rock = *ParseEqArgument("rock");
    const auto gains = CorrectedEqGains(rock.Gains, 44100);
    std::string chain;
    for (size_t b = 0; b < kEqBands; ++b)
        chain += " equalizer " + std::to_string(kEqCentres[b]) + " " + std::to_string(kEqQ) + "q " +
                 std::to_string(gains[b]);
    ASSERT_TRUE(
        Sh("sox -R -D '" + in + "' -t raw -e signed -b 16 '" + ref + "'" + chain + " 2>/dev/null"));
    const std::vector<int16_t> ours = Equalized(in, "rock"), theirs = Raw(ref);
    ASSERT_EQ(ours.size(), theirs.size());
    double ab = 0, bb = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        ab += static_cast<double>(ours[i]) * theirs[i];
        bb += static_cast<double>(theirs[i]) * theirs[i];
    }
    const double scale = ab / bb;
    double err = 0;
    for (size_t i = 0; i < ours.size(); ++i) err += std::pow(ours[i] - scale * theirs[i], 2);
    EXPECT_LE(scale, 1.0);
    EXPECT_GT(scale, 0.5);
    EXPECT_LT(10 * std::log10(err / bb), -50) << "scale " << scale;
}

// A full-scale sine and full-scale pink noise, boosted 12 dB: no sample
// reaches full scale, and the boosted sine keeps its level (the boost is
// taken back, not the sound).
TEST(EqCli, FullScaleBoostedNeverClipsNorFades) {
    const std::string sine = Dir() + "/loud-sine.wav", pink = Dir() + "/loud-pink.wav";
    ASSERT_TRUE(Sh("sox -V1 -n -r 44100 -c 1 -b 16 '" + sine + "' synth 1 sine 1000 gain -n 0"));
    ASSERT_TRUE(Sh("sox -V1 -R -n -r 44100 -c 1 -b 16 '" + pink + "' synth 2 pinknoise gain -n 0"));
    const std::vector<int16_t> dry = Raw(sine);
    const std::vector<int16_t> wet = Equalized(sine, "0,0,0,0,0,12,0,0,0,0");
    auto clipped = [](const std::vector<int16_t>& v) {
        return std::count_if(v.begin(), v.end(),
                             [](int16_t s) { return s >= 32767 || s <= -32767; });
    };
    EXPECT_EQ(clipped(wet), 0);
    EXPECT_GT(20 * std::log10(Rms(wet, 4410, 22050) / Rms(dry, 4432, 22050)), -1.5);
    EXPECT_EQ(clipped(Equalized(pink, "bass-boost")), 0);
    EXPECT_EQ(clipped(Equalized(pink, "12,12,12,12,12,12,12,12,12,12")), 0);
}
#endif

}  // namespace
}  // namespace quillet
