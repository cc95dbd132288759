#include "m3u_ranges.h"

#include <cstdio>

#include "text.h"
#include "time_range.h"

namespace quillet {

std::optional<int64_t> ParseOptionSeconds(std::string_view text) {
    text = Trim(text);
    const size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view frac = dot == std::string_view::npos ? "" : text.substr(dot + 1);
    if (whole.empty() || whole.size() > 9 || frac.size() > 18 ||
        whole.find_first_not_of("0123456789") != std::string_view::npos ||
        frac.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    int64_t flicks = std::stoll(std::string(whole)) * kFlicksPerSecond;
    if (!frac.empty()) {
        __int128 num = std::stoll(std::string(frac)), den = 1;
        for (size_t i = 0; i < frac.size(); ++i) den *= 10;
        flicks += static_cast<int64_t>((num * kFlicksPerSecond * 2 + den) / (den * 2));
    }
    return flicks;
}

std::string FormatOptionSeconds(int64_t flicks) {
    int64_t whole = flicks / kFlicksPerSecond;
    int64_t nanos = static_cast<int64_t>(
        (static_cast<__int128>(flicks % kFlicksPerSecond) * 1000000000 * 2 + kFlicksPerSecond) /
        (2 * kFlicksPerSecond));
    if (nanos == 1000000000) {
        ++whole;
        nanos = 0;
    }
    char text[48];
    std::snprintf(text, sizeof text, "%lld.%09lld", static_cast<long long>(whole),
                  static_cast<long long>(nanos));
    return text;
}

}  // namespace quillet
