// Shared by the tag fuzz targets: an in-memory file descriptor and a sink
// the optimiser cannot drop.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "ACS_Tags.h"

namespace fuzz_tags {

inline volatile size_t g_sink;

// A memfd holding `data`, offset 0; -1 on failure.
inline int MemFile(const uint8_t* data, size_t size) {
    int fd = ::memfd_create("fuzz", 0);
    if (fd < 0) return -1;
    if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size)) {
        ::close(fd);
        return -1;
    }
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

inline size_t Fold(const quillet::TAuTags& tags) {
    size_t sum = 0;
    for (int i = 0; i < tags.Count(); ++i) {
        std::string name = tags.NameAt(i);
        sum = sum * 31 + tags.GetAsString(name).size() + tags.GetAsWideString(name).size() +
              static_cast<size_t>(tags.GetAsInteger(name));
    }
    for (const auto& f : tags.ListFields()) sum += f.Property.size() + f.Value.size();
    return sum;
}

}  // namespace fuzz_tags
