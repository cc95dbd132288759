#include "ACS_Types.h"

#include <algorithm>

namespace quillet {
namespace {
void Erase(std::vector<TComponent*>& v, TComponent* c) {
    v.erase(std::remove(v.begin(), v.end(), c), v.end());
}
}  // namespace

TComponent::TComponent(TComponent* owner) {
    if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    NotifyRemoval();
    // Owned components go last-created first, each announcing its removal
    // while it is still whole.
    while (!FComponents.empty()) {
        TComponent* child = FComponents.back();
        FComponents.pop_back();
        child->FOwner = nullptr;
        Free(child);
    }
    if (FOwner) FOwner->RemoveComponent(this);
    for (TComponent* watched : FObserving) Erase(watched->FObservers, this);
    for (TComponent* observer : FObservers) Erase(observer->FObserving, this);
}

void TComponent::Free(TComponent* component) {
    if (!component) return;
    component->BeforeDestruction();
    delete component;
}

void TComponent::BeforeDestruction() {
    NotifyRemoval();
}

void TComponent::NotifyRemoval() {
    if (FRemovalAnnounced) return;
    FRemovalAnnounced = true;
    // Copy: an observer may unregister itself while being told.
    const std::vector<TComponent*> observers = FObservers;
    for (TComponent* observer : observers) {
        if (std::find(FObservers.begin(), FObservers.end(), observer) != FObservers.end())
            observer->Notification(this, TOperation::opRemove);
    }
    if (FOwner) FOwner->Notification(this, TOperation::opRemove);
}

void TComponent::FreeNotification(TComponent* observer) {
    if (!observer || observer == this) return;
    if (std::find(FObservers.begin(), FObservers.end(), observer) == FObservers.end()) {
        FObservers.push_back(observer);
        observer->FObserving.push_back(this);
    }
}

void TComponent::RemoveFreeNotification(TComponent* observer) {
    if (!observer) return;
    Erase(FObservers, observer);
    Erase(observer->FObserving, this);
}

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::InsertComponent(TComponent* child) {
    FComponents.push_back(child);
    child->FOwner = this;
}

void TComponent::RemoveComponent(TComponent* child) {
    Erase(FComponents, child);
    child->FOwner = nullptr;
}

}  // namespace quillet
