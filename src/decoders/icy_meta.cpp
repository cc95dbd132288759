#include "icy_meta.h"

#include "text.h"

namespace quillet {

std::optional<std::string> IcyField(std::string_view block, std::string_view key) {
    block = block.substr(0, block.find('\0'));
    // Pairs start the block or follow a ";".
    for (size_t at = 0; at < block.size();) {
        const std::string_view rest = block.substr(at);
        const size_t eq = rest.find('=');
        if (eq == std::string_view::npos) return std::nullopt;
        if (SameTextAscii(Trim(rest.substr(0, eq)), key)) {
            std::string_view value = rest.substr(eq + 1);
            if (!value.empty() && value[0] == '\'') {
                value.remove_prefix(1);
                size_t end = value.find("';");
                if (end == std::string_view::npos) end = value.rfind('\'');
                value = value.substr(0, end);
            } else {
                value = value.substr(0, value.find(';'));
            }
            return Utf8OrLatin1(value);
        }
        // On to the pair after this one's closing "';" (or plain ";").
        const size_t close = rest.find("';", eq);
        const size_t next = close != std::string_view::npos ? close + 2 : rest.find(';', eq);
        if (next == std::string_view::npos) return std::nullopt;
        at += next + (close != std::string_view::npos ? 0 : 1);
    }
    return std::nullopt;
}

TIcyTitle SplitStreamTitle(std::string_view streamTitle) {
    const size_t dash = streamTitle.find(" - ");
    if (dash == std::string_view::npos) return {{}, std::string(Trim(streamTitle))};
    return {std::string(Trim(streamTitle.substr(0, dash))),
            std::string(Trim(streamTitle.substr(dash + 3)))};
}

std::string IcyHeader(std::string_view headers, std::string_view name) {
    while (!headers.empty()) {
        const size_t end = headers.find('\n');
        const std::string_view line = headers.substr(0, end);
        headers = end == std::string_view::npos ? std::string_view{} : headers.substr(end + 1);
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos && SameTextAscii(Trim(line.substr(0, colon)), name))
            return Utf8OrLatin1(Trim(line.substr(colon + 1)));
    }
    return {};
}

}  // namespace quillet
