#include "ACS_Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "text.h"

namespace quillet {

int64_t TStream::Size() {
    const int64_t pos = Seek(0, TSeekOrigin::soCurrent);
    if (pos < 0) return -1;
    const int64_t end = Seek(0, TSeekOrigin::soEnd);
    Seek(pos, TSeekOrigin::soBeginning);
    return end;
}

bool SizeHolds(TStream& stream) {
    const int64_t pos = stream.Position();
    const int64_t size = stream.Size();
    if (pos < 0 || size < 0) return false;
    if (size == 0) return true;
    uint8_t last;
    const bool ok =
        stream.Seek(size - 1, TSeekOrigin::soBeginning) == size - 1 && stream.Read(&last, 1) == 1;
    stream.Seek(pos, TSeekOrigin::soBeginning);
    return ok;
}

TAuFileStream::TAuFileStream(const std::u16string& fileName, uint16_t mode)
    : TAuFileStream(Utf16ToUtf8(fileName), mode) {}

TAuFileStream::TAuFileStream(const std::string& name, uint16_t mode) {
    int flags = O_CLOEXEC;
    if (mode == fmCreate) {
        flags |= O_RDWR | O_CREAT | O_TRUNC;
    } else {
        switch (mode & 3) {
            case 1:
                flags |= O_WRONLY;
                break;
            case 2:
                flags |= O_RDWR;
                break;
            default:
                flags |= O_RDONLY;
                break;
        }
    }
    // Non-blocking open so a FIFO cannot hang the caller; cleared below.
    FHandle = open(name.c_str(), flags | O_NONBLOCK, 0644);
    if (FHandle < 0) throw EAuException(std::strerror(errno));
    struct stat st {};
    if (fstat(FHandle, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        close(FHandle);
        FHandle = -1;
        throw EAuException(std::strerror(err));
    }
    fcntl(FHandle, F_SETFL, fcntl(FHandle, F_GETFL) & ~O_NONBLOCK);
}

TAuFileStream::~TAuFileStream() {
    if (FHandle >= 0) close(FHandle);
}

int64_t TAuFileStream::Read(void* buffer, int64_t count) {
    if (count <= 0) return 0;
    int64_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::read(FHandle, static_cast<char*>(buffer) + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TAuFileStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(FHandle, static_cast<const char*>(buffer) + done,
                                  static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TAuFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                       : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                          : SEEK_END;
    const off_t r = lseek(FHandle, static_cast<off_t>(offset), whence);
    return r < 0 ? -1 : static_cast<int64_t>(r);
}

int64_t TAuFileStream::Size() {
    struct stat st {};
    return fstat(FHandle, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    const int64_t size = static_cast<int64_t>(FData.size());
    if (count <= 0 || FPos >= size) return 0;
    const int64_t n = std::min(count, size - FPos);
    std::memcpy(buffer, FData.data() + FPos, static_cast<size_t>(n));
    FPos += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0 || count > std::numeric_limits<int64_t>::max() - FPos) return 0;
    const size_t end = static_cast<size_t>(FPos + count);
    // A write the memory cannot hold (bad_alloc, length_error) fails like a
    // write to a full disk.
    try {
        if (end > FData.size()) FData.resize(end);
    } catch (const std::exception&) {
        return 0;
    }
    std::memcpy(FData.data() + FPos, buffer, static_cast<size_t>(count));
    FPos += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    const int64_t base = origin == TSeekOrigin::soBeginning ? 0
                         : origin == TSeekOrigin::soCurrent ? FPos
                                                            : static_cast<int64_t>(FData.size());
    if (offset < -base || offset > std::numeric_limits<int64_t>::max() - base) return -1;
    FPos = base + offset;
    return FPos;
}

}  // namespace quillet
