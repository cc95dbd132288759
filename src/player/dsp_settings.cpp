#include "dsp_settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "ini.h"
#include "text.h"

namespace quillet {

namespace {

constexpr char kEqSection[] = "equalizer";
constexpr char kCrossfadeSection[] = "crossfade";
constexpr char kPresetSection[] = "presets";
constexpr size_t kMaxPresetName = 64;
// A file edited by hand cannot make the menu endless.
constexpr size_t kMaxPresets = 200;

double Decibels(std::string_view text, double def) {
    double v = 0;
    if (text.size() > 1 && text[0] == '+') text.remove_prefix(1);
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(v)) return def;
    return std::clamp(std::round(v * 100) / 100, -kEqMaxDb, kEqMaxDb);
}

// "G1,...,G10;PREAMP" (the preamp may be left out).
std::optional<TEqPreset> ParsePreset(const std::string& name, std::string_view value) {
    const size_t semi = value.find(';');
    const std::optional<std::array<double, kEqBands>> gains = ParseEqGains(value.substr(0, semi));
    if (!gains) return std::nullopt;
    TEqPreset preset{name, 0, *gains};
    if (semi != std::string_view::npos) preset.PreampDb = Decibels(value.substr(semi + 1), 0);
    return preset;
}

}  // namespace

bool UsablePresetName(std::string_view name) {
    const std::string_view trimmed = Trim(name);
    return !trimmed.empty() && trimmed.size() == name.size() && name.size() <= kMaxPresetName &&
           name.find_first_of("\r\n=[;") == std::string_view::npos &&
           !FindEqPreset(name).has_value();
}

namespace {

TDspSettings SettingsOf(const TIniFile& ini) {
    TDspSettings s;
    s.Eq.On = ini.ReadString(kEqSection, "On") == "1";
    s.Eq.PreampDb = Decibels(ini.ReadString(kEqSection, "Preamp"), 0);
    if (const auto gains = ParseEqGains(ini.ReadString(kEqSection, "Gains"))) s.Eq.Gains = *gains;
    s.Preset = ini.ReadString(kEqSection, "Preset");
    if (const auto v = ParseWholeNumber<int64_t>(ini.ReadString(kCrossfadeSection, "Seconds"));
        v && *v >= 0)
        s.Crossfade.Seconds = static_cast<uint32_t>(std::min<int64_t>(*v, kMaxCrossfadeSeconds));
    s.Crossfade.Fades = ini.ReadString(kCrossfadeSection, "Fades", "1") != "0";
    if (const auto v = ParseWholeNumber<int64_t>(ini.ReadString(kCrossfadeSection, "FadeMs"));
        v && *v > 0)
        s.Crossfade.FadeMs = static_cast<uint32_t>(std::min<int64_t>(*v, kMaxFadeMs));
    for (const std::string& name : ini.Keys(kPresetSection)) {
        if (s.Presets.size() >= kMaxPresets) break;
        if (!UsablePresetName(name)) continue;
        if (auto preset = ParsePreset(name, ini.ReadString(kPresetSection, name)))
            KeepPreset(s, *preset);
    }
    return s;
}

void WriteSettings(TIniFile& ini, const TDspSettings& settings) {
    ini.WriteString(kEqSection, "On", settings.Eq.On ? "1" : "0");
    ini.WriteString(kEqSection, "Preamp", FormatEqDb(settings.Eq.PreampDb));
    ini.WriteString(kEqSection, "Gains", FormatEqGains(settings.Eq.Gains));
    // Quoted: the reader would drop blanks around a bare value.
    if (settings.Preset.find_first_of("\r\n") == std::string::npos)
        ini.WriteString(kEqSection, "Preset", '"' + settings.Preset + '"');
    ini.WriteString(kCrossfadeSection, "Seconds", std::to_string(settings.Crossfade.Seconds));
    ini.WriteString(kCrossfadeSection, "Fades", settings.Crossfade.Fades ? "1" : "0");
    ini.WriteString(kCrossfadeSection, "FadeMs", std::to_string(settings.Crossfade.FadeMs));
    // Every line of a name goes: a repeated one left behind would come back
    // as the preset at the next read.
    for (const std::string& name : ini.Keys(kPresetSection))
        while (ini.KeyExists(kPresetSection, name)) ini.DeleteKey(kPresetSection, name);
    for (const TEqPreset& p : settings.Presets)
        if (UsablePresetName(p.Name))
            ini.WriteString(kPresetSection, p.Name,
                            FormatEqGains(p.Gains) + ';' + FormatEqDb(p.PreampDb));
}

}  // namespace

TDspSettings ParseDspSettings(std::string_view text) {
    return SettingsOf(TIniFile::FromText(text));
}

std::string DspSettingsText(std::string_view text, const TDspSettings& settings) {
    TIniFile ini = TIniFile::FromText(text);
    WriteSettings(ini, settings);
    return ini.Text();
}

TDspSettings LoadDspSettings(const std::string& folder) {
    if (folder.empty()) return {};
    try {
        return SettingsOf(TIniFile::Load(folder + kDspFileName));
    } catch (const std::exception&) {
        return {};
    }
}

void SaveDspSettings(const std::string& folder, const TDspSettings& settings) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    const std::string path = folder + kDspFileName;
    TIniFile ini = TIniFile::Load(path);
    WriteSettings(ini, settings);
    ini.Save(path);
}

bool KeepPreset(TDspSettings& settings, const TEqPreset& preset) {
    if (!UsablePresetName(preset.Name)) return false;
    TEqSettings clamped;
    clamped.PreampDb = preset.PreampDb;
    clamped.Gains = preset.Gains;
    clamped = ClampedEq(clamped);
    const TEqPreset kept{preset.Name, clamped.PreampDb, clamped.Gains};
    for (TEqPreset& p : settings.Presets) {
        if (SamePresetName(p.Name, preset.Name)) {
            p = kept;
            return true;
        }
    }
    settings.Presets.push_back(kept);
    return true;
}

bool DropPreset(TDspSettings& settings, std::string_view name) {
    const auto it = std::find_if(settings.Presets.begin(), settings.Presets.end(),
                                 [&](const TEqPreset& p) { return SamePresetName(p.Name, name); });
    if (it == settings.Presets.end()) return false;
    settings.Presets.erase(it);
    return true;
}

}  // namespace quillet
