#include "gain.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "ACS_Types.h"
#include "text.h"

namespace quillet {

namespace {

// A tag's or setting's gain, kept within the limit.
double GainFactor(double db) {
    return DbToFactor(std::clamp(db, -kMaxReplayGainDb, kMaxReplayGainDb));
}

// Rounds half away from zero and saturates; the clamp comes first, so the
// conversion never sees a value out of range.
template <class T>
T Scaled(double v, double gain, double lo, double hi) {
    return static_cast<T>(std::lround(std::clamp(v * gain, lo, hi)));
}

// Samples of a whole machine type (16 or 32 bits), scaled in place.
template <class T>
void ScaleWhole(uint8_t* samples, size_t count, double gain) {
    constexpr double lo = std::numeric_limits<T>::min(), hi = std::numeric_limits<T>::max();
    for (size_t i = 0; i < count; ++i, samples += sizeof(T)) {
        T s;
        std::memcpy(&s, samples, sizeof(T));
        s = Scaled<T>(s, gain, lo, hi);
        std::memcpy(samples, &s, sizeof(T));
    }
}

constexpr std::array<std::pair<TReplayGainMode, std::string_view>, 4> kModeNames{{
    {TReplayGainMode::Off, "off"},
    {TReplayGainMode::Track, "track"},
    {TReplayGainMode::Album, "album"},
    {TReplayGainMode::Smart, "smart"},
}};

}  // namespace

std::optional<TReplayGainMode> ParseReplayGainMode(std::string_view text) {
    for (const auto& [mode, name] : kModeNames)
        if (name == text) return mode;
    return std::nullopt;
}

std::string_view ReplayGainModeName(TReplayGainMode mode) {
    for (const auto& [m, name] : kModeNames)
        if (m == mode) return name;
    return kModeNames[1].second;
}

std::optional<double> ParsePreampDb(std::string_view text) {
    if (text.size() > 1 && text[0] == '+') text.remove_prefix(1);  // as people write a gain
    double db = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, db);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(db)) return std::nullopt;
    return std::clamp(db, -kMaxPreampDb, kMaxPreampDb);
}

double TagPeak(const TReplayGain& gains) {
    return std::max(gains.Track ? gains.Track->Peak : 0.0, gains.Album ? gains.Album->Peak : 0.0);
}

double EqualizerPeak(double peak, double gain) {
    return (peak > 0 ? peak : 1.0) * std::max(1.0, gain);
}

double ReplayGainFactor(const TReplayGain& gains, const TReplayGainSetting& setting) {
    if (setting.Mode == TReplayGainMode::Off) return 1.0;
    const bool album = setting.Mode == TReplayGainMode::Album;
    const std::optional<TGainInfo>& chosen = album ? gains.Album : gains.Track;
    const std::optional<TGainInfo>& other = album ? gains.Track : gains.Album;
    const std::optional<TGainInfo>& info = chosen ? chosen : other;
    if (!info) return GainFactor(setting.PreampDb);
    double factor = GainFactor(info->GainDb);
    if (info->Peak > 0) factor = std::min(factor, 1.0 / info->Peak);
    return factor;
}

double InputGainFactor(const TReplayGain& tags, const TInputGainInfo& known,
                       const TReplayGainSetting& setting) {
    TReplayGainSetting s = setting;
    if (s.Mode == TReplayGainMode::Smart)
        s.Mode = known.SmartChoice == TReplayGainMode::Album ? TReplayGainMode::Album
                                                             : TReplayGainMode::Track;
    const bool tagged = tags.Track || tags.Album;
    return ReplayGainFactor(tagged ? tags : known.Measured, s);
}

TReplayGainMode SmartGainMode(const TSmartPlace& place) {
    const std::string_view album = Trim(place.Album);
    const bool joined = !album.empty() && (SameTextAscii(album, Trim(place.PreviousAlbum)) ||
                                           SameTextAscii(album, Trim(place.NextAlbum)));
    return place.InOrder && joined ? TReplayGainMode::Album : TReplayGainMode::Track;
}

TAlbumRun AlbumRunOf(size_t count, size_t index,
                     const std::function<std::string_view(size_t)>& albumAt) {
    TAlbumRun run{index, index};
    if (index >= count) return run;
    const std::string_view album = albumAt(index);
    auto same = [&](size_t i) {
        return SmartGainMode({true, album, albumAt(i), {}}) == TReplayGainMode::Album;
    };
    while (run.First > 0 && same(run.First - 1)) --run.First;
    while (run.Last + 1 < count && same(run.Last + 1)) ++run.Last;
    return run;
}

double VolumeFactor(int32_t hundredthsDb) {
    if (hundredthsDb <= -10000) return 0.0;
    if (hundredthsDb >= 0) return 1.0;
    return DbToFactor(hundredthsDb / 100.0);
}

void ApplyGain(uint8_t* samples, size_t count, uint32_t width, double gain) {
    if (gain == 1.0) return;
    switch (width) {
        case 1:
            for (size_t i = 0; i < count; ++i)
                samples[i] =
                    static_cast<uint8_t>(128 + Scaled<int>(samples[i] - 128, gain, -128, 127));
            break;
        case 2:
            ScaleWhole<int16_t>(samples, count, gain);
            break;
        case 3:
            for (size_t i = 0; i < count; ++i, samples += 3) {
                const int32_t v =
                    Scaled<int32_t>(Packed24High(samples) >> 8, gain, -8388608, 8388607);
                samples[0] = static_cast<uint8_t>(v);
                samples[1] = static_cast<uint8_t>(v >> 8);
                samples[2] = static_cast<uint8_t>(v >> 16);
            }
            break;
        case 4:
            ScaleWhole<int32_t>(samples, count, gain);
            break;
        default:
            break;
    }
}

void TGainSchedule::TLane::Set(const TChange& change) {
    while (Count > 0 && Pending[Count - 1].From >= change.From) --Count;
    if (Count == kMaxPending) {
        Pending[Count - 1].Gain = change.Gain;
        Pending[Count - 1].Ramp = change.Ramp;
        Pending[Count - 1].Start = change.Start;
        return;
    }
    Pending[Count++] = change;
}

double TGainSchedule::TLane::RampedAt(uint64_t Pos) const {
    if (Pos >= RampEnd) return Current;
    const double done =
        static_cast<double>(Pos - RampStart) / static_cast<double>(RampEnd - RampStart);
    return RampFrom + (Current - RampFrom) * done;
}

double TGainSchedule::TLane::At(uint64_t Pos, uint64_t& Next) {
    size_t reached = 0;
    while (reached < Count && Pending[reached].From <= Pos) {
        const TChange& c = Pending[reached++];
        if (c.Ramp > 0) {
            RampFrom = c.Start >= 0 ? c.Start : RampedAt(Pos);
            RampStart = Pos;
            RampEnd = Pos + c.Ramp;
        } else {
            RampEnd = 0;
        }
        Current = c.Gain;
    }
    if (reached > 0) {
        std::copy(Pending.begin() + static_cast<ptrdiff_t>(reached),
                  Pending.begin() + static_cast<ptrdiff_t>(Count), Pending.begin());
        Count -= reached;
    }
    Next = Count > 0 ? Pending[0].From : kNoChange;
    if (Pos >= RampEnd) return Current;
    // One step of the ramp, at the gain it reaches at the step's end, so
    // the last step lands on the target.
    const uint64_t step = std::max<uint64_t>((RampEnd - RampStart) / kRampSteps, 1);
    const uint64_t stepEnd = std::min(RampEnd, Pos + step);
    Next = std::min(Next, stepEnd);
    return RampedAt(stepEnd);
}

double TGainSchedule::At(uint64_t Pos, uint64_t& Next) {
    uint64_t nextFade = kNoChange;
    const double gain = FGain.At(Pos, Next);
    const double fade = FFade.At(Pos, nextFade);
    Next = std::min(Next, nextFade);
    return fade == 1.0 ? gain : gain * fade;
}

}  // namespace quillet
