#include "tag_editor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/asfpicture.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/mp4file.h>
#include <taglib/mpcfile.h>
#include <taglib/mpegfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/tfilestream.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

#include "embedded_sheet.h"
#include "id3v2_edit.h"
#include "tags_internal.h"
#include "text.h"
#include "textfile.h"

namespace quillet {

namespace tags_detail {
std::function<void(int)> EditStepHook;
}  // namespace tags_detail

using namespace tags_detail;

namespace {

// TagLib's property names for the keys.
constexpr const char* kPropertyNames[kTagKeyCount] = {"TITLE",       "ARTIST",      "ALBUM",
                                                      "ALBUMARTIST", "TRACKNUMBER", "DISCNUMBER",
                                                      "DATE",        "GENRE",       "COMMENT"};
constexpr const char* kKeyNames[kTagKeyCount] = {"title", "artist", "album", "albumartist", "track",
                                                 "disc",  "date",   "genre", "comment"};

enum class TFormat { None, Mpeg, Flac, OggVorbis, Opus, OggFlac, Mp4, Asf, Mpc, WavPack, Ape };

[[noreturn]] void Fail(const std::string& text, int code = 0) {
    throw EInOutError(text, code);
}

void Step(int n) {
    if (EditStepHook) EditStepHook(n);
}

// Opens a regular file for reading without ever waiting on a FIFO or a
// device; raises with the words the rest of the program uses.
int OpenRegular(const std::string& path, struct stat& st) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) Fail(FileErrorText(errno), errno);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno;
        ::close(fd);
        if (S_ISDIR(st.st_mode)) Fail(FileErrorText(EISDIR), EISDIR);
        Fail(err != 0 && !S_ISREG(st.st_mode) ? kNotRegularFileText : FileErrorText(err));
    }
    return fd;
}

// A TagLib stream over a descriptor of ours: TagLib closes what it opens,
// so it gets a duplicate.
std::unique_ptr<TagLib::FileStream> StreamOn(int fd, bool readOnly) {
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0) Fail(FileErrorText(errno), errno);
    ::lseek(own, 0, SEEK_SET);
    auto stream = std::make_unique<TagLib::FileStream>(own, readOnly);
    if (!stream->isOpen()) {
        ::close(own);
        Fail("The file cannot be opened.");
    }
    return stream;
}

// What the bytes hold, by TagLib's own tests of the content. MPEG comes
// last: stray frame-sync bytes can be found in almost anything.
TFormat DetectFormat(TagLib::IOStream* s) {
    auto is = [s](bool (*test)(TagLib::IOStream*)) {
        s->seek(0);
        const bool yes = test(s);
        s->clear();
        s->seek(0);
        return yes;
    };
    // Ogg first: an Ogg FLAC stream holds the "fLaC" a native file starts with.
    if (is(&TagLib::Ogg::Vorbis::File::isSupported)) return TFormat::OggVorbis;
    if (is(&TagLib::Ogg::Opus::File::isSupported)) return TFormat::Opus;
    if (is(&TagLib::Ogg::FLAC::File::isSupported)) return TFormat::OggFlac;
    if (is(&TagLib::FLAC::File::isSupported)) return TFormat::Flac;
    if (is(&TagLib::MP4::File::isSupported)) return TFormat::Mp4;
    if (is(&TagLib::ASF::File::isSupported)) return TFormat::Asf;
    if (is(&TagLib::MPC::File::isSupported)) return TFormat::Mpc;
    if (is(&TagLib::WavPack::File::isSupported)) return TFormat::WavPack;
    if (is(&TagLib::APE::File::isSupported)) return TFormat::Ape;
    if (is(&TagLib::MPEG::File::isSupported)) return TFormat::Mpeg;
    return TFormat::None;
}

std::unique_ptr<TagLib::File> OpenTagLib(TFormat format, TagLib::IOStream* s, bool properties) {
    using Style = TagLib::AudioProperties::ReadStyle;
    const Style style = Style::Average;
    switch (format) {
        case TFormat::Mpeg:
            return std::make_unique<TagLib::MPEG::File>(s, TagLib::ID3v2::FrameFactory::instance(),
                                                        properties, style);
        case TFormat::Flac:
            return std::make_unique<TagLib::FLAC::File>(s, TagLib::ID3v2::FrameFactory::instance(),
                                                        properties, style);
        case TFormat::OggVorbis:
            return std::make_unique<TagLib::Ogg::Vorbis::File>(s, properties, style);
        case TFormat::Opus:
            return std::make_unique<TagLib::Ogg::Opus::File>(s, properties, style);
        case TFormat::OggFlac:
            return std::make_unique<TagLib::Ogg::FLAC::File>(s, properties, style);
        case TFormat::Mp4:
            return std::make_unique<TagLib::MP4::File>(s, properties, style);
        case TFormat::Asf:
            return std::make_unique<TagLib::ASF::File>(s, properties, style);
        case TFormat::Mpc:
            return std::make_unique<TagLib::MPC::File>(s, properties, style);
        case TFormat::WavPack:
            return std::make_unique<TagLib::WavPack::File>(s, properties, style);
        case TFormat::Ape:
            return std::make_unique<TagLib::APE::File>(s, properties, style);
        case TFormat::None:
            break;
    }
    return nullptr;
}

const char* FormatName(TFormat f) {
    switch (f) {
        case TFormat::Mpeg:
            return "MPEG audio";
        case TFormat::Flac:
            return "FLAC";
        case TFormat::OggVorbis:
            return "Ogg Vorbis";
        case TFormat::Opus:
            return "Ogg Opus";
        case TFormat::OggFlac:
            return "Ogg FLAC";
        case TFormat::Mp4:
            return "MP4";
        case TFormat::Asf:
            return "ASF (Windows Media)";
        case TFormat::Mpc:
            return "Musepack";
        case TFormat::WavPack:
            return "WavPack";
        case TFormat::Ape:
            return "Monkey's Audio";
        case TFormat::None:
            break;
    }
    return "";
}

std::string Utf8(const TagLib::String& s) {
    return s.to8Bit(true);
}
TagLib::String FromUtf8(const std::string& s) {
    return TagLib::String(s, TagLib::String::UTF8);
}

void FillFacts(TFormat format, TagLib::File& file, TFileFacts& facts) {
    facts.Format = FormatName(format);
    const TagLib::AudioProperties* p = file.audioProperties();
    if (!p) return;
    facts.SampleRate = p->sampleRate();
    facts.Channels = p->channels();
    facts.Bitrate = p->bitrate();
    facts.LengthMs = p->lengthInMilliseconds();
    if (auto* m = dynamic_cast<const TagLib::MPEG::Properties*>(p)) {
        static const char* const kVersions[] = {"MPEG-1", "MPEG-2", "MPEG-2.5"};
        const int v = static_cast<int>(m->version());
        facts.Codec = std::string(v >= 0 && v < 3 ? kVersions[v] : "MPEG") + " Layer " +
                      std::to_string(m->layer());
        // Without a frame count the length is the size over the first
        // frame's bitrate.
        facts.LengthEstimated = m->xingHeader() == nullptr;
    } else if (auto* f = dynamic_cast<const TagLib::FLAC::Properties*>(p)) {
        facts.Bits = f->bitsPerSample();
    } else if (auto* w = dynamic_cast<const TagLib::WavPack::Properties*>(p)) {
        facts.Bits = w->bitsPerSample();
        facts.Codec = w->isLossless() ? "WavPack lossless" : "WavPack hybrid";
    } else if (auto* a = dynamic_cast<const TagLib::APE::Properties*>(p)) {
        facts.Bits = a->bitsPerSample();
    } else if (auto* mp4 = dynamic_cast<const TagLib::MP4::Properties*>(p)) {
        facts.Codec = mp4->codec() == TagLib::MP4::Properties::ALAC  ? "ALAC"
                      : mp4->codec() == TagLib::MP4::Properties::AAC ? "AAC"
                                                                     : "";
        if (mp4->codec() == TagLib::MP4::Properties::ALAC) facts.Bits = mp4->bitsPerSample();
    } else if (auto* asf = dynamic_cast<const TagLib::ASF::Properties*>(p)) {
        facts.Codec = Utf8(asf->codecName());
        if (asf->codec() == TagLib::ASF::Properties::WMA9Lossless)
            facts.Bits = asf->bitsPerSample();
    } else if (auto* mpc = dynamic_cast<const TagLib::MPC::Properties*>(p)) {
        facts.Codec = "SV" + std::to_string(mpc->mpcVersion());
    }
    for (const auto& [key, values] : file.properties()) {
        const std::string k = Utf8(key);
        if ((k.rfind("REPLAYGAIN_", 0) == 0 || k.rfind("R128_", 0) == 0) && !values.isEmpty())
            facts.Gain.emplace_back(k, Utf8(values.front()));
    }
}

void FieldsFromProperties(const TagLib::PropertyMap& map, TTagFieldValues& fields) {
    for (size_t k = 0; k < kTagKeyCount; ++k) {
        if (!fields[k].empty()) continue;
        auto it = map.find(kPropertyNames[k]);
        if (it == map.end()) continue;
        for (const TagLib::String& v : it->second) fields[k].push_back(Utf8(v));
    }
}

// Changes the fields through TagLib's property names; fields it keeps
// elsewhere (pictures, unknown atoms) are not among them and stay.
void ApplyProperties(TagLib::PropertyMap& map, const TTagChanges& changes) {
    for (size_t k = 0; k < kTagKeyCount; ++k) {
        const auto& values = changes.Fields[k];
        if (!values) continue;
        map.erase(kPropertyNames[k]);
        if (values->empty()) continue;
        TagLib::StringList list;
        for (const std::string& v : *values) list.append(FromUtf8(v));
        map.insert(kPropertyNames[k], list);
    }
}

template <class Tagged>
void ApplyTo(Tagged& tagged, const TTagChanges& changes) {
    TagLib::PropertyMap map = tagged.properties();
    ApplyProperties(map, changes);
    tagged.setProperties(map);
}

TagLib::ByteVector Bytes(const std::vector<uint8_t>& data) {
    return TagLib::ByteVector(reinterpret_cast<const char*>(data.data()),
                              static_cast<unsigned>(data.size()));
}

std::unique_ptr<TagLib::FLAC::Picture> FlacPicture(const TPicture& pic) {
    auto p = std::make_unique<TagLib::FLAC::Picture>();
    p->setType(TagLib::FLAC::Picture::FrontCover);
    p->setMimeType(pic.MimeType);
    p->setData(Bytes(pic.Data));
    return p;
}

// The front cover of an APEv2 tag: "Cover Art (Front)", a description, NUL,
// the picture.
void ApplyApeCover(TagLib::APE::Tag& tag, const TTagChanges& changes) {
    if (changes.Cover == TTagChanges::TCover::Keep) return;
    tag.removeItem("Cover Art (Front)");
    if (changes.Cover != TTagChanges::TCover::Replace) return;
    TagLib::ByteVector value("cover.", 6);
    const std::string& mime = changes.NewCover.MimeType;
    value.append(mime.substr(mime.find('/') + 1).c_str());
    value.append('\0');
    value.append(Bytes(changes.NewCover.Data));
    tag.setData("Cover Art (Front)", value);
}

template <class Comments>
void ApplyXiphCover(Comments& c, const TTagChanges& changes) {
    if (changes.Cover == TTagChanges::TCover::Keep) return;
    for (TagLib::FLAC::Picture* p : c.pictureList())
        if (p->type() == TagLib::FLAC::Picture::FrontCover) c.removePicture(p, true);
    if (changes.Cover == TTagChanges::TCover::Replace)
        c.addPicture(FlacPicture(changes.NewCover).release());
}

void ApplyMp4Cover(TagLib::MP4::Tag& tag, const TTagChanges& changes) {
    if (changes.Cover == TTagChanges::TCover::Keep) return;
    tag.removeItem("covr");
    if (changes.Cover != TTagChanges::TCover::Replace) return;
    const std::string& mime = changes.NewCover.MimeType;
    const auto format = mime == "image/png"    ? TagLib::MP4::CoverArt::PNG
                        : mime == "image/jpeg" ? TagLib::MP4::CoverArt::JPEG
                        : mime == "image/gif"  ? TagLib::MP4::CoverArt::GIF
                        : mime == "image/bmp"  ? TagLib::MP4::CoverArt::BMP
                                               : TagLib::MP4::CoverArt::Unknown;
    TagLib::MP4::CoverArtList list;
    list.append(TagLib::MP4::CoverArt(format, Bytes(changes.NewCover.Data)));
    tag.setItem("covr", list);
}

void ApplyAsfCover(TagLib::ASF::Tag& tag, const TTagChanges& changes) {
    if (changes.Cover == TTagChanges::TCover::Keep) return;
    TagLib::ASF::AttributeList kept;
    if (tag.contains("WM/Picture"))
        for (const auto& a : tag.attribute("WM/Picture"))
            if (a.toPicture().type() != TagLib::ASF::Picture::FrontCover) kept.append(a);
    if (changes.Cover == TTagChanges::TCover::Replace) {
        TagLib::ASF::Picture p;
        p.setType(TagLib::ASF::Picture::FrontCover);
        p.setMimeType(changes.NewCover.MimeType);
        p.setPicture(Bytes(changes.NewCover.Data));
        kept.append(TagLib::ASF::Attribute(p));
    }
    tag.removeItem("WM/Picture");
    if (!kept.isEmpty()) tag.setAttribute("WM/Picture", kept);
}

// Edits the copy in `fd` (already the whole new file but for what TagLib
// writes) with TagLib. False when TagLib could not save.
bool SaveWithTagLib(TFormat format, int fd, const TTagChanges& changes) {
    auto stream = StreamOn(fd, false);
    std::unique_ptr<TagLib::File> file = OpenTagLib(format, stream.get(), false);
    if (!file || !file->isValid()) return false;
    switch (format) {
        case TFormat::Mpeg: {
            // Our ID3v2 tag is in place already: only the end tags the file
            // has are brought in line with it.
            auto& mpeg = static_cast<TagLib::MPEG::File&>(*file);
            int tags = 0;
            if (mpeg.hasAPETag()) {
                ApplyTo(*mpeg.APETag(), changes);
                ApplyApeCover(*mpeg.APETag(), changes);
                tags |= TagLib::MPEG::File::APE;
            }
            if (mpeg.hasID3v1Tag()) {
                ApplyTo(*mpeg.ID3v1Tag(), changes);
                tags |= TagLib::MPEG::File::ID3v1;
            }
            if (tags == 0) return true;
            return mpeg.save(tags, TagLib::File::StripNone, TagLib::ID3v2::v4,
                             TagLib::File::DoNotDuplicate);
        }
        case TFormat::Flac: {
            auto& flac = static_cast<TagLib::FLAC::File&>(*file);
            ApplyTo(*flac.xiphComment(true), changes);
            ApplyXiphCover(flac, changes);
            break;
        }
        case TFormat::OggVorbis:
        case TFormat::Opus:
        case TFormat::OggFlac: {
            auto* comments = dynamic_cast<TagLib::Ogg::XiphComment*>(file->tag());
            if (!comments) return false;
            ApplyTo(*comments, changes);
            ApplyXiphCover(*comments, changes);
            break;
        }
        case TFormat::Mp4: {
            auto* tag = static_cast<TagLib::MP4::File&>(*file).tag();
            if (!tag) return false;
            ApplyTo(*tag, changes);
            ApplyMp4Cover(*tag, changes);
            break;
        }
        case TFormat::Asf: {
            auto* tag = static_cast<TagLib::ASF::File&>(*file).tag();
            if (!tag) return false;
            // Title, artist and comment live in one text each: several
            // values are joined the way people write them by hand.
            TTagChanges joined = changes;
            for (TTagKey k : {TTagKey::Title, TTagKey::Artist, TTagKey::Comment}) {
                auto& values = joined.Fields[static_cast<size_t>(k)];
                if (!values || values->size() < 2) continue;
                std::string text = values->front();
                for (size_t i = 1; i < values->size(); ++i) text += "; " + (*values)[i];
                values = TTagValues{text};
            }
            ApplyTo(*tag, joined);
            ApplyAsfCover(*tag, changes);
            break;
        }
        case TFormat::Mpc:
        case TFormat::WavPack:
        case TFormat::Ape: {
            TagLib::APE::Tag* tag = format == TFormat::Mpc
                                        ? static_cast<TagLib::MPC::File&>(*file).APETag(true)
                                    : format == TFormat::WavPack
                                        ? static_cast<TagLib::WavPack::File&>(*file).APETag(true)
                                        : static_cast<TagLib::APE::File&>(*file).APETag(true);
            ApplyTo(*tag, changes);
            ApplyApeCover(*tag, changes);
            break;
        }
        case TFormat::None:
            return false;
    }
    return file->save();
}

void WriteAll(int to, const void* data, size_t size) {
    if (!WriteAllFd(to, data, size)) Fail(FileErrorText(errno), errno);
}

// Copies `count` bytes of `from` at `offset` to the end of `to`.
void CopyRange(int from, int64_t offset, int64_t count, int to) {
    std::vector<char> buf(size_t{1} << 20);
    while (count > 0) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(count, buf.size()));
        const size_t got = PReadAll(from, buf.data(), want, offset);
        if (got != want)
            Fail(got == 0 && errno == 0 ? "The file got shorter while it was copied."
                                        : FileErrorText(errno));
        WriteAll(to, buf.data(), got);
        offset += static_cast<int64_t>(got);
        count -= static_cast<int64_t>(got);
    }
}

// The file's first ID3v2 tag; nullopt without one. Raises when a tag is
// there but cannot be read whole.
std::optional<TId3v2Tag> ReadLeadingTag(int fd) {
    ::lseek(fd, 0, SEEK_SET);
    TId3v2Tag tag;
    if (!ReadId3v2Tag(fd, kMaxEditedTagBytes, tag)) return std::nullopt;
    return tag;
}

class TFileTagEditor : public TTagEditor {
  public:
    TTagSnapshot Read(const std::string& path) override;
    TTagWriteResult Write(const std::string& path, const TFileStamp& stamp,
                          const TTagChanges& changes) override;
};

TTagSnapshot TFileTagEditor::Read(const std::string& path) {
    TTagSnapshot snap;
    try {
        struct stat st {};
        const TFd fd(OpenRegular(path, st));
        snap.Stamp = StampOf(st);
        auto stream = StreamOn(fd.Fd, true);
        const TFormat format = DetectFormat(stream.get());
        std::unique_ptr<TagLib::File> file = OpenTagLib(format, stream.get(), true);
        if (!file || !file->isValid()) {
            snap.NotWritable = "Tags of this file's format are not written.";
        } else {
            FillFacts(format, *file, snap.Facts);
            if (format == TFormat::Mpeg) {
                auto& mpeg = static_cast<TagLib::MPEG::File&>(*file);
                if (auto tag = ReadLeadingTag(fd.Fd)) {
                    snap.Fields = ReadId3v2Fields(*tag);
                    snap.NotWritable = Id3v2Unwritable(*tag);
                }
                if (mpeg.hasAPETag())
                    FieldsFromProperties(mpeg.APETag()->properties(), snap.Fields);
                if (mpeg.hasID3v1Tag()) {
                    // Ours: its text goes through the code-page guess.
                    TId3v1Tags v1;
                    if (v1.ReadFromFile(fd.Fd)) {
                        auto fill = [&](TTagKey k, const std::string& v) {
                            auto& f = snap.Fields[static_cast<size_t>(k)];
                            if (f.empty() && !v.empty()) f.push_back(v);
                        };
                        fill(TTagKey::Title, v1.Title());
                        fill(TTagKey::Artist, v1.Artist());
                        fill(TTagKey::Album, v1.Album());
                        fill(TTagKey::Comment, v1.Comment());
                        if (v1.Year() != 0) fill(TTagKey::Date, std::to_string(v1.Year()));
                        if (v1.Track() != 0) fill(TTagKey::Track, std::to_string(v1.Track()));
                    }
                }
            } else {
                FieldsFromProperties(file->properties(), snap.Fields);
            }
        }
        TPictureChoice choice;
        ReadEmbeddedPictures(fd.Fd, choice);
        // WMA pictures are read by FFmpeg where the player shows them.
        if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file.get());
            asf && asf->tag() && asf->tag()->contains("WM/Picture"))
            for (const auto& a : asf->tag()->attribute("WM/Picture")) {
                const TagLib::ByteVector data = a.toPicture().picture();
                choice.Offer(static_cast<uint32_t>(a.toPicture().type()),
                             std::vector<uint8_t>(data.begin(), data.end()));
            }
        snap.Cover = choice.Take();
        snap.HasSheet = !ReadEmbeddedSheet(path).Empty();
    } catch (const std::exception& e) {
        TTagSnapshot failed;
        failed.Error = e.what();
        return failed;
    }
    return snap;
}

TTagWriteResult TFileTagEditor::Write(const std::string& path, const TFileStamp& stamp,
                                      const TTagChanges& changes) {
    TTagWriteResult result;
    try {
        struct stat st {};
        const TFd original(OpenRegular(path, st));
        if (StampOf(st) != stamp) Fail(kFileChangedText);
        if (changes.Empty()) {
            result.Stamp = stamp;
            return result;
        }
        TFormat format;
        {
            auto stream = StreamOn(original.Fd, true);
            format = DetectFormat(stream.get());
        }
        if (format == TFormat::None) Fail("Tags of this file's format are not written.");
        Step(1);
        WriteFileAtomic(path, [&](int out) {
            int64_t audioStart = 0;
            if (format == TFormat::Mpeg) {
                const std::optional<TId3v2Tag> old = ReadLeadingTag(original.Fd);
                std::string error;
                const auto tag = BuildId3v2Tag(old ? &*old : nullptr, changes, error);
                if (!tag) Fail(error);
                if (old) audioStart = old->TagSize;
                WriteAll(out, tag->data(), tag->size());
            }
            Step(2);
            CopyRange(original.Fd, audioStart, st.st_size - audioStart, out);
            Step(3);
            if (!SaveWithTagLib(format, out, changes)) Fail("The tags could not be written.");
            Step(4);
            // Someone else's write meanwhile would be lost under ours.
            struct stat now {};
            if (::fstat(original.Fd, &now) != 0 || StampOf(now) != stamp ||
                ::stat(path.c_str(), &now) != 0 || StampOf(now) != stamp)
                Fail(kFileChangedText);
        });
        struct stat now {};
        if (::stat(path.c_str(), &now) == 0) result.Stamp = StampOf(now);
    } catch (const std::exception& e) {
        result.Error = e.what();
    }
    return result;
}

}  // namespace

const char* TagKeyName(TTagKey key) {
    return kKeyNames[static_cast<size_t>(key)];
}

std::optional<TTagKey> TagKeyFromName(std::string_view name) {
    for (size_t k = 0; k < kTagKeyCount; ++k)
        if (SameTextAscii(name, kKeyNames[k])) return static_cast<TTagKey>(k);
    return std::nullopt;
}

bool TTagChanges::Empty() const {
    for (const auto& f : Fields)
        if (f) return false;
    return Cover == TCover::Keep;
}

std::unique_ptr<TTagEditor> CreateFileTagEditor() {
    return std::make_unique<TFileTagEditor>();
}

}  // namespace quillet
