#include "play_order.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <utility>

namespace quillet {
namespace {

constexpr std::array<std::pair<TRepeat, std::string_view>, 4> kRepeatNames{{
    {TRepeat::List, "list"},
    {TRepeat::One, "one"},
    {TRepeat::StopAfterTrack, "stop-after-track"},
    {TRepeat::StopAtEnd, "stop-at-end"},
}};

// Enough to step back through a long evening; the oldest go first.
constexpr size_t kHistoryMax = 1000;
// A new lap that repeats the last one's order or starts with the row just
// played is drawn again; this many draws make a failure all but impossible.
constexpr int kLapDraws = 32;

template <class Rows>
void EraseFirst(Rows& rows, int row) {
    if (const auto it = std::find(rows.begin(), rows.end(), row); it != rows.end()) rows.erase(it);
}

// Takes `row` out of the rows and closes the gap it leaves in the numbering.
template <class Rows>
void DropRow(Rows& rows, int row) {
    rows.erase(std::remove(rows.begin(), rows.end(), row), rows.end());
    for (int& r : rows)
        if (r > row) --r;
}

}  // namespace

std::string_view RepeatName(TRepeat mode) {
    for (const auto& [m, name] : kRepeatNames)
        if (m == mode) return name;
    return kRepeatNames[0].second;
}

std::optional<TRepeat> RepeatNamed(std::string_view name) {
    for (const auto& [mode, n] : kRepeatNames)
        if (n == name) return mode;
    return std::nullopt;
}

TPlayOrder::TPlayOrder(uint64_t seed) : FRandom(seed) {}

void TPlayOrder::SetShuffle(bool on, int playing) {
    if (on == FShuffle) return;
    FShuffle = on;
    FUnplayed.clear();
    FNextLap.clear();
    FLastLap.clear();
    if (!on || FCount == 0) return;
    BeginLap();
    if (playing >= 0 && playing < FCount) EraseFirst(FUnplayed, playing);
}

void TPlayOrder::Appended(int rows) {
    Inserted(FCount, rows);
}

void TPlayOrder::Inserted(int first, int rows) {
    if (rows <= 0) return;
    first = std::clamp(first, 0, FCount);
    // The rows from `first` on move down by `rows`.
    auto shift = [first, rows](auto& seq) {
        for (int& row : seq)
            if (row >= first) row += rows;
    };
    shift(FUnplayed);
    shift(FNextLap);
    shift(FHistory);
    FCount += rows;
    FLastLap.clear();
    if (!FShuffle) return;
    JoinUnplayed(FUnplayed, first, rows);
    if (!FNextLap.empty()) JoinUnplayed(FNextLap, first, rows);
}

void TPlayOrder::JoinUnplayed(std::vector<int>& lap, int first, int rows) {
    std::vector<int> added(static_cast<size_t>(rows));
    std::iota(added.begin(), added.end(), first);
    std::shuffle(added.begin(), added.end(), FRandom);
    // The rows already in the lap keep their order, and the first of them its
    // place (it may already be chained to follow); the new ones come in at
    // random places among the rest.
    const size_t keep = lap.empty() ? 0 : 1;
    std::vector<char> fresh(lap.size() - keep + added.size(), 0);
    std::fill_n(fresh.begin(), added.size(), 1);
    std::shuffle(fresh.begin(), fresh.end(), FRandom);
    std::vector<int> joined(lap.begin(), lap.begin() + static_cast<std::ptrdiff_t>(keep));
    joined.reserve(lap.size() + added.size());
    auto old = lap.cbegin() + static_cast<std::ptrdiff_t>(keep);
    auto next = added.cbegin();
    for (const char isNew : fresh) joined.push_back(isNew ? *next++ : *old++);
    lap = std::move(joined);
}

void TPlayOrder::Removed(int row) {
    if (row < 0 || row >= FCount) return;
    --FCount;
    FLastLap.clear();
    DropRow(FUnplayed, row);
    DropRow(FNextLap, row);
    DropRow(FHistory, row);
    // A row played on both sides of the one removed is one step back, not two.
    FHistory.erase(std::unique(FHistory.begin(), FHistory.end()), FHistory.end());
}

void TPlayOrder::Reset(int count) {
    FCount = 0;
    FUnplayed.clear();
    FNextLap.clear();
    FLastLap.clear();
    FHistory.clear();
    Appended(count);
}

void TPlayOrder::Remember(int row) {
    if (!FHistory.empty() && FHistory.back() == row) return;
    FHistory.push_back(row);
    if (FHistory.size() > kHistoryMax) FHistory.pop_front();
}

void TPlayOrder::Started(int row) {
    if (row < 0 || row >= FCount) return;
    if (FShuffle) {
        if (FUnplayed.empty()) BeginLap();
        EraseFirst(FUnplayed, row);
    }
    Remember(row);
}

std::vector<int> TPlayOrder::NewLap(int after) {
    std::vector<int> lap(static_cast<size_t>(FCount));
    std::iota(lap.begin(), lap.end(), 0);
    auto fits = [&] {
        return (FCount < 3 || lap != FLastLap) && (FCount < 2 || lap.front() != after);
    };
    for (int draw = 0; draw < kLapDraws; ++draw) {
        std::shuffle(lap.begin(), lap.end(), FRandom);
        if (fits()) break;
    }
    if (FCount > 1 && lap.front() == after)
        std::swap(lap.front(), lap[1 + static_cast<size_t>(FRandom() % (lap.size() - 1))]);
    FLastLap = lap;
    return lap;
}

void TPlayOrder::BeginLap() {
    if (FNextLap.empty()) {
        FUnplayed = NewLap(FHistory.empty() ? -1 : FHistory.back());
    } else {
        FUnplayed = std::move(FNextLap);
        FNextLap.clear();
    }
}

int TPlayOrder::Upcoming(const std::vector<int>& pending, bool endless) {
    std::vector<int> skip = pending;
    auto fresh = [&skip](int row) {
        const auto it = std::find(skip.begin(), skip.end(), row);
        if (it == skip.end()) return true;
        skip.erase(it);
        return false;
    };
    for (int row : FUnplayed)
        if (fresh(row)) return row;
    if (!endless || FCount == 0) return -1;
    if (FNextLap.empty()) {
        const int after = !FUnplayed.empty()  ? FUnplayed.back()
                          : !pending.empty()  ? pending.back()
                          : !FHistory.empty() ? FHistory.back()
                                              : -1;
        FNextLap = NewLap(after);
    }
    // Pending rows may reach past the next lap (a list shorter than what the
    // chain has queued): the laps after it are taken to be the same.
    for (size_t lap = 0; lap <= pending.size(); ++lap)
        for (int row : FNextLap)
            if (fresh(row)) return row;
    return -1;
}

int TPlayOrder::AfterTrack(TPlace at, const std::vector<int>& pending) {
    switch (FRepeat) {
        case TRepeat::List:
            return FShuffle ? Upcoming(pending, true) : ListAfter(at.Selected);
        case TRepeat::One:
            return at.Playing >= 0 && at.Playing < FCount ? at.Playing : -1;
        case TRepeat::StopAfterTrack:
            return -1;
        case TRepeat::StopAtEnd:
            if (FShuffle) return Upcoming(pending, false);
            return at.Selected < FCount - 1 ? at.Selected + 1 : -1;
    }
    return -1;
}

int TPlayOrder::Next(int selected) {
    return FShuffle ? Upcoming({}, true) : ListAfter(selected);
}

int TPlayOrder::Previous(int selected) {
    if (!FShuffle || FHistory.empty()) return ListBefore(selected);
    // Nothing played before it: it starts again.
    if (FHistory.size() == 1) return FHistory.back();
    const int left = FHistory.back();
    FHistory.pop_back();
    // Next comes back to the row left, as a step forward again.
    EraseFirst(FUnplayed, left);
    FUnplayed.insert(FUnplayed.begin(), left);
    return FHistory.back();
}

bool TPlayOrder::CanGoPrevious(int selected) const {
    if (FShuffle && !FHistory.empty()) return true;
    return FCount > 0 && selected >= 0;
}

}  // namespace quillet
