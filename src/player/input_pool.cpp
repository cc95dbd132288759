#include "input_pool.h"

namespace quillet {

namespace {

// Tracks shorter than the ring hold an input each until their end is heard:
// the ring (about 1.5 s) can hold this many tracks of a tenth of a second
// and more of one kind at once; past it the next track simply starts a run
// of its own.
constexpr size_t kMaxPerKind = 24;

}  // namespace

TInputPool::TInputPool(std::function<bool(const TAuFileIn*)> busy)
    : FBusy(std::move(busy)), FFactory([](TInputKind kind) { return CreateInput(kind, nullptr); }) {
    for (size_t kind = 0; kind < kKinds; ++kind)
        FInputs[kind].emplace_back(CreateInput(static_cast<TInputKind>(kind), nullptr));
}

TInputPool::~TInputPool() = default;

TAuFileIn* TInputPool::First(TInputKind kind) const {
    const auto& inputs = FInputs[static_cast<size_t>(kind)];
    return inputs.empty() ? nullptr : inputs.front().get();
}

void TInputPool::Install(TInputKind kind, TAuFileIn* input) {
    auto& inputs = FInputs[static_cast<size_t>(kind)];
    if (inputs.empty()) inputs.emplace_back();
    inputs.front().reset(input);
}

TAuFileIn* TInputPool::Acquire(TInputKind kind) {
    auto& inputs = FInputs[static_cast<size_t>(kind)];
    if (inputs.empty() || !inputs.front()) return nullptr;
    for (const Owned<TAuFileIn>& in : inputs)
        if (in && !FBusy(in.get()) && !in->Active()) return in.get();
    if (inputs.size() >= kMaxPerKind) return nullptr;
    TAuFileIn* made = FFactory(kind);
    if (made == nullptr) return nullptr;
    inputs.emplace_back(made);
    return made;
}

TAuFileIn* TInputPool::OpenTrack(const TTrackRef& track, int64_t offset) {
    const std::optional<TInputKind> kind = TrackInputKind(track);
    return kind ? OpenTrack(*kind, track, offset) : nullptr;
}

TAuFileIn* TInputPool::OpenTrack(TInputKind kind, const TTrackRef& track, int64_t offset) {
    TAuFileIn* input = Acquire(kind);
    if (input != nullptr) AimInput(*input, track, offset);
    return input;
}

}  // namespace quillet
