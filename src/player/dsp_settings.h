// The sound stage's settings between sessions: the equalizer (on, preamp,
// bands, the preset last chosen), the crossfade and fades, and the user's
// own named presets. Kept in a file of their own beside the session's
// ("dsp.ini" in the settings folder), read and written through the one INI
// helper, so the session store and this never rewrite each other's keys.
// No Qt; never touches the sink (the caller applies the settings).
//
// Any thread (the window calls it on the GUI thread); one writer of the
// file at a time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "crossfade.h"
#include "eq_presets.h"

namespace quillet {

inline constexpr char kDspFileName[] = "dsp.ini";

struct TDspSettings {
    TEqSettings Eq;
    std::string Preset;  // the name last chosen; empty: set by hand
    TCrossfadeSettings Crossfade;
    std::vector<TEqPreset> Presets;  // the user's, in the order saved
    bool operator==(const TDspSettings&) const = default;
};

// A name a user preset may have: not blank, at most 64 bytes, no line
// break, "=", "[" or ";" (the file could not hold it), and not a built-in
// preset's name (FindEqPreset's matching).
bool UsablePresetName(std::string_view name);

// The settings kept in `folder` (with a trailing "/"). Anything missing or
// malformed gives its default (equalizer off and flat, no crossfade, fades
// on, no presets); a value out of range is brought into it. Never raises.
TDspSettings LoadDspSettings(const std::string& folder);

// Writes them into `folder`, creating it when needed, other lines of the
// file kept. Raises EInOutError (textfile.h) when the file cannot be written.
void SaveDspSettings(const std::string& folder, const TDspSettings& settings);

// The same on the file's text: the settings it gives, and the text with
// `settings` written into it.
TDspSettings ParseDspSettings(std::string_view text);
std::string DspSettingsText(std::string_view text, const TDspSettings& settings);

// Adds `preset` to `settings`, or replaces the one of that name; false
// (nothing changed) for a name UsablePresetName refuses.
bool KeepPreset(TDspSettings& settings, const TEqPreset& preset);
// Removes the user preset of that name; false when there is none.
bool DropPreset(TDspSettings& settings, std::string_view name);

}  // namespace quillet
