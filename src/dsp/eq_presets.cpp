#include "eq_presets.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace quillet {

namespace {

char Folded(char c) {
    if (c == '-' || c == '_') return ' ';
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::optional<double> ParseDb(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.size() > 1 && text[0] == '+') text.remove_prefix(1);
    double v = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(v)) return std::nullopt;
    if (v < -kEqMaxDb || v > kEqMaxDb) return std::nullopt;
    // Hundredths, as they are written back: a saved preset reads the same.
    return std::round(v * 100) / 100;
}

}  // namespace

bool SamePresetName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Folded(a[i]) != Folded(b[i])) return false;
    return true;
}

const std::vector<TEqPreset>& BuiltInEqPresets() {
    // Broad shapes that leave the mid-range near 0, so switching between
    // them does not jump in loudness.
    static const std::vector<TEqPreset> presets{
        {"Flat", 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"Rock", 0, {5, 4, 3, 1, -1, -1, 1, 3, 4, 5}},
        {"Pop", 0, {-1, 1, 3, 4, 3, 0, -1, -1, 0, 1}},
        {"Jazz", 0, {3, 2, 1, 2, -1, -1, 0, 1, 2, 3}},
        {"Classical", 0, {4, 3, 2, 1, 0, 0, 0, 1, 2, 3}},
        {"Vocal", 0, {-2, -3, -2, 1, 3, 4, 3, 1, 0, -1}},
        {"Bass boost", 0, {7, 6, 5, 3, 1, 0, 0, 0, 0, 0}},
        {"Treble boost", 0, {0, 0, 0, 0, 0, 1, 3, 5, 6, 7}},
        {"Loudness", 0, {6, 4, 2, 0, -1, -1, 0, 2, 4, 5}},
    };
    return presets;
}

std::optional<TEqPreset> FindEqPreset(std::string_view name,
                                      const std::vector<TEqPreset>& presets) {
    for (const TEqPreset& p : presets)
        if (SamePresetName(p.Name, name)) return p;
    for (const TEqPreset& p : BuiltInEqPresets())
        if (SamePresetName(p.Name, name)) return p;
    return std::nullopt;
}

std::optional<std::array<double, kEqBands>> ParseEqGains(std::string_view text) {
    std::array<double, kEqBands> gains{};
    for (size_t band = 0; band < kEqBands; ++band) {
        const size_t comma = text.find(',');
        if ((comma == std::string_view::npos) != (band + 1 == kEqBands)) return std::nullopt;
        const std::optional<double> db = ParseDb(text.substr(0, comma));
        if (!db) return std::nullopt;
        gains[band] = *db;
        if (comma != std::string_view::npos) text.remove_prefix(comma + 1);
    }
    return gains;
}

std::string FormatEqDb(double db) {
    char part[32];
    std::snprintf(part, sizeof part, "%.2f", db);
    std::string s = part;
    // 3.50 -> 3.5, 3.00 -> 3, and never "-0".
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
    if (s == "-0") s = "0";
    return s;
}

std::string FormatEqGains(const std::array<double, kEqBands>& gains) {
    std::string out;
    for (size_t band = 0; band < kEqBands; ++band) {
        if (band > 0) out += ',';
        out += FormatEqDb(gains[band]);
    }
    return out;
}

std::optional<TEqSettings> ParseEqArgument(std::string_view text,
                                           const std::vector<TEqPreset>& presets) {
    TEqSettings settings;
    settings.On = true;
    if (const auto gains = ParseEqGains(text)) {
        settings.Gains = *gains;
        return settings;
    }
    const std::optional<TEqPreset> preset = FindEqPreset(text, presets);
    if (!preset) return std::nullopt;
    settings.PreampDb = preset->PreampDb;
    settings.Gains = preset->Gains;
    return ClampedEq(settings);
}

}  // namespace quillet
