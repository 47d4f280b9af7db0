#pragma once

#include <vector>

// Base of the program's non-visual components. A component may hold references to
// others that it does not own; it asks to be told when they go away (FreeNotification)
// and then clears the reference in Notification.
class TComponent {
 public:
  TComponent() = default;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  virtual ~TComponent();

  // From now on, Notification(other) runs on this component when other is destroyed.
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);

  // Between BeginLoading and EndLoading the owner applies stored settings; some property
  // checks are relaxed then.
  bool Loading() const { return FLoading; }
  void BeginLoading() { FLoading = true; }
  void EndLoading() {
    FLoading = false;
    Loaded();
  }

 protected:
  // Called on this component while other is being destroyed.
  virtual void Notification(TComponent* other) { (void)other; }
  virtual void Loaded() {}

 private:
  std::vector<TComponent*> FWatchers; // told when this component goes away
  std::vector<TComponent*> FWatched;  // whose destruction this component is told of
  bool FLoading = false;
};
