// Tag sets: the generic container (TAuTags) and the four formats the sources
// carry: ID3v1 (TId3v1Tags), ID3v2 (TId3v2Tags), APEv2 (TAPEv2Tags, read by
// ReadAPEv2Tag) and Vorbis comments (TVorbisTags, filled by the decoders
// through FillVorbisTagsOgg / FillVorbisTagsFlac).
//
// Text: narrow text is UTF-8, wide text is UTF-16. The ID3 single-byte
// encodings are ISO-8859-1 on disk; the readers convert to UTF-8 and the
// writers convert back ('?' for characters outside ISO-8859-1).
//
// A NOTE ON THREADS: a tag set has no lock. Its source fills it inside
// OpenSource (under the source's FOpenLock, on whichever thread opens); read it
// from the main thread after the source has opened, never while it opens.
//
// Errors: the readers and writers report through their Boolean result and
// leave fields empty; they raise nothing. Only CopyValuesFrom/CopyValuesTo
// raise, with "Cannot assign a %s to a %s", when the other object is not a
// tag set.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ACS_Streams.h"
#include "ACS_Types.h"

namespace quillet {

// The framework's conversion error (raised by the tag copies).
class EConvertError : public Exception {
  public:
    using Exception::Exception;
};

// A file handle for the tag file operations: a POSIX file descriptor opened by
// the caller. Anything negative is the invalid handle.
using THandle = int;
inline constexpr THandle INVALID_HANDLE_VALUE = -1;

// One field's value: empty, an integer with its width and signedness, narrow
// (UTF-8) text or wide (UTF-16) text. An integer is stored already cut to its
// width.
class TTagValue {
  public:
    enum class TKind : uint8_t { Empty, Integer, Narrow, Wide };
    // Widths of the integer kind.
    enum class TIntType : uint8_t { Int8, UInt8, Int16, UInt16, Int32, UInt32 };

    TTagValue() = default;
    static TTagValue Integer(int64_t value, TIntType type);
    static TTagValue Narrow(std::string text);
    static TTagValue Wide(std::u16string text);

    TKind Kind() const { return FKind; }
    bool IsEmpty() const { return FKind == TKind::Empty; }
    TIntType IntType() const { return FIntType; }
    // Valid for the matching kind only (0 / empty text otherwise).
    int64_t AsInt() const { return FInt; }
    const std::string& NarrowText() const { return FNarrow; }
    const std::u16string& WideText() const { return FWide; }

    // Exact identity: same kind, width and content (for tests).
    bool operator==(const TTagValue& other) const;

  private:
    TKind FKind = TKind::Empty;
    TIntType FIntType = TIntType::Int32;
    int64_t FInt = 0;
    std::string FNarrow;
    std::u16string FWide;
};

// One line of a set's listing: the property name and the value as UTF-8 text.
struct TTagFieldText {
    std::string Property;
    std::string Value;
    bool operator==(const TTagFieldText&) const = default;
};

// The generic container: a fixed set of named fields, sorted and looked up
// without regard to ASCII case, each holding one TTagValue; change tracking;
// copies by field name; and three file operations the formats override.
class TAuTags : public TComponent {
  public:
    explicit TAuTags(TComponent* owner = nullptr) : TComponent(owner) {}
    const char* ClassName() const override { return "TAuTags"; }

    // Number of fields, and the name at a position of the sorted list (empty
    // text outside 0..Count()-1).
    int Count() const { return static_cast<int>(FFields.size()); }
    std::string NameAt(int index) const;

    // The stored value; the empty value for an undeclared name.
    TTagValue GetValue(std::string_view name) const;
    // Stores a copy of `value` unless it is the same as the stored one (both
    // empty; or both non-empty and equal: numbers as numbers, texts as exact
    // text, a number and a text after reading the text as a number; a text
    // that is no number differs). A stored change sets IsEmpty false and
    // Changed true. An undeclared name does nothing.
    void SetValue(std::string_view name, const TTagValue& value);

    // Integers as they are; text that parses as a 32-bit decimal integer gives
    // it; anything else 0.
    int32_t GetAsInteger(std::string_view name) const;
    // Integers as decimal digits, texts as UTF-8; empty for empty/undeclared.
    std::string GetAsString(std::string_view name) const;
    // The same as UTF-16.
    std::u16string GetAsWideString(std::string_view name) const;

    // Declares a field holding a copy of `initial`. Empty name: false. A name
    // already declared: true, value unchanged. The flags are not touched.
    bool AddField(std::string_view name, const TTagValue& initial = {});
    // Every value becomes empty; IsEmpty := true; Changed := true.
    void Clear();

    bool IsEmpty() const { return FEmpty; }
    bool Changed() const { return FChanged; }

    // Clears this set, then copies every field of `source` by name (values
    // keep their kind; names this set lacks are dropped). Raises
    // EConvertError "Cannot assign a <source class> to a <this class>" before
    // changing anything when `source` is not a tag set (or null).
    virtual void CopyValuesFrom(const TComponent* source);
    // The same with the roles swapped: `dest` is cleared and receives this
    // set's values; raises "Cannot assign a <this class> to a <dest class>".
    virtual void CopyValuesTo(TComponent* dest) const;

    // File operations on a descriptor the caller opened; each format says how
    // it moves the file offset. Base: HasTag and WriteToFile are true exactly
    // for a valid handle; ReadFromFile clears the set and returns true for a
    // valid handle, and returns false without change for an invalid one.
    virtual bool HasTag(THandle handle);
    virtual bool ReadFromFile(THandle handle);
    virtual bool WriteToFile(THandle handle, bool unicode);

    // The fields with non-empty text as (property name, UTF-8 value) in the order of the
    // set's published properties, one line per field, for the "SET.Field:
    // value" lines of quillet-cli. Base: field names in sorted order with
    // GetAsString.
    virtual std::vector<TTagFieldText> ListFields() const;

  protected:
    // Index of a declared name, or -1.
    int IndexOf(std::string_view name) const;

  private:
    struct TTagValueInfo {
        std::string Name;
        TTagValue Value;
    };
    std::vector<TTagValueInfo> FFields;  // sorted by CompareTextAscii
    bool FEmpty = true;
    bool FChanged = false;
};

// ---------------------------------------------------------------------------
// ID3v1: the 128-byte block at the very end of a file (with the v1.1 track).

inline constexpr int ID3v1GenreCount = 148;
// Genre names by number 0..147.
extern const char* const ID3v1GenreNames[ID3v1GenreCount];

// Fields: "artist", "album", "title", "comment" (narrow text), "genre" (UInt8,
// initially 12), "year" (UInt16), "track" (UInt8).
class TId3v1Tags : public TAuTags {
  public:
    explicit TId3v1Tags(TComponent* owner = nullptr);
    const char* ClassName() const override { return "TId3v1Tags"; }

    std::string Title() const;
    void SetTitle(const std::string& v);
    // The stored text (narrow or wide, as UTF-8); empty for any other kind.
    std::string Artist() const;
    void SetArtist(const std::string& v);
    std::string Album() const;
    void SetAlbum(const std::string& v);
    uint16_t Year() const;
    void SetYear(uint16_t v);
    std::string Comment() const;
    void SetComment(const std::string& v);
    uint8_t Track() const;
    void SetTrack(uint8_t v);
    // The name of GenreId. Setting trims the name and looks it up without
    // regard to case; a name not in the table changes nothing.
    std::string Genre() const;
    void SetGenre(const std::string& name);
    // The stored number when it is 0..147, else 12 (an empty field reads 0).
    uint8_t GenreId() const;
    void SetGenreId(uint8_t v);

    // HasTag: whether the last 128 bytes are a block; the offset is restored.
    // ReadFromFile: clears, then reads the block (v1.0 or v1.1); false without
    // a block. Leaves the offset at the end of the file.
    // WriteToFile: appends a new block (an old one is not replaced); on a
    // short write the file is cut back to its old length and false returned.
    // A text still as it was read is written as the bytes it was read from
    // (its code page was a guess); any other as Windows-1252.
    bool HasTag(THandle handle) override;
    bool ReadFromFile(THandle handle) override;
    bool WriteToFile(THandle handle, bool unicode) override;
    std::vector<TTagFieldText> ListFields() const override;

  private:
    // The four texts as last read: their UTF-8 reading and their bytes.
    std::array<std::pair<std::string, std::string>, 4> FRead;
};

// ---------------------------------------------------------------------------
// ID3v2: read at the current file offset (2.2, 2.3, 2.4), written as a 2.4 tag
// in front of the file.

// Frame identifiers: row 0 is version 2.2, row 1 versions 2.3/2.4. Index 6
// (comments) is never read nor written.
extern const char* const ID3v2FrameIds[2][12];

// Fields: all 24 identifiers, initially empty. The properties use the row
// selected by LongIds(); wide-text properties store wide text, Year and Track
// narrow text.
class TId3v2Tags : public TAuTags {
  public:
    explicit TId3v2Tags(TComponent* owner = nullptr);
    const char* ClassName() const override { return "TId3v2Tags"; }

    // True (the constructor's value): properties use the 4-character ids;
    // ReadFromFile sets it from the version read (false for 2.2).
    bool LongIds() const { return FLongIds; }

    std::u16string Artist() const;
    void SetArtist(const std::u16string& v);
    std::u16string Album() const;
    void SetAlbum(const std::u16string& v);
    std::u16string Genre() const;
    void SetGenre(const std::u16string& v);
    std::string Year() const;
    void SetYear(const std::string& v);
    std::string Track() const;
    void SetTrack(const std::string& v);
    std::u16string Title() const;
    void SetTitle(const std::u16string& v);
    std::u16string Comment() const;
    void SetComment(const std::u16string& v);
    std::u16string Composer() const;
    void SetComposer(const std::u16string& v);
    std::u16string Encoder() const;
    void SetEncoder(const std::u16string& v);
    std::u16string Copyright() const;
    void SetCopyright(const std::u16string& v);
    std::u16string Language() const;
    void SetLanguage(const std::u16string& v);
    std::u16string Link() const;
    void SetLink(const std::u16string& v);

    // HasTag: whether a valid header stands at the current offset (restored).
    // ReadFromFile: clears; false for an invalid header (offset then after the
    // 10 header bytes); otherwise reads the known text frames, leaves the
    // offset just past the tag (footer included) and returns true. Reading
    // follows what taggers write: an extended header is skipped, tag- and
    // frame-level unsynchronisation undone, UTF-16 read in the byte order its
    // mark gives (encoding 2: big-endian). Of duplicate frames and of a
    // frame's several values the first is kept. A frame that cannot be read
    // (unknown encoding, compressed, encrypted) is skipped; one whose size
    // does not fit in the tag ends the walk. Genre references ("(3)",
    // "(3)Dance", "3") become the ID3v1 list's names, and a 2.4 timestamp
    // (TDRC) gives Year its first four digits unless a TYER frame is present.
    // WriteToFile: puts a new 2.4 tag (the 4-character fields, comment
    // excluded; UTF-8 for wide values when `unicode`, else ISO-8859-1) in
    // front of the file, a multiple of 16 bytes long with 1..16 bytes of
    // padding. An existing tag is not removed. Space is reserved before
    // anything is moved; on any failure the file is put back as it was and
    // false returned. On success the offset is at the new end of the file.
    bool HasTag(THandle handle) override;
    bool ReadFromFile(THandle handle) override;
    bool WriteToFile(THandle handle, bool unicode) override;
    std::vector<TTagFieldText> ListFields() const override;

  private:
    std::string Id(int index) const { return ID3v2FrameIds[FLongIds ? 1 : 0][index]; }

    bool FLongIds = true;
};

// ---------------------------------------------------------------------------
// APEv2: key/value items at the end of a stream.

// Fields are named by the item keys ("Artist", "Composer", "Album", "Debut
// album", "Publisher", "Conductor", "Copyright", "ISBN", "ISRC", "EAN/UPC",
// "LC", "Catalog", "Language", "Genre", "Year", "Record Date", "Record
// Location", "File", "Related", "Abstract", "Bibliography", "Track", "Title",
// "Subtitle", "Comment"). The file operations are the base container's.
class TAPEv2Tags : public TAuTags {
  public:
    explicit TAPEv2Tags(TComponent* owner = nullptr);
    const char* ClassName() const override { return "TAPEv2Tags"; }

    std::u16string Artist() const;
    void SetArtist(const std::u16string& v);
    std::u16string Composer() const;
    void SetComposer(const std::u16string& v);
    std::u16string Album() const;
    void SetAlbum(const std::u16string& v);
    std::u16string DebutAlbum() const;
    void SetDebutAlbum(const std::u16string& v);
    std::u16string Publisher() const;
    void SetPublisher(const std::u16string& v);
    std::u16string Conductor() const;
    void SetConductor(const std::u16string& v);
    std::u16string Copyright() const;
    void SetCopyright(const std::u16string& v);
    std::string ISBN() const;
    void SetISBN(const std::string& v);
    std::string ISRC() const;
    void SetISRC(const std::string& v);
    std::string BarCode() const;
    void SetBarCode(const std::string& v);
    std::string LabelCode() const;
    void SetLabelCode(const std::string& v);
    std::string Catalog() const;
    void SetCatalog(const std::string& v);
    std::u16string Language() const;
    void SetLanguage(const std::u16string& v);
    std::u16string Genre() const;
    void SetGenre(const std::u16string& v);
    std::string Year() const;
    void SetYear(const std::string& v);
    std::string RecordDate() const;
    void SetRecordDate(const std::string& v);
    std::u16string RecordLocation() const;
    void SetRecordLocation(const std::u16string& v);
    std::u16string File_() const;
    void SetFile_(const std::u16string& v);
    std::u16string Related() const;
    void SetRelated(const std::u16string& v);
    std::u16string Abstract() const;
    void SetAbstract(const std::u16string& v);
    std::u16string Bibliography() const;
    void SetBibliography(const std::u16string& v);
    std::string Track() const;
    void SetTrack(const std::string& v);
    std::u16string Title() const;
    void SetTitle(const std::u16string& v);
    std::u16string SubTitle() const;
    void SetSubTitle(const std::u16string& v);
    std::u16string Comment() const;
    void SetComment(const std::u16string& v);

    std::vector<TTagFieldText> ListFields() const override;
};

// Reads an APEv2 tag whose footer is the last 32 bytes of `stream` (version
// 2000 only) and stores the UTF-8 text items "Artist", "Album", "Copyright",
// "Genre", "Title" (wide) and "Year", "Track" (narrow); keys match exactly,
// other items and binary items are skipped. Does not clear `tags` first (the
// caller does). Leaves the stream after the last item read (callers
// reposition). A foreign footer changes nothing; a key over 511 bytes, a size
// past the end of the stream or a stream ending inside an item ends the walk,
// keeping the items stored so far. Raises nothing. With `gain`, the
// loudness-correction items go there too (replay_gain.h).
class TReplayGainFields;
void ReadAPEv2Tag(TStream& stream, TAPEv2Tags& tags, TReplayGainFields* gain = nullptr);
// The walk under ReadAPEv2Tag, by the same rules: `take` gets each text item
// (key as written, value as UTF-8 bytes) in tag order.
void ForEachAPEv2TextItem(TStream& stream,
                          const std::function<void(std::string_view, std::string_view)>& take);

// ---------------------------------------------------------------------------
// Vorbis comments: six wide-text fields "album", "artist", "date", "genre",
// "title", "tracknumber" (the property Track). No file parsing of its own.
class TVorbisTags : public TAuTags {
  public:
    explicit TVorbisTags(TComponent* owner = nullptr);
    const char* ClassName() const override { return "TVorbisTags"; }

    std::u16string Album() const;
    void SetAlbum(const std::u16string& v);
    std::u16string Artist() const;
    void SetArtist(const std::u16string& v);
    std::u16string Date() const;
    void SetDate(const std::u16string& v);
    std::u16string Genre() const;
    void SetGenre(const std::u16string& v);
    std::u16string Title() const;
    void SetTitle(const std::u16string& v);
    std::u16string Track() const;
    void SetTrack(const std::u16string& v);

    std::vector<TTagFieldText> ListFields() const override;
};

// The decoders call these with the comments their library hands them, each a
// KEY=value byte string (ASCII key, matched without regard to case; UTF-8
// value, everything after the first "="). Both Clear the set first.
// Ogg Vorbis: every comment in stream order sets its field, so the last
// comment with a key wins; only keys present change a field.
void FillVorbisTagsOgg(TVorbisTags& tags, const std::vector<std::string>& comments);
// FLAC: the first comment with a key wins, and all six fields are set (a
// missing key stores empty wide text, so IsEmpty becomes false).
void FillVorbisTagsFlac(TVorbisTags& tags, const std::vector<std::string>& comments);

}  // namespace quillet
