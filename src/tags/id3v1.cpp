// ID3v1 / ID3v1.1: the 128-byte block at the end of a file.
#include <unistd.h>

#include <cstring>

#include "ACS_Tags.h"
#include "tags_internal.h"
#include "text.h"
#include "text_encoding.h"

namespace quillet {

using namespace tags_detail;

const char* const ID3v1GenreNames[ID3v1GenreCount] = {"Blues",
                                                      "Classic Rock",
                                                      "Country",
                                                      "Dance",
                                                      "Disco",
                                                      "Funk",
                                                      "Grunge",
                                                      "Hip-Hop",
                                                      "Jazz",
                                                      "Metal",
                                                      "New Age",
                                                      "Oldies",
                                                      "Other",
                                                      "Pop",
                                                      "R&B",
                                                      "Rap",
                                                      "Reggae",
                                                      "Rock",
                                                      "Techno",
                                                      "Industrial",
                                                      "Alternative",
                                                      "Ska",
                                                      "Death metal",
                                                      "Pranks",
                                                      "Soundtrack",
                                                      "Euro-Techno",
                                                      "Ambient",
                                                      "Trip-Hop",
                                                      "Vocal",
                                                      "Jazz+Funk",
                                                      "Fusion",
                                                      "Trance",
                                                      "Classical",
                                                      "Instrumental",
                                                      "Acid",
                                                      "House",
                                                      "Game",
                                                      "Sound Clip",
                                                      "Gospel",
                                                      "Noise",
                                                      "Alt. Rock",
                                                      "Bass",
                                                      "Soul",
                                                      "Punk",
                                                      "Space",
                                                      "Meditative",
                                                      "Instrumental pop",
                                                      "Instrumental rock",
                                                      "Ethnic",
                                                      "Gothic",
                                                      "Darkwave",
                                                      "Techno-Industrial",
                                                      "Electronic",
                                                      "Pop-Folk",
                                                      "Eurodance",
                                                      "Dream",
                                                      "Southern Rock",
                                                      "Comedy",
                                                      "Cult",
                                                      "Gangsta",
                                                      "Top 40",
                                                      "Christian Rap",
                                                      "Pop/Funk",
                                                      "Jungle",
                                                      "Native American",
                                                      "Cabaret",
                                                      "New Wave",
                                                      "Psychedelic",
                                                      "Rave",
                                                      "Showtunes",
                                                      "Trailer",
                                                      "Lo-Fi",
                                                      "Tribal",
                                                      "Acid Punk",
                                                      "Acid Jazz",
                                                      "Polka",
                                                      "Retro",
                                                      "Musical",
                                                      "Rock & Roll",
                                                      "Hard Rock",
                                                      "Folk",
                                                      "Folk-Rock",
                                                      "National Folk",
                                                      "Swing",
                                                      "Fast Fusion",
                                                      "Bebob",
                                                      "Latin",
                                                      "Revival",
                                                      "Celtic",
                                                      "Bluegrass",
                                                      "Avantgarde",
                                                      "Gothic Rock",
                                                      "Progressive Rock",
                                                      "Psychedelic Rock",
                                                      "Symphonic Rock",
                                                      "Slow Rock",
                                                      "Big Band",
                                                      "Chorus",
                                                      "Easy Listening",
                                                      "Acoustic",
                                                      "Humour",
                                                      "Speech",
                                                      "Chanson",
                                                      "Opera",
                                                      "Chamber music",
                                                      "Sonata",
                                                      "Symphony",
                                                      "Booty Bass",
                                                      "Primus",
                                                      "Porn Groove",
                                                      "Satire",
                                                      "Slow Jam",
                                                      "Club",
                                                      "Tango",
                                                      "Samba",
                                                      "Folklore",
                                                      "Ballad",
                                                      "Power Ballad",
                                                      "Rhythmic soul",
                                                      "Freestyle",
                                                      "Duet",
                                                      "Punk Rock",
                                                      "Drum Solo",
                                                      "A Cappella",
                                                      "Euro-House",
                                                      "Dance Hall",
                                                      "Goa",
                                                      "Drum & Bass",
                                                      "Club-House",
                                                      "Hardcore",
                                                      "Terror",
                                                      "Indie",
                                                      "BritPop",
                                                      "Negerpunk",
                                                      "Polsk Punk",
                                                      "Beat",
                                                      "Christian Gangsta Rap",
                                                      "Heavy Metal",
                                                      "Black Metal",
                                                      "Crossover",
                                                      "Contemporary Christian",
                                                      "Christian Rock",
                                                      "Merengue",
                                                      "Salsa",
                                                      "Thrash Metal",
                                                      "Anime",
                                                      "JPop",
                                                      "Synthpop"};

namespace {

constexpr int kBlockSize = 128;
constexpr uint8_t kDefaultGenre = 12;

// The last 128 bytes of the file when they are a block ("TAG" first).
bool ReadID3v1Block(THandle handle, uint8_t (&block)[kBlockSize]) {
    if (::lseek(handle, -kBlockSize, SEEK_END) < 0) return false;
    return ReadAll(handle, block, kBlockSize) == kBlockSize && std::memcmp(block, "TAG", 3) == 0;
}

// A field of the block's bytes: the edges (bytes <= 32) trimmed, inner zero
// bytes kept.
std::string FieldBytes(const uint8_t* p, size_t n) {
    return std::string(Trim(std::string_view(reinterpret_cast<const char*>(p), n)));
}

// At most `limit` bytes of a text into the block: the bytes it was read
// from when it is unchanged, so a second save keeps a guessed code page's
// text as it was; otherwise Windows-1252, the single-byte reading of
// ISO-8859-1 that readers use.
void PutText(uint8_t* block, size_t offset, const std::string& utf8,
             const std::pair<std::string, std::string>& read, size_t limit) {
    const std::string bytes = utf8 == read.first ? read.second : Utf8ToWindows1252(utf8);
    std::memcpy(block + offset, bytes.data(), std::min(bytes.size(), limit));
}

}  // namespace

TId3v1Tags::TId3v1Tags(TComponent* owner) : TAuTags(owner) {
    AddField("artist");
    AddField("album");
    AddField("genre", TTagValue::Integer(kDefaultGenre, TTagValue::TIntType::UInt8));
    AddField("year");
    AddField("track");
    AddField("title");
    AddField("comment");
}

std::string TId3v1Tags::Title() const {
    return GetAsString("title");
}
void TId3v1Tags::SetTitle(const std::string& v) {
    SetValue("title", TTagValue::Narrow(v));
}
std::string TId3v1Tags::Artist() const {
    TTagValue v = GetValue("artist");
    if (v.Kind() == TTagValue::TKind::Integer) return {};
    return ValueAsString(v);
}
void TId3v1Tags::SetArtist(const std::string& v) {
    SetValue("artist", TTagValue::Narrow(v));
}
std::string TId3v1Tags::Album() const {
    return GetAsString("album");
}
void TId3v1Tags::SetAlbum(const std::string& v) {
    SetValue("album", TTagValue::Narrow(v));
}
uint16_t TId3v1Tags::Year() const {
    return static_cast<uint16_t>(GetAsInteger("year"));
}
void TId3v1Tags::SetYear(uint16_t v) {
    SetValue("year", TTagValue::Integer(v, TTagValue::TIntType::UInt16));
}
std::string TId3v1Tags::Comment() const {
    return GetAsString("comment");
}
void TId3v1Tags::SetComment(const std::string& v) {
    SetValue("comment", TTagValue::Narrow(v));
}
uint8_t TId3v1Tags::Track() const {
    return static_cast<uint8_t>(GetAsInteger("track"));
}
void TId3v1Tags::SetTrack(uint8_t v) {
    SetValue("track", TTagValue::Integer(v, TTagValue::TIntType::UInt8));
}

uint8_t TId3v1Tags::GenreId() const {
    int32_t n = GetAsInteger("genre");
    return n >= 0 && n < ID3v1GenreCount ? static_cast<uint8_t>(n) : kDefaultGenre;
}
void TId3v1Tags::SetGenreId(uint8_t v) {
    SetValue("genre", TTagValue::Integer(v, TTagValue::TIntType::UInt8));
}
std::string TId3v1Tags::Genre() const {
    return ID3v1GenreNames[GenreId()];
}
void TId3v1Tags::SetGenre(const std::string& name) {
    std::string_view wanted = Trim(name);
    for (int i = 0; i < ID3v1GenreCount; ++i) {
        if (SameTextAscii(wanted, ID3v1GenreNames[i])) {
            SetGenreId(static_cast<uint8_t>(i));
            return;
        }
    }
}

bool TId3v1Tags::HasTag(THandle handle) {
    if (handle < 0) return false;
    off_t pos = ::lseek(handle, 0, SEEK_CUR);
    if (pos < 0) return false;
    uint8_t block[kBlockSize];
    bool found = ReadID3v1Block(handle, block);
    ::lseek(handle, pos, SEEK_SET);
    return found;
}

bool TId3v1Tags::ReadFromFile(THandle handle) {
    FRead = {};
    if (!TAuTags::ReadFromFile(handle)) return false;
    uint8_t b[kBlockSize];
    if (!ReadID3v1Block(handle, b)) return false;
    bool v11 = (b[125] == 0 && b[126] != 0) || (b[125] == ' ' && b[126] != ' ');
    // ISO-8859-1 by name, but written in whatever code page the ripper's
    // system had: guessed over the four texts together.
    const std::vector<std::string> bytes = {FieldBytes(b + 3, 30), FieldBytes(b + 33, 30),
                                            FieldBytes(b + 63, 30),
                                            FieldBytes(b + 97, v11 ? 28 : 30)};
    const std::vector<std::string> text = DecodeUndeclaredFields(bytes);
    for (size_t i = 0; i < FRead.size(); ++i) FRead[i] = {text[i], bytes[i]};
    SetTitle(text[0]);
    SetArtist(text[1]);
    SetAlbum(text[2]);
    SetYear(static_cast<uint16_t>(
        ParseInt32(Trim(std::string_view(reinterpret_cast<const char*>(b + 93), 4))).value_or(0)));
    SetComment(text[3]);
    SetTrack(v11 ? b[126] : 0);
    SetGenreId(b[127]);
    return true;
}

bool TId3v1Tags::WriteToFile(THandle handle, bool /*unicode*/) {
    if (handle < 0) return false;
    off_t end = ::lseek(handle, 0, SEEK_END);
    if (end < 0) return false;
    uint8_t b[kBlockSize] = {};
    std::memcpy(b, "TAG", 3);
    PutText(b, 3, Title(), FRead[0], 30);
    PutText(b, 33, Artist(), FRead[1], 30);
    PutText(b, 63, Album(), FRead[2], 30);
    std::string year = std::to_string(Year());
    std::memcpy(b + 93, year.data(), std::min<size_t>(year.size(), 4));
    if (Track() != 0) {
        PutText(b, 97, Comment(), FRead[3], 28);
        b[125] = 0;
        b[126] = Track();
    } else {
        PutText(b, 97, Comment(), FRead[3], 30);
    }
    b[127] = GenreId();
    if (PWriteAll(handle, b, kBlockSize, end) != kBlockSize) {
        // A partial block would be read as foreign bytes at the end of the
        // audio; cut the file back to what it was.
        (void)::ftruncate(handle, end);
        ::lseek(handle, end, SEEK_SET);
        return false;
    }
    ::lseek(handle, end + kBlockSize, SEEK_SET);
    return true;
}

std::vector<TTagFieldText> TId3v1Tags::ListFields() const {
    static constexpr TPropertyRow kRows[] = {{"Title", "title"},     {"Artist", "artist"},
                                             {"Album", "album"},     {"Year", "year"},
                                             {"Comment", "comment"}, {"Track", "track"}};
    auto out = ListProperties(*this, kRows, std::size(kRows));
    if (!GetValue("genre").IsEmpty()) out.push_back({"Genre", Genre()});
    return out;
}

}  // namespace quillet
