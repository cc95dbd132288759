#include "tag_titles.h"

#include <exception>
#include <optional>

#include "ACS_FLAC.h"
#include "ACS_Streams.h"
#include "ACS_Tags.h"
#include "ACS_Vorbis.h"
#include "ACS_WinMedia.h"
#include "input_table.h"
#include "text.h"

namespace quillet {

namespace {

struct TNames {
    std::string Artist;
    std::string Title;
};

std::optional<TNames> Named(std::string artist, std::string title) {
    if (OneLine(title).empty()) return std::nullopt;
    return TNames{std::move(artist), std::move(title)};
}

std::optional<TNames> Named(const std::u16string& artist, const std::u16string& title) {
    return Named(Utf16ToUtf8(artist), Utf16ToUtf8(title));
}

// ID3v2 at the start of the file, then APEv2 and ID3v1 at its end.
std::optional<TNames> FileTags(const std::string& path) {
    TAuFileStream file(Utf8ToUtf16(path), fmOpenRead | fmShareDenyWrite);
    TId3v2Tags id3v2;
    if (id3v2.ReadFromFile(file.Handle()))
        if (auto names = Named(id3v2.Artist(), id3v2.Title())) return names;
    TAPEv2Tags apev2;
    ReadAPEv2Tag(file, apev2);
    if (auto names = Named(apev2.Artist(), apev2.Title())) return names;
    TId3v1Tags id3v1;
    if (id3v1.ReadFromFile(file.Handle())) return Named(id3v1.Artist(), id3v1.Title());
    return std::nullopt;
}

// What the input for the file finds while it opens.
std::optional<TNames> InputTags(const std::string& path, TInputKind kind) {
    Owned<TAuFileIn> input(CreateInput(kind, nullptr));
    if (!input) return std::nullopt;
    input->SetFileName(path);
    if (!input->IsValid()) return std::nullopt;
    if (auto* wm = dynamic_cast<TWMIn*>(input.get()))
        return Named(wm->Id3v2Tags().Artist(), wm->Id3v2Tags().Title());
    if (auto* vorbis = dynamic_cast<TVorbisIn*>(input.get()))
        return Named(vorbis->VorbisTags().Artist(), vorbis->VorbisTags().Title());
    if (auto* flac = dynamic_cast<TFLACIn*>(input.get()))
        return Named(flac->VorbisTags().Artist(), flac->VorbisTags().Title());
    return std::nullopt;
}

std::optional<TNames> ReadNames(const std::string& path) {
    const std::optional<TInputKind> kind = FindInputKind(path);
    switch (kind.value_or(TInputKind::ikWave)) {
        case TInputKind::ikVorbis:
        case TInputKind::ikFLAC:
        case TInputKind::ikWM:
            return InputTags(path, *kind);
        case TInputKind::ikMP3:
            if (auto names = FileTags(path)) return names;
            return InputTags(path, *kind);
        default:
            return FileTags(path);
    }
}

}  // namespace

std::string OneLine(std::string_view text) {
    std::u16string line;
    for (char16_t c : Utf8ToUtf16(text)) {
        // An embedding, override or isolate left open would turn the text
        // after it around, in the caption too: the text's own direction is
        // enough to show it.
        if ((c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)) continue;
        const bool breaks = c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029;
        line += breaks ? u' ' : c;
    }
    return std::string(Trim(Utf16ToUtf8(line)));
}

std::string JoinTagTitle(std::string_view artist, std::string_view title) {
    const std::string t = OneLine(title);
    if (t.empty()) return {};
    const std::string a = OneLine(artist);
    return a.empty() ? t : a + " - " + t;
}

std::string ReadTagTitle(const std::string& path) {
    try {
        if (const std::optional<TNames> names = ReadNames(path))
            return JoinTagTitle(names->Artist, names->Title);
    } catch (const std::exception&) {
        // Unreadable, not a regular file, a codec library missing: the row
        // keeps its file name.
    }
    return {};
}

TTagTitleReader::TTagTitleReader(QObject* parent) : QObject(parent) {}

TTagTitleReader::~TTagTitleReader() {
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStop = true;
        FJobs.clear();
    }
    FWake.notify_all();
    if (FThread.joinable()) FThread.join();
}

void TTagTitleReader::Enqueue(std::vector<TJob> jobs) {
    if (jobs.empty()) return;
    {
        std::lock_guard<std::mutex> lock(FLock);
        for (TJob& job : jobs) FJobs.push_back(std::move(job));
    }
    if (!FThread.joinable()) FThread = std::thread([this] { Run(); });
    FWake.notify_one();
}

void TTagTitleReader::DropQueued() {
    std::lock_guard<std::mutex> lock(FLock);
    FJobs.clear();
}

void TTagTitleReader::Run() {
    std::unique_lock<std::mutex> lock(FLock);
    for (;;) {
        FWake.wait(lock, [this] { return FStop || !FJobs.empty(); });
        if (FStop) return;
        TJob job = std::move(FJobs.front());
        FJobs.pop_front();
        lock.unlock();
        std::string title = ReadTagTitle(job.Path);
        lock.lock();
        FResults.push_back({job.Id, std::move(title)});
        // One delivery pending at a time: what comes in meanwhile goes with it.
        if (!FDeliveryPosted) {
            FDeliveryPosted = true;
            QMetaObject::invokeMethod(
                this, [this] { Deliver(); }, Qt::QueuedConnection);
        }
    }
}

void TTagTitleReader::Deliver() {
    std::vector<TResult> results;
    {
        std::lock_guard<std::mutex> lock(FLock);
        results.swap(FResults);
        FDeliveryPosted = false;
    }
    if (!results.empty()) emit TitlesRead(results);
}

}  // namespace quillet
