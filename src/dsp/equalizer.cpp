#include "equalizer.h"

#include <algorithm>
#include <cmath>

namespace quillet {

namespace {

// The margin for the sections' phase, for a boost of `maxDb`: a quarter
// of it, at most 1 dB.
double MarginDb(double maxDb) {
    return std::min(1.0, maxDb / 4);
}

}  // namespace

void TEqualizer::Start(double rate, uint32_t channels) {
    FRate = rate > 0 ? rate : 44100;
    FChannels = 0;  // Idle takes the setting without aiming
    FState.assign(size_t{channels} * kEqBands * 2, 0.0);
    FSeen = FSettings.Serial() | 1u;  // forces a fresh look below
    FTaken = {};
    FTakenMaxDb = 0;
    FRampLeft = 0;
    FNow = {};
    Idle();
    FChannels = channels;
    Aim(Target(), true);
}

void TEqualizer::SetPeak(double peak) {
    if (!(peak > 0)) peak = 1;
    if (peak == FPeak) return;
    FPeak = peak;
    if (FChannels != 0) Aim(Target(), false);
}

TEqualizer::TPoint TEqualizer::Target() const {
    TPoint to;
    if (FTaken.Neutral()) return to;
    to.Gains = CorrectedEqGains(FTaken.Gains, FRate);
    to.PreampDb = FTaken.PreampDb;
    if (FTakenMaxDb > 0) {
        const double over = FTakenMaxDb + 20 * std::log10(FPeak) + MarginDb(FTakenMaxDb);
        to.HeadroomDb = std::min(0.0, -over);
    }
    return to;
}

void TEqualizer::Aim(const TPoint& to, bool atOnce) {
    if (!atOnce && to == FTo && (FRampLeft > 0 || to == FNow)) return;
    FFrom = FNow;
    FTo = to;
    FRampFrames = atOnce ? 0 : static_cast<size_t>(FRate * kEqRampMs / 1000);
    FRampLeft = FRampFrames;
    if (FRampLeft == 0) {
        FNow = to;
        Design();
    }
}

bool TEqualizer::Idle() {
    const uint32_t serial = FSettings.Serial();
    if (serial != FSeen) {
        TEqSettings s;
        if (FSettings.TryLoad(s)) {
            FSeen = serial;
            const bool wasNeutral = FTaken.Neutral();
            FTaken = s;
            FTakenMaxDb = s.Neutral() ? 0 : EqMaxResponseDb(s, FRate);
            // From neutral the sections start from silence: no stale state.
            if (wasNeutral && FRampLeft == 0 && FNow == TPoint{})
                std::fill(FState.begin(), FState.end(), 0.0);
            if (FChannels != 0) Aim(Target(), false);
        }
    }
    return FRampLeft == 0 && FNow == TPoint{};
}

void TEqualizer::Design() {
    for (size_t j = 0; j < kEqBands; ++j) {
        FSections[j] = PeakingBiquad(kEqCentres[j], FRate, FNow.Gains[j]);
        // A section back at 0 dB is skipped; it must start again from rest.
        if (FNow.Gains[j] == 0)
            for (size_t c = 0; c < FChannels; ++c)
                FState[(c * kEqBands + j) * 2] = FState[(c * kEqBands + j) * 2 + 1] = 0;
    }
    FScale = std::pow(10.0, (FNow.PreampDb + FNow.HeadroomDb) / 20);
}

void TEqualizer::Process(double* samples, size_t frames) {
    const size_t channels = FChannels;
    while (frames > 0) {
        size_t n = frames;
        if (FRampLeft > 0) {
            // One step of the ramp: the point it reaches at the step's end.
            n = std::min({n, kEqRampStep, FRampLeft});
            FRampLeft -= n;
            const double t = 1.0 - static_cast<double>(FRampLeft) / FRampFrames;
            auto mix = [t](double a, double b) { return a + (b - a) * t; };
            for (size_t j = 0; j < kEqBands; ++j) FNow.Gains[j] = mix(FFrom.Gains[j], FTo.Gains[j]);
            FNow.PreampDb = mix(FFrom.PreampDb, FTo.PreampDb);
            FNow.HeadroomDb = mix(FFrom.HeadroomDb, FTo.HeadroomDb);
            if (FRampLeft == 0) FNow = FTo;
            Design();
        }
        const size_t count = n * channels;
        if (FScale != 1.0)
            for (size_t i = 0; i < count; ++i) samples[i] *= FScale;
        for (size_t j = 0; j < kEqBands; ++j) {
            // A section at 0 dB passes its input and keeps a state of zero.
            if (FNow.Gains[j] == 0) continue;
            const TBiquad& b = FSections[j];
            for (size_t c = 0; c < channels; ++c) {
                double* state = &FState[(c * kEqBands + j) * 2];
                double s1 = state[0], s2 = state[1];
                for (size_t i = c; i < count; i += channels) {
                    const double x = samples[i];
                    const double y = b.B0 * x + s1;
                    s1 = b.B1 * x - b.A1 * y + s2;
                    s2 = b.B2 * x - b.A2 * y;
                    samples[i] = y;
                }
                state[0] = s1;
                state[1] = s2;
            }
        }
        samples += count;
        frames -= n;
    }
}

}  // namespace quillet
