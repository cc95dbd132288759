#include "eq_design.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace quillet {

namespace {

// Fixed-point steps of the band correction: each takes the error at the
// centres off the gains; the sections' overlap is small enough that this
// settles to well under a hundredth of a dB.
constexpr int kCorrectionSteps = 24;
constexpr double kMaxCorrectedDb = 2 * kEqMaxDb;

double Finite(double v) {
    return std::isfinite(v) ? v : 0.0;
}

}  // namespace

bool TEqSettings::Neutral() const {
    if (!On) return true;
    return PreampDb == 0 &&
           std::all_of(Gains.begin(), Gains.end(), [](double g) { return g == 0; });
}

TEqSettings ClampedEq(TEqSettings settings) {
    settings.PreampDb = std::clamp(Finite(settings.PreampDb), -kEqMaxDb, kEqMaxDb);
    for (double& g : settings.Gains) g = std::clamp(Finite(g), -kEqMaxDb, kEqMaxDb);
    return settings;
}

TBiquad PeakingBiquad(double centre, double rate, double gainDb, double q) {
    const double a = std::pow(10.0, gainDb / 40.0);
    const double w0 = 2 * std::numbers::pi * centre / rate;
    const double alpha = std::sin(w0) / (2 * q);
    const double cosw = std::cos(w0);
    const double a0 = 1 + alpha / a;
    return {(1 + alpha * a) / a0, -2 * cosw / a0, (1 - alpha * a) / a0, -2 * cosw / a0,
            (1 - alpha / a) / a0};
}

double BiquadResponseDb(const TBiquad& b, double frequency, double rate) {
    const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * frequency / rate);
    const std::complex<double> z2 = z1 * z1;
    const double num = std::abs(b.B0 + b.B1 * z1 + b.B2 * z2);
    const double den = std::abs(1.0 + b.A1 * z1 + b.A2 * z2);
    return 20 * std::log10(num / den);
}

bool EqBandPlays(size_t band, double rate) {
    return band < kEqBands && kEqCentres[band] < kEqTopShare * rate;
}

std::array<double, kEqBands> CorrectedEqGains(const std::array<double, kEqBands>& asked,
                                              double rate) {
    std::array<double, kEqBands> gains{};
    for (size_t k = 0; k < kEqBands; ++k)
        if (EqBandPlays(k, rate)) gains[k] = asked[k];
    if (std::all_of(gains.begin(), gains.end(), [](double g) { return g == 0; })) return gains;
    const std::array<double, kEqBands> target = gains;
    for (int step = 0; step < kCorrectionSteps; ++step) {
        std::array<TBiquad, kEqBands> sections;
        for (size_t j = 0; j < kEqBands; ++j)
            sections[j] = PeakingBiquad(kEqCentres[j], rate, gains[j]);
        std::array<double, kEqBands> next = gains;
        for (size_t k = 0; k < kEqBands; ++k) {
            if (!EqBandPlays(k, rate)) continue;
            double sum = 0;
            for (size_t j = 0; j < kEqBands; ++j)
                if (gains[j] != 0) sum += BiquadResponseDb(sections[j], kEqCentres[k], rate);
            next[k] = std::clamp(gains[k] + (target[k] - sum), -kMaxCorrectedDb, kMaxCorrectedDb);
        }
        gains = next;
    }
    return gains;
}

double EqResponseDb(const TEqSettings& settings, double rate, double frequency) {
    if (settings.Neutral()) return 0;
    const std::array<double, kEqBands> gains = CorrectedEqGains(settings.Gains, rate);
    double db = settings.PreampDb;
    for (size_t j = 0; j < kEqBands; ++j)
        if (gains[j] != 0)
            db += BiquadResponseDb(PeakingBiquad(kEqCentres[j], rate, gains[j]), frequency, rate);
    return db;
}

double EqMaxResponseDb(const TEqSettings& settings, double rate) {
    if (settings.Neutral()) return 0;
    const std::array<double, kEqBands> gains = CorrectedEqGains(settings.Gains, rate);
    std::array<TBiquad, kEqBands> sections;
    for (size_t j = 0; j < kEqBands; ++j)
        sections[j] = PeakingBiquad(kEqCentres[j], rate, gains[j]);
    auto at = [&](double f) {
        double db = settings.PreampDb;
        for (size_t j = 0; j < kEqBands; ++j)
            if (gains[j] != 0) db += BiquadResponseDb(sections[j], f, rate);
        return db;
    };
    // A log grid of 1/24 octave finds every peak of these broad sections to
    // a small fraction of a dB; the centres are looked at too.
    const double top = std::min(20000.0, 0.49 * rate);
    double best = -1e9;
    for (double f = 20; f <= top; f *= 1.0293) best = std::max(best, at(f));
    for (size_t k = 0; k < kEqBands; ++k)
        if (EqBandPlays(k, rate)) best = std::max(best, at(kEqCentres[k]));
    return best;
}

}  // namespace quillet
