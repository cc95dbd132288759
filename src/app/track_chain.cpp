#include "track_chain.h"

#include "content_sniff.h"

namespace quillet {

TTrackChain::TTrackChain(TAuOutput& out, THost host) : FOut(out), FHost(std::move(host)) {}

int TTrackChain::RowAfter(int row) const {
    return row == FHost.Count() - 1 ? 0 : row + 1;
}

int TTrackChain::PlayingRow() const {
    return FQueued.empty() ? FHost.SelectedRow() : FQueued.back().Row;
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
    const int row = RowAfter(PlayingRow());
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
        if (q.Row >= 0 && q.Row < FHost.Count()) FHost.Heard(q.Row);
        return;
    }
}

bool TTrackChain::RunEnded() {
    FQueued.clear();
    if (FOut.ProducedSound()) {
        FSilentRuns = 0;
        return true;
    }
    if (++FSilentRuns < FHost.Count()) return true;
    FSilentRuns = 0;
    return false;
}

void TTrackChain::Starting(bool byUser) {
    FQueued.clear();
    if (byUser) FSilentRuns = 0;
}

void TTrackChain::RowRemoved(int row) {
    for (TQueued& q : FQueued) {
        if (q.Row == row)
            q.Row = -1;
        else if (q.Row > row)
            --q.Row;
    }
    ListChanged();
}

void TTrackChain::ListReplaced() {
    for (TQueued& q : FQueued) q.Row = -1;
    ListChanged();
}

void TTrackChain::ListChanged() {
    const TAuInput* queued = FOut.QueuedNext();
    if (queued == nullptr || FQueued.empty() || FQueued.back().Input != queued) return;
    const TQueued mine = FQueued.back();
    FQueued.pop_back();
    const int count = FHost.Count();
    const int row = count > 0 ? RowAfter(PlayingRow()) : -1;
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
