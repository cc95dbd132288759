#include "replay_gain.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "tags_internal.h"
#include "text.h"

namespace quillet {

namespace {

// A plain decimal number with an optional sign, nothing else: no exponent,
// no "inf" or "nan", no hexadecimal.
std::optional<double> ParseDecimal(std::string_view s) {
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || !(s.front() == '.' || (s.front() >= '0' && s.front() <= '9'))) return {};
    double v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::fixed);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return {};
    return negative ? -v : v;
}

double ClampGain(double db) {
    return std::clamp(db, -kMaxReplayGainDb, kMaxReplayGainDb);
}

}  // namespace

std::optional<double> ParseGainDb(std::string_view text) {
    std::string_view s = Trim(text);
    if (s.size() >= 2 && SameTextAscii(s.substr(s.size() - 2), "dB"))
        s = Trim(s.substr(0, s.size() - 2));
    const std::optional<double> v = ParseDecimal(s);
    if (!v) return {};
    return ClampGain(*v);
}

std::optional<double> ParsePeak(std::string_view text) {
    const std::optional<double> v = ParseDecimal(Trim(text));
    if (!v || *v <= 0 || *v > 10) return {};
    return v;
}

std::optional<double> ParseR128Gain(std::string_view text) {
    const std::optional<int32_t> q = tags_detail::ParseInt32(Trim(text));
    if (!q || *q < -32768 || *q > 32767) return {};
    return ClampGain(*q / 256.0 + 5.0);
}

const std::array<const char*, 6> TReplayGainFields::Keys = {
    "REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_TRACK_PEAK", "REPLAYGAIN_ALBUM_GAIN",
    "REPLAYGAIN_ALBUM_PEAK", "R128_TRACK_GAIN",       "R128_ALBUM_GAIN"};

bool TReplayGainFields::Take(std::string_view Key, std::string_view Value) {
    using Parser = std::optional<double> (*)(std::string_view);
    const struct {
        std::optional<double>* Field;
        Parser Parse;
    } fields[] = {{&FTrackGain, ParseGainDb},   {&FTrackPeak, ParsePeak},
                  {&FAlbumGain, ParseGainDb},   {&FAlbumPeak, ParsePeak},
                  {&FTrackR128, ParseR128Gain}, {&FAlbumR128, ParseR128Gain}};
    for (size_t i = 0; i < Keys.size(); ++i) {
        if (!SameTextAscii(Key, Keys[i])) continue;
        if (!*fields[i].Field) *fields[i].Field = fields[i].Parse(Value);
        return true;
    }
    return false;
}

TReplayGain TReplayGainFields::Result() const {
    auto one = [](const std::optional<double>& gain, const std::optional<double>& peak,
                  const std::optional<double>& r128) -> std::optional<TGainInfo> {
        // The peak belongs to the sound, whichever field gave the gain.
        if (gain || r128) return TGainInfo{gain ? *gain : *r128, peak.value_or(0)};
        return std::nullopt;
    };
    return {one(FTrackGain, FTrackPeak, FTrackR128), one(FAlbumGain, FAlbumPeak, FAlbumR128)};
}

}  // namespace quillet
