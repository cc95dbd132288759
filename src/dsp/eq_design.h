// The equalizer's filter design, shared by the stage, the window and the
// command line (which print and check it).
//
// Ten peaking biquads (the well-known "cookbook" peaking EQ: the bilinear
// transform of a second-order analogue peak, prewarped so the centre lands
// where it is asked) at 31, 62, 125, 250, 500, 1k, 2k, 4k, 8k and 16k Hz,
// each with Q = sqrt(2), one octave between its half-gain points, so
// neighbours meet about half-way.
//
// Neighbouring bands overlap, so their responses add up: +12 dB on two
// neighbours alone gives each centre about +14. The bands are therefore
// corrected: the gains the filters get are solved (a few fixed-point steps
// on the summed dB response at the ten centres) so that the cascade's
// response at each centre is the gain asked, within a hundredth of a dB
// for any setting the sliders can make. The corrected gains are never more
// than twice the slider's range; a pattern that would need more (none of
// the sliders' settings does) ends up as near as that allows.
//
// A band whose centre is at or above 0.45 of the sample rate (16 kHz below
// about 35.6 kHz, 8 kHz below 17.8 kHz, 4 kHz at 8 kHz) is dropped: the
// peaking section degenerates as its centre nears the Nyquist limit, and
// the rate carries nothing there to shape. Its slider then does nothing.
//
// Every function here is pure and may be called from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quillet {

inline constexpr size_t kEqBands = 10;
inline constexpr std::array<double, kEqBands> kEqCentres{31,   62,   125,  250,  500,
                                                         1000, 2000, 4000, 8000, 16000};
// Each band's and the preamp's range, in dB either way.
inline constexpr double kEqMaxDb = 12;
inline constexpr double kEqQ = 1.4142135623730951;
// Centres at or above this share of the sample rate are dropped.
inline constexpr double kEqTopShare = 0.45;

// What the listener set. Off, or on with every band and the preamp at 0,
// leaves the sound untouched.
struct TEqSettings {
    bool On = false;
    double PreampDb = 0;
    std::array<double, kEqBands> Gains{};
    bool operator==(const TEqSettings&) const = default;
    // Nothing to do: off, or flat with no preamp.
    bool Neutral() const;
};

// The settings with every gain brought into -kEqMaxDb..kEqMaxDb (a value
// that is not a number counts as 0).
TEqSettings ClampedEq(TEqSettings settings);

struct TBiquad {
    double B0 = 1, B1 = 0, B2 = 0, A1 = 0, A2 = 0;  // normalised: a0 = 1
};

// The peaking section at `centre` Hz for `rate`, `gainDb` at the centre.
TBiquad PeakingBiquad(double centre, double rate, double gainDb, double q = kEqQ);
// Its gain in dB at `frequency`.
double BiquadResponseDb(const TBiquad& b, double frequency, double rate);
// Whether band `band` plays at `rate` (see kEqTopShare).
bool EqBandPlays(size_t band, double rate);

// The gains the sections get so that the cascade gives `asked` at the
// centres (dropped bands get 0).
std::array<double, kEqBands> CorrectedEqGains(const std::array<double, kEqBands>& asked,
                                              double rate);

// The design's response in dB at `frequency`, preamp included, before any
// headroom: what a sine there comes out at, relative to what went in.
double EqResponseDb(const TEqSettings& settings, double rate, double frequency);
// The response's highest point in dB over 20 Hz..min(20 kHz, 0.49 rate),
// preamp included (0 or more when nothing boosts: the preamp alone can cut).
double EqMaxResponseDb(const TEqSettings& settings, double rate);

}  // namespace quillet
