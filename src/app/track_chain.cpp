#include "track_chain.h"

#include <algorithm>

#include "content_sniff.h"

namespace quillet {

TTrackChain::TTrackChain(TAuOutput& out, THost host) : FOut(out), FHost(std::move(host)) {}

void TTrackChain::SyncOrder() {
    const int count = std::max(FHost.Count(), 0);
    if (count > FOrder.Count()) {
        FOrder.Appended(count - FOrder.Count());
    } else if (count < FOrder.Count()) {
        FOrder.Reset(count);  // rows gone without a word: start afresh
    }
}

TPlayOrder& TTrackChain::Order() {
    SyncOrder();
    return FOrder;
}

int TTrackChain::NextRow() {
    SyncOrder();
    std::vector<int> pending;
    for (const TQueued& q : FQueued)
        if (q.Row >= 0) pending.push_back(q.Row);
    const TPlayOrder::TPlace at = FQueued.empty()
                                      ? TPlayOrder::TPlace{FHost.SelectedRow(), FHost.PlayingRow()}
                                      : TPlayOrder::TPlace{FQueued.back().Row, FQueued.back().Row};
    return FOrder.AfterTrack(at, pending);
}

TAuFileIn* TTrackChain::FreeInput(TInputKind kind) {
    const TAuInput* playing = FOut.Input();
    const TAuInput* queued = FOut.QueuedNext();
    auto usable = [&](TAuFileIn* in) {
        return in != nullptr && in != playing && in != queued && !in->Active();
    };
    if (TAuFileIn* own = FHost.WindowInput(kind); usable(own)) return own;
    // A second input of the kind, for a row that follows one of the same kind.
    Owned<TAuFileIn>& spare = FSpares[kind];
    if (!spare) spare.reset(CreateInput(kind, nullptr));
    return usable(spare.get()) ? spare.get() : nullptr;
}

void TTrackChain::Answer() {
    if (FHost.Count() <= 0) {
        FOut.QueueNext(nullptr);
        return;
    }
    const int row = NextRow();
    if (row < 0 || row >= FHost.Count()) {
        FOut.QueueNext(nullptr);  // the way the list plays ends here
        return;
    }
    const std::string path = FHost.PathOf(row);
    const std::optional<TInputKind> kind = InputKindFor(path);
    TAuFileIn* input = kind ? FreeInput(*kind) : nullptr;
    if (input == nullptr) {
        // The run ends here; the end-of-track step then meets the row itself
        // (and says "Format not supported" as it always did).
        FOut.QueueNext(nullptr);
        return;
    }
    input->SetFileName(path);
    FQueued.push_back({row, path, input});
    FOut.QueueNext(input);
}

void TTrackChain::NeedNext() {
    Answer();
}

void TTrackChain::TrackChanged() {
    TAuInput* heard = FOut.TakeHeardInput();
    while (!FQueued.empty()) {
        const TQueued q = FQueued.front();
        FQueued.pop_front();
        if (heard != nullptr && q.Input != heard) continue;  // dropped before its turn
        if (q.Row >= 0 && q.Row < FHost.Count()) {
            Order().Started(q.Row);
            FHost.Heard(q.Row);
        }
        return;
    }
}

TTrackChain::TRunEnd TTrackChain::RunEnded() {
    FQueued.clear();
    if (FOut.ProducedSound()) {
        FSilentRuns = 0;
        FSoundSinceStart = true;
    } else {
        ++FSilentRuns;
    }
    const int row = NextRow();
    const bool silentLap = FSilentRuns > 0 && FSilentRuns >= FOrder.LapLength();
    if (silentLap || (row < 0 && !FSoundSinceStart)) {
        FSilentRuns = 0;
        return {true, -1};
    }
    return {false, row};
}

void TTrackChain::Starting(int row, bool byUser) {
    FQueued.clear();
    if (byUser) {
        FSilentRuns = 0;
        FSoundSinceStart = false;
    }
    Order().Started(row);
}

void TTrackChain::RowRemoved(int row) {
    FOrder.Removed(row);
    for (TQueued& q : FQueued) {
        if (q.Row == row)
            q.Row = -1;
        else if (q.Row > row)
            --q.Row;
    }
    ListChanged();
}

void TTrackChain::ListReplaced() {
    FOrder.Reset(std::max(FHost.Count(), 0));
    for (TQueued& q : FQueued) q.Row = -1;
    ListChanged();
}

void TTrackChain::ListChanged() {
    const TAuInput* queued = FOut.QueuedNext();
    if (queued == nullptr || FQueued.empty() || FQueued.back().Input != queued) return;
    const TQueued mine = FQueued.back();
    FQueued.pop_back();
    const int count = FHost.Count();
    const int row = count > 0 ? NextRow() : -1;
    if (row == mine.Row && row >= 0 && FHost.PathOf(row) == mine.Path) {
        FQueued.push_back(mine);
        return;
    }
    if (!FOut.CancelNext()) {
        FQueued.push_back(mine);  // handed over meanwhile: it plays
        return;
    }
    if (FOut.AwaitingNext()) Answer();
}

}  // namespace quillet
