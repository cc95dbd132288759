// The sound stage's settings file on arbitrary text: what it gives is in
// range and writes out and reads back the same; the command line's --eq on
// the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "dsp_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillet;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const TDspSettings s = ParseDspSettings(text);
    if (s.Crossfade.Seconds > kMaxCrossfadeSeconds || s.Crossfade.FadeMs > kMaxFadeMs ||
        s.Eq.PreampDb < -kEqMaxDb || s.Eq.PreampDb > kEqMaxDb)
        __builtin_trap();
    const TDspSettings again = ParseDspSettings(DspSettingsText(text, s));
    if (again.Eq != s.Eq || again.Crossfade != s.Crossfade || again.Presets != s.Presets)
        __builtin_trap();
    if (const auto eq = ParseEqArgument(text, s.Presets))
        for (const double g : eq->Gains)
            if (g < -kEqMaxDb || g > kEqMaxDb) __builtin_trap();
    return 0;
}
