#include "Component.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

// Holds a reference it does not own, as a connection holds its intercept.
class Holder : public TComponent {
 public:
  void Hold(TComponent* other) {
    if (held) RemoveFreeNotification(held);
    held = other;
    FreeNotification(other);
  }
  TComponent* held = nullptr;
  int notifications = 0;

 protected:
  void Notification(TComponent* other) override {
    ++notifications;
    if (other == held) {
      // Unregistering from inside the notification must be safe.
      RemoveFreeNotification(held);
      held = nullptr;
    }
  }
};

TEST(Component, ReferenceIsClearedWhenTheReferencedGoesAway) {
  Holder a, b;
  auto target = std::make_unique<TComponent>();
  a.Hold(target.get());
  b.Hold(target.get());
  target.reset();
  EXPECT_EQ(a.held, nullptr);
  EXPECT_EQ(b.held, nullptr);
  EXPECT_EQ(a.notifications, 1);
}

TEST(Component, AHolderGoingFirstIsForgotten) {
  TComponent target;
  {
    Holder a;
    a.Hold(&target);
  }
  // target's destructor must not reach the destroyed holder (ASan would report it).
  SUCCEED();
}

TEST(Component, ReleasedReferenceIsNoLongerNotified) {
  Holder a;
  auto first = std::make_unique<TComponent>();
  TComponent second;
  a.Hold(first.get());
  a.Hold(&second);
  first.reset();
  EXPECT_EQ(a.notifications, 0);
  EXPECT_EQ(a.held, &second);
}

} // namespace
