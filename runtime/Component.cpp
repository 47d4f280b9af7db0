#include "Component.h"

#include <algorithm>

namespace {

void Remove(std::vector<TComponent*>& list, TComponent* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

} // namespace

TComponent::~TComponent() {
  // Notification handlers may unregister themselves; work on copies.
  const std::vector<TComponent*> watchers = std::move(FWatchers);
  FWatchers.clear();
  for (TComponent* watcher : watchers) {
    Remove(watcher->FWatched, this);
    watcher->Notification(this);
  }
  for (TComponent* watched : FWatched)
    Remove(watched->FWatchers, this);
}

void TComponent::FreeNotification(TComponent* other) {
  if (other == nullptr || other == this) return;
  if (std::find(other->FWatchers.begin(), other->FWatchers.end(), this) == other->FWatchers.end()) {
    other->FWatchers.push_back(this);
    FWatched.push_back(other);
  }
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  if (other == nullptr) return;
  Remove(other->FWatchers, this);
  Remove(FWatched, other);
}
