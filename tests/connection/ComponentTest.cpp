#include "EventRecorder.h"
#include "IdComponent.h"
#include "IdStack.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

// The events of a component, as text.
struct EventLog {
  std::vector<std::string> lines;
  void Attach(TIdComponent& c) { RecordEvents(c, lines); }
};

using Lines = std::vector<std::string>;

TEST(WorkEvents, OnlyTheOutermostRunBeginsAndEnds) {
  TIdComponent c;
  EventLog log;
  log.Attach(c);
  c.StartWork(wkRead, 100);
  c.StartWork(wkRead, 50);
  for (int i = 0; i < 3; ++i)
    c.ReportWork(wkRead, 10);
  c.FinishWork(wkRead);
  EXPECT_EQ(c.WorkProgress(wkRead).Depth, 1);
  c.FinishWork(wkRead);
  EXPECT_EQ(log.lines, (Lines{"begin 0 100", "work 0 10", "work 0 20", "work 0 30", "end 0"}));
}

TEST(WorkEvents, DirectionsAreIndependent) {
  TIdComponent c;
  EventLog log;
  log.Attach(c);
  c.StartWork(wkRead, 0);
  c.ReportWork(wkWrite, 5); // no write run open: not counted, nothing fired
  c.ReportWork(wkRead, 0);  // zero still fires with the unchanged total
  c.FinishWork(wkRead);
  EXPECT_EQ(c.WorkProgress(wkWrite).Count, 0);
  EXPECT_EQ(log.lines, (Lines{"begin 0 0", "work 0 0", "end 0"}));
}

TEST(WorkEvents, ANewRunCountsFromZero) {
  TIdComponent c;
  EventLog log;
  c.StartWork(wkWrite, 10);
  c.ReportWork(wkWrite, 7);
  c.FinishWork(wkWrite);
  log.Attach(c);
  c.StartWork(wkWrite, 10);
  c.ReportWork(wkWrite, 3);
  c.FinishWork(wkWrite);
  EXPECT_EQ(log.lines, (Lines{"begin 1 10", "work 1 3", "end 1"}));
}

TEST(WorkEvents, AnUnpairedFinishSwallowsTheNextBegin) {
  TIdComponent c;
  EventLog log;
  log.Attach(c);
  c.FinishWork(wkRead);
  EXPECT_EQ(c.WorkProgress(wkRead).Depth, -1);
  c.StartWork(wkRead, 9);
  EXPECT_TRUE(log.lines.empty());
}

TEST(StatusEvents, TextsFromTheTable) {
  TIdComponent c;
  EventLog log;
  log.Attach(c);
  c.NotifyStatus(stResolving, "fotos.example");
  c.NotifyStatus(stConnecting, "10.0.0.1");
  c.NotifyStatus(stConnected, "10.0.0.1");
  c.NotifyStatus(stDisconnecting, "10.0.0.1");
  c.NotifyStatus(stDisconnected, "");
  c.NotifyStatus(stText, "100%s");
  EXPECT_EQ(log.lines, (Lines{"status 0 Host-Name fotos.example wird aufgelöst.",
                              "status 1 Verbinden mit 10.0.0.1.", "status 2 Verbunden.",
                              "status 3 Verbindung zu 10.0.0.1 wird getrennt.",
                              "status 4 Nicht verbunden.", "status 5 100%s"}));
}

TEST(StackLifecycle, TheStackLivesWhileAnyComponentDoes) {
  ASSERT_EQ(GlobalStack, nullptr);
  auto first = std::make_unique<TIdComponent>();
  TIdStack* const stack = GlobalStack;
  ASSERT_NE(stack, nullptr);
  auto second = std::make_unique<TIdComponent>();
  EXPECT_EQ(GlobalStack, stack) << "one stack for all";
  EXPECT_EQ(TIdComponent::LiveComponents(), 2);
  first.reset();
  EXPECT_EQ(GlobalStack, stack);
  second.reset();
  EXPECT_EQ(GlobalStack, nullptr);
  EXPECT_EQ(TIdComponent::LiveComponents(), 0);
  TIdComponent again;
  EXPECT_NE(GlobalStack, nullptr) << "a later component brings a new stack";
}

} // namespace
