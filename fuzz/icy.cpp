// ICY metadata blocks and header lists as a hostile station sends them: any
// bytes, any quotes, any length. Every value read must be valid UTF-8 and no
// longer than what it came from (ISO-8859-1 at most doubles a byte).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "icy_meta.h"
#include "text.h"
#include "text_encoding.h"

namespace {

void Check(const std::string& value, size_t from) {
    if (!quillet::IsValidUtf8(value) || value.size() > 2 * from) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (std::string_view key : {"StreamTitle", "StreamUrl", "", "="}) {
        if (const auto value = quillet::IcyField(text, key)) {
            Check(*value, size);
            const quillet::TIcyTitle song = quillet::SplitStreamTitle(*value);
            Check(song.Artist, value->size());
            Check(song.Title, value->size());
        }
    }
    Check(quillet::IcyHeader(text, "icy-name"), size);
    Check(quillet::Utf8OrLatin1(text), size);
    return 0;
}
