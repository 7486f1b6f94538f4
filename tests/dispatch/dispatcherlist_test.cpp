// Tests of DispatcherList: handles, their reuse, trailing-slot removal and the lookup cache.
#include "dispatch/dispatcherlist.h"

#include <gtest/gtest.h>

#include <memory>

#include "recordinghandler.h"
#include "testdispatcher.h"

namespace talyx::testing {
namespace {

TEST(DispatcherList, HandlesAreReusedAndTrailingSlotsRemoved) {
  ASSERT_EQ(DispatcherListCount(), 0) << "another test left a dispatcher behind";
  auto first = std::make_unique<TTestDispatcher>();
  auto second = std::make_unique<TTestDispatcher>();
  auto third = std::make_unique<TTestDispatcher>();
  EXPECT_EQ(first->Handle, 0);
  EXPECT_EQ(second->Handle, 1);
  EXPECT_EQ(third->Handle, 2);

  second.reset();
  EXPECT_EQ(DispatcherListCount(), 3);
  EXPECT_EQ(LookUpDispatcher(1), nullptr);
  auto fourth = std::make_unique<TTestDispatcher>();
  EXPECT_EQ(fourth->Handle, 1);

  third.reset();
  EXPECT_EQ(DispatcherListCount(), 2);
  first.reset();
  EXPECT_EQ(DispatcherListCount(), 2);
  fourth.reset();
  EXPECT_EQ(DispatcherListCount(), 0);
}

TEST(DispatcherList, LookUpFindsLiveDispatchersOnly) {
  auto first = std::make_unique<TTestDispatcher>();
  auto second = std::make_unique<TTestDispatcher>();
  EXPECT_EQ(LookUpDispatcher(second->Handle), second.get());
  EXPECT_EQ(LookUpDispatcher(first->Handle), first.get());
  EXPECT_EQ(LookUpDispatcher(first->Handle), first.get());
  EXPECT_EQ(LookUpDispatcher(-1), nullptr);
  EXPECT_EQ(LookUpDispatcher(2), nullptr);

  // The cache pointed at the destroyed dispatcher: a successor in the same slot is found.
  const int32_t handle = first->Handle;
  first.reset();
  EXPECT_EQ(LookUpDispatcher(handle), nullptr);
  auto successor = std::make_unique<TTestDispatcher>();
  ASSERT_EQ(successor->Handle, handle);
  EXPECT_EQ(LookUpDispatcher(handle), successor.get());
}

TEST(DispatcherList, TriggerMessagesCarryTheHandleInTheirHighWord) {
  auto filler = std::make_unique<TTestDispatcher>();
  TTestDispatcher d;
  ASSERT_EQ(d.Handle, 1);
  RecordingHandler handler(d);
  d.RegisterEventTriggerHandler(handler.Method(), false);
  d.NotifyHandlers(TriggerDataMsg, 40, 7);
  ASSERT_EQ(handler.Messages.size(), 1u);
  EXPECT_EQ(handler.Messages[0].Second, (1 << 16) | 7);
}

}  // namespace
}  // namespace talyx::testing
