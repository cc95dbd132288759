// Editing a file's tags: the fields people fix by hand (title, artist, album,
// album artist, track, disc, date, genre, comment and the front cover) read
// from and written to every format the player tags, with the file's facts
// for the properties dialog.
//
// Who writes what: the ID3v2 tag of an MP3 is rebuilt here (every frame not
// edited is carried over as it was; single-byte text in a legacy code page
// is rewritten as UTF-8 in a 2.4 tag, UTF-16 in a 2.3 one). TagLib writes the
// rest: an MP3's ID3v1 and APEv2 tags where the file has them, the Vorbis
// comments of FLAC, Ogg Vorbis, Opus and Ogg FLAC, the APEv2 tags of
// Musepack, WavPack and Monkey's Audio, the MP4 atoms of M4A/M4B/ALAC and
// the attributes of WMA.
//
// Safety: the new file is built in a copy beside the old one and renamed over
// it once complete (WriteFileAtomic), so a failure at any step leaves the
// file as it was; only the tags change, never the audio; a file that changed
// on disk since it was read (size, time, inode) is refused, and so is
// anything that is not a regular file (a FIFO, a device, a folder) without
// ever opening it for reading in a way that could block.
//
// Threads: an editor keeps no state; any thread may call it, several at once
// for different files. It does I/O: keep large files off the GUI thread if
// it matters (a tag-only change of an ordinary track takes milliseconds).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "album_art.h"
#include "file_stamp.h"

namespace quillet {

enum class TTagKey { Title, Artist, Album, AlbumArtist, Track, Disc, Date, Genre, Comment };
inline constexpr size_t kTagKeyCount = 9;

// "title", "artist", "album", "albumartist", "track", "disc", "date",
// "genre", "comment": the names quillet-cli takes.
const char* TagKeyName(TTagKey key);
// Without regard to ASCII case; nullopt for any other name.
std::optional<TTagKey> TagKeyFromName(std::string_view name);

// A field's values, UTF-8; a field may hold several (two artists).
using TTagValues = std::vector<std::string>;
using TTagFieldValues = std::array<TTagValues, kTagKeyCount>;

// The read-only facts the properties dialog shows.
struct TFileFacts {
    std::string Format;  // "MP3", "FLAC", "Ogg Vorbis", "MP4"...
    std::string Codec;   // "MPEG-1 Layer 3", "AAC", "ALAC"... (empty when the format says it)
    int SampleRate = 0;  // Hz; 0 unknown
    int Bits = 0;        // bits per sample of a lossless stream; 0 unknown or lossy
    int Channels = 0;
    int Bitrate = 0;  // kbit/s
    int64_t LengthMs = 0;
    bool LengthEstimated = false;  // an MP3 without a frame count: from its bitrate
    // The loudness-correction items as the file holds them (KEY, text).
    std::vector<std::pair<std::string, std::string>> Gain;
};

struct TTagSnapshot {
    std::string Error;  // not empty: the file could not be read (nothing else is set)
    // Empty: the file can be written; else why not ("... tags are not written").
    std::string NotWritable;
    TFileStamp Stamp;
    TFileFacts Facts;
    TTagFieldValues Fields;
    std::optional<TPicture> Cover;  // the picture the player shows for the file
    bool HasSheet = false;          // a CUE sheet inside the file
};

struct TTagChanges {
    // nullopt: the field is left as it is; an empty list removes it.
    std::array<std::optional<TTagValues>, kTagKeyCount> Fields;
    enum class TCover { Keep, Replace, Remove };
    TCover Cover = TCover::Keep;
    TPicture NewCover;  // for Replace
    bool Empty() const;
};

struct TTagWriteResult {
    std::string Error;  // empty: written
    TFileStamp Stamp;   // the new file's, when written
};

class TTagEditor {
  public:
    virtual ~TTagEditor() = default;
    virtual TTagSnapshot Read(const std::string& path) = 0;
    // Writes `changes` into the file, provided it is still the one `stamp`
    // describes (else refused: "The file has changed since it was read.").
    virtual TTagWriteResult Write(const std::string& path, const TFileStamp& stamp,
                                  const TTagChanges& changes) = 0;
};

// The editor of real files, as described above.
std::unique_ptr<TTagEditor> CreateFileTagEditor();

// The message for a file changed under the editor.
inline constexpr const char* kFileChangedText = "The file has changed since it was read.";

}  // namespace quillet
