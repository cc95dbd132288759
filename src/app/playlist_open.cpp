#include "playlist_open.h"

#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <iterator>

#include "paths.h"

namespace quillet {

TPlaylistOpener::TPlaylistOpener(TPlaylistSet& lists, QObject* parent)
    : QObject(parent), FLists(lists) {
    FWorker.setMaxThreadCount(1);
    FWorker.setExpiryTimeout(0);  // opens are rare: no idle thread is kept
}

TPlaylistOpener::~TPlaylistOpener() {
    ++FSerial;
    FWorker.waitForDone();
}

void TPlaylistOpener::OpenInNewList(const std::string& file, TPlaylistOpen options) {
    std::string_view name = FileNamePart(file);
    // A name that is all extension (".m3u") is kept whole.
    if (const size_t ext = ExtractExtension(name).size(); ext < name.size())
        name.remove_suffix(ext);
    Start(file, std::move(options), kNoList, std::string(name));
}

void TPlaylistOpener::Start(const std::string& file, TPlaylistOpen options, TListId into,
                            const std::string& newList) {
    const uint64_t serial = ++FSerial;
    FBusy = true;
    QPointer<TPlaylistOpener> self(this);
    FWorker.start([self, serial, file, options = std::move(options), into, newList]() mutable {
        TRead read;
        try {
            read.Known = OpenPlaylistEntries(file, read.Entries, nullptr, &options);
            read.Problems = std::move(options.Problems);
        } catch (...) {
            read.Error = std::current_exception();
        }
        // Dropped by Qt if the opener is gone by then.
        QMetaObject::invokeMethod(
            self.data(),
            [self, serial, into, newList, read = std::move(read)]() mutable {
                self->Read(serial, into, newList, std::move(read));
            },
            Qt::QueuedConnection);
    });
}

void TPlaylistOpener::Read(uint64_t serial, TListId into, const std::string& newList, TRead read) {
    if (serial != FSerial) return;  // a later open replaced this one
    FBusy = false;
    if (read.Error) {
        if (OnError) OnError(read.Error);
        return;
    }
    if (OnProblems && !read.Problems.empty()) OnProblems(read.Problems);
    if (!read.Known) return;
    if (!newList.empty()) {
        const int index = FLists.Add(newList, FLists.ShownIndex() + 1);
        into = FLists.Id(index);
        FLists.Show(index);
    } else if (FLists.IndexOf(into) < 0) {
        return;  // the list was closed while its file was read
    }
    FBusy = true;
    HandOver(serial, into, std::make_shared<TRead>(std::move(read)), 0);
}

void TPlaylistOpener::HandOver(uint64_t serial, TListId into, std::shared_ptr<TRead> read,
                               size_t from) {
    const int index = FLists.IndexOf(into);
    if (serial != FSerial || index < 0) {
        if (serial == FSerial) FBusy = false;
        return;
    }
    std::vector<TPlaylistEntry>& entries = read->Entries;
    const size_t to = std::min(entries.size(), from + kSlice);
    std::vector<TPlaylistEntry> slice(
        std::make_move_iterator(entries.begin() + static_cast<ptrdiff_t>(from)),
        std::make_move_iterator(entries.begin() + static_cast<ptrdiff_t>(to)));
    TPlaylistModel& list = FLists.List(index);
    if (from == 0) {
        list.ReplaceAll(std::move(slice));
    } else {
        list.AppendToLastEdit(std::move(slice));
    }
    if (to == entries.size()) {
        FBusy = false;
        return;
    }
    QTimer::singleShot(0, this,
                       [this, serial, into, read, to] { HandOver(serial, into, read, to); });
}

}  // namespace quillet
