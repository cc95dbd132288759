#include "play_queue.h"

namespace quillet {

int TPlayQueue::Position(TEntryId id) const {
    const auto it = FIndex.find(id);
    return it == FIndex.end() ? 0 : static_cast<int>(it->second) + 1;
}

bool TPlayQueue::Add(TEntryId id) {
    if (id == kNoEntry || !FIndex.emplace(id, FIds.size()).second) return false;
    FIds.push_back(id);
    return true;
}

bool TPlayQueue::Remove(TEntryId id) {
    const auto it = FIndex.find(id);
    if (it == FIndex.end()) return false;
    const size_t at = it->second;
    FIndex.erase(it);
    FIds.erase(FIds.begin() + static_cast<std::ptrdiff_t>(at));
    for (size_t i = at; i < FIds.size(); ++i) FIndex[FIds[i]] = i;
    return true;
}

bool TPlayQueue::Clear() {
    if (FIds.empty()) return false;
    FIds.clear();
    FIndex.clear();
    return true;
}

}  // namespace quillet
