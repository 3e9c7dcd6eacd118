// Ownership of components: an owner frees what it owns, last created first; a component freed
// first leaves its owner's list; free notifications reach the ones that asked.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Classes.h"

namespace {

struct Probe : TComponent {
  Probe(TComponent* owner, const char* name, std::vector<std::string>* log) : TComponent(owner), log(log) {
    Name = name;
  }
  ~Probe() override { log->push_back("free " + Name.str()); }
  void Notification(TComponent* c, TOperation op) override {
    if (op == opRemove) log->push_back(Name.str() + " told of " + c->Name.str());
    if (op == opRemove && c == watched) watched = nullptr;
  }
  std::vector<std::string>* log;
  TComponent* watched = nullptr;
};

TEST(Component, OwnerFreesItsComponentsLastFirst) {
  std::vector<std::string> log;
  auto* owner = new Probe(nullptr, "form", &log);
  new Probe(owner, "edit", &log);
  new Probe(owner, "button", &log);
  EXPECT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(owner->FindComponent("BUTTON"), owner->Components(1));
  EXPECT_EQ(owner->FindComponent(""), nullptr);
  delete owner;
  EXPECT_EQ(log, (std::vector<std::string>{"free form", "free button", "free edit"}));
}

TEST(Component, ComponentFreedFirstLeavesItsOwner) {
  std::vector<std::string> log;
  Probe owner(nullptr, "form", &log);
  auto* child = new Probe(&owner, "timer", &log);
  delete child;
  EXPECT_EQ(owner.ComponentCount(), 0);
  EXPECT_EQ(owner.FindComponent("timer"), nullptr);

  // Moving a component to another owner takes it out of the first one.
  Probe other(nullptr, "other", &log);
  auto* moved = new Probe(&owner, "moved", &log);
  other.InsertComponent(moved);
  EXPECT_EQ(owner.ComponentCount(), 0);
  EXPECT_EQ(moved->Owner(), &other);
}

TEST(Component, FreeNotificationClearsAWatchersPointer) {
  std::vector<std::string> log;
  Probe form(nullptr, "form", &log);
  Probe watcher(nullptr, "watcher", &log);
  auto* target = new Probe(&form, "target", &log);
  watcher.watched = target;
  target->FreeNotification(&watcher);
  delete target;
  EXPECT_EQ(watcher.watched, nullptr);
  // After RemoveFreeNotification nobody is told.
  auto* second = new Probe(&form, "second", &log);
  second->FreeNotification(&watcher);
  second->RemoveFreeNotification(&watcher);
  log.clear();
  delete second;
  EXPECT_EQ(std::count(log.begin(), log.end(), "watcher told of second"), 0);
}

}  // namespace
