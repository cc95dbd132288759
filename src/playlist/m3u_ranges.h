// The part of a file an M3U entry plays, as option lines before the entry
// give it ("#EXTVLCOPT:start-time=12.5", "#EXTVLCOPT:stop-time=60"; other
// players write and read them too). WriteM3uPlaylist writes them for a CUE
// track, ReadPlaylist's M3U reading takes them back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillet {

inline constexpr std::string_view kStartOption = "#EXTVLCOPT:start-time=";
inline constexpr std::string_view kStopOption = "#EXTVLCOPT:stop-time=";

// Seconds (digits, an optional fraction of up to 18 digits) as flicks,
// rounded to the nearest; nullopt for anything else.
std::optional<int64_t> ParseOptionSeconds(std::string_view text);
// Flicks as seconds with nine decimals: within half a flick, so
// ParseOptionSeconds gives the same flick back.
std::string FormatOptionSeconds(int64_t flicks);

}  // namespace quillet
