// Byte streams the decoders read from: the abstract TStream, the file stream
// every decoder opens its file with (TAuFileStream, over a POSIX descriptor),
// and an in-memory stream for tests and fuzz targets.
//
// Threads: a stream is used by one thread at a time (the source's locks see to
// that); none of these classes locks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ACS_Types.h"

namespace quillet {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
  public:
    virtual ~TStream() = default;
    // Reads up to `count` bytes; returns the count read, 0 at the end or on error.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes up to `count` bytes; returns the count written (0 on error).
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Returns the new position, or -1 when the stream cannot go there.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    // Size in bytes, or -1 when unknown.
    virtual int64_t Size();
    int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
    // Reads exactly `count` bytes or returns false.
    bool ReadExact(void* buffer, int64_t count) {
        return count >= 0 && Read(buffer, count) == count;
    }
};

// Whether the stream's size can be believed: the last byte it claims can be
// read. The position is kept. A reader that scans back from the end (to find
// the last page of a file, say) must not trust a size that fails this.
bool SizeHolds(TStream& stream);

// Mode values of TAuFileStream (a 16-bit mode word as the decoders pass it).
inline constexpr uint16_t fmCreate = 0xFFFF;  // read/write, created or truncated
inline constexpr uint16_t fmOpenRead = 0x0000;
inline constexpr uint16_t fmOpenWrite = 0x0001;
inline constexpr uint16_t fmOpenReadWrite = 0x0002;
inline constexpr uint16_t fmShareDenyWrite = 0x0020;  // what the decoders use: $20
// Share bits (4..7) have no meaning on Linux and are ignored.

// A file stream over a POSIX descriptor. A narrow name is opened by its bytes
// as given (a Linux name need not be valid UTF-8); a wide (UTF-16) name is
// opened as UTF-8. When the file cannot be opened the constructor raises
// EAuException with the system's text for errno. Closes the descriptor when
// destroyed.
class TAuFileStream : public TStream {
  public:
    TAuFileStream(const std::string& fileName, uint16_t mode);
    TAuFileStream(const std::u16string& fileName, uint16_t mode);
    ~TAuFileStream() override;
    TAuFileStream(const TAuFileStream&) = delete;
    TAuFileStream& operator=(const TAuFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override;
    int Handle() const { return FHandle; }

  private:
    int FHandle = -1;
};

// A growable stream over memory; also serves as a read-only view when built
// from bytes.
class TMemoryStream : public TStream {
  public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> data) : FData(std::move(data)) {}
    TMemoryStream(const void* data, size_t size)
        : FData(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(FData.size()); }
    const std::vector<uint8_t>& Data() const { return FData; }

  private:
    std::vector<uint8_t> FData;
    int64_t FPos = 0;
};

}  // namespace quillet
