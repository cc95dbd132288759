// The loudness cache's reader on arbitrary text, in a cache small enough
// that entries are dropped; whatever it takes must write out and read back
// the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "loudness_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    quillet::TLoudnessCache cache(2048);
    if (!cache.Merge(text)) return 0;
    const std::string written = cache.Format();
    quillet::TLoudnessCache again(2048);
    if (!again.Merge(written) || again.Count() != cache.Count() || again.Format() != written)
        __builtin_trap();
    // An entry put in is found, however full the cache.
    const quillet::TLoudnessKey key{"/fuzz/" + std::to_string(size), size, 1};
    cache.Put(key, {-23.5, 0.5, {{{3, 1}}}});
    if (!cache.Find(key)) __builtin_trap();
    return 0;
}
