// What tells that a file changed on disk since it was looked at: which file
// it is (device and inode) and what it holds (size and modification time).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace quillet {

struct TFileStamp {
    uint64_t Device = 0;
    uint64_t Inode = 0;
    int64_t Size = -1;  // -1: the file could not be looked at
    int64_t ModifiedNs = -1;
    bool operator==(const TFileStamp&) const = default;
    // The same size and time: what a kept list stores and compares, since a
    // file copied back keeps neither its device nor its inode.
    bool SameContent(const TFileStamp& other) const {
        return Size == other.Size && ModifiedNs == other.ModifiedNs;
    }
};

TFileStamp StampOf(const struct stat& st);
// A local file's stamp (following links); the empty stamp (Size -1) when it
// cannot be looked at.
TFileStamp StampOf(const std::string& path);

}  // namespace quillet
