// The equalizer's built-in presets and the one reading of a setting written
// as text: "G1,...,G10" (ten gains in dB, lowest band first) or a preset's
// name. The window, the settings file and the command line share them.
// Any thread.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "eq_design.h"

namespace quillet {

struct TEqPreset {
    std::string Name;  // as shown (English; the window translates built-ins)
    double PreampDb = 0;
    std::array<double, kEqBands> Gains{};
    bool operator==(const TEqPreset&) const = default;
};

// Flat, Rock, Pop, Jazz, Classical, Vocal, Bass boost, Treble boost,
// Loudness, in that order.
const std::vector<TEqPreset>& BuiltInEqPresets();

// Whether two preset names are the same one: ASCII case aside, "-" and
// "_" read as blanks.
bool SamePresetName(std::string_view a, std::string_view b);

// The preset of that name in `presets`, or else among the built-ins; names
// match regardless of ASCII case, with "-" and "_" read as blanks
// ("bass-boost" finds "Bass boost").
std::optional<TEqPreset> FindEqPreset(std::string_view name,
                                      const std::vector<TEqPreset>& presets = {});

// Ten gains written "G1,...,G10" (decimal dB, a "+" allowed), each within
// -kEqMaxDb..kEqMaxDb; nothing for any other text.
std::optional<std::array<double, kEqBands>> ParseEqGains(std::string_view text);
// One gain in dB with at most two decimals ("3.5", "-12", "0").
std::string FormatEqDb(double db);
// The gains as ParseEqGains reads them, at most two decimals each.
std::string FormatEqGains(const std::array<double, kEqBands>& gains);

// A command line's --eq: ten gains or a preset's name. The equalizer on,
// with that preset's preamp; nothing when the text is neither.
std::optional<TEqSettings> ParseEqArgument(std::string_view text,
                                           const std::vector<TEqPreset>& presets = {});

}  // namespace quillet
