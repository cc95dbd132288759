// Ownership and removal notification of the component base.
#include <gtest/gtest.h>

#include "ACS_Types.h"

using namespace quillet;

namespace {

struct Probe : TComponent {
    explicit Probe(TComponent* owner = nullptr, std::vector<std::string>* log = nullptr,
                   std::string name = {})
        : TComponent(owner), Log(log) {
        SetName(name);
    }
    ~Probe() override {
        if (Log) Log->push_back("~" + Name());
    }
    void Notification(TComponent* c, TOperation op) override {
        if (Log && op == TOperation::opRemove) Log->push_back(Name() + " saw " + c->Name() + " go");
    }
    std::vector<std::string>* Log;
};

TEST(Component, OwnerDestroysItsComponentsLastCreatedFirst) {
    std::vector<std::string> log;
    {
        Probe owner(nullptr, &log, "owner");
        new Probe(&owner, &log, "a");
        new Probe(&owner, &log, "b");
    }
    EXPECT_EQ(log, (std::vector<std::string>{"~owner", "~b", "~a"}));
}

TEST(Component, FreeingAnOwnedComponentTellsItsOwner) {
    std::vector<std::string> log;
    Probe owner(nullptr, &log, "owner");
    TComponent::Free(new Probe(&owner, &log, "child"));
    EXPECT_EQ(log, (std::vector<std::string>{"owner saw child go", "~child"}));
}

TEST(Component, ObserverLearnsOfRemovalBeforeDestructionAndForgetsIt) {
    std::vector<std::string> log;
    Probe watcher(nullptr, &log, "watcher");
    auto* watched = new Probe(nullptr, &log, "watched");
    watched->FreeNotification(&watcher);
    TComponent::Free(watched);
    EXPECT_EQ(log, (std::vector<std::string>{"watcher saw watched go", "~watched"}));
    // Destroying the watcher later must not touch the freed one.
}

TEST(Component, ObserverThatGoesFirstIsForgotten) {
    std::vector<std::string> log;
    Probe watched(nullptr, &log, "watched");
    {
        Probe watcher(nullptr, &log, "watcher");
        watched.FreeNotification(&watcher);
    }
    log.clear();
    Owned<Probe> other(new Probe(nullptr, &log, "other"));
    other.reset();
    EXPECT_EQ(log, (std::vector<std::string>{"~other"}));
}

}  // namespace
