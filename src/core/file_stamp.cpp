#include "file_stamp.h"

namespace quillet {

TFileStamp StampOf(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
            static_cast<int64_t>(st.st_size),
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

TFileStamp StampOf(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return {};
    return StampOf(st);
}

}  // namespace quillet
