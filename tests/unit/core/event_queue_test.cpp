#include <gtest/gtest.h>

#include <cstring>

#include "core/client_state.h"
#include "core/event_queue.h"
#include "support/module_test.h"

using EventQueueTest = ModuleTest;

TEST_F(EventQueueTest, CopiesDataWithATrailingNul) {
  const char bytes[3] = {'a', 'b', 'c'};
  ASSERT_EQ(QueueEvent(14, 3, bytes, 2), nullptr);
  ASSERT_EQ(QueueEvent(14, 0, "ignored", 0), nullptr);
  ASSERT_EQ(QueueEvent(13, 55, nullptr, 1), nullptr);
  ASSERT_EQ(QueueEvent(13, -4, "x", 1), nullptr);
  const EventQueue& queue = Client().events;
  ASSERT_EQ(queue.count, 4);
  EXPECT_EQ(queue.records[0].length, 3);
  EXPECT_EQ(queue.records[0].retries, 2);
  EXPECT_STREQ(reinterpret_cast<const char*>(queue.records[0].data), "abc");
  EXPECT_NE(reinterpret_cast<const void*>(queue.records[0].data), reinterpret_cast<const void*>(bytes));
  EXPECT_EQ(queue.records[1].length, 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(queue.records[1].data), "");
  EXPECT_EQ(queue.records[2].length, 0);
  EXPECT_EQ(queue.records[2].data, nullptr);
  EXPECT_STREQ(reinterpret_cast<const char*>(queue.records[3].data), "");
}

TEST_F(EventQueueTest, HoldsTwoHundredFiftySixEvents) {
  for (int i = 0; i < 256; ++i) ASSERT_EQ(QueueEvent(3, 1, "x", 0), nullptr);
  EXPECT_STREQ(QueueEvent(3, 1, "x", 0), TG_ERROR_OVERFLOW);
  EXPECT_EQ(Client().events.count, 256);
}

TEST_F(EventQueueTest, RefusedPacketIsOfferedWhileRetriesLast) {
  // Not enabled: every frame is refused.
  ASSERT_EQ(cb(&host.record, 13, 4, "TG_P", 3), 0);
  int walks_with_event = 0;
  for (int i = 0; i < 6; ++i) {
    if (Client().events.count > 0) ++walks_with_event;
    WalkEvents(&host.record, 0);
  }
  EXPECT_EQ(walks_with_event, 4);
  EXPECT_EQ(Client().events.count, 0);
}

TEST_F(EventQueueTest, WalkRules) {
  struct Case {
    int32_t code;
    int32_t retries;
    int walks_present;  // walks on which the event is still in the queue
  } cases[] = {
      {15, 5, 1}, {16, 5, 1},  // dropped on the first walk whatever the retries
      {3, 0, 1},  {3, 2, 3},   // no handler: kept while retries last
      {-7, 1, 2},
      {14, 9, 1},              // a console line is handled exactly once
  };
  for (const Case& c : cases) {
    ResetClientState();
    Client().services.host = &host.record;
    ASSERT_EQ(QueueEvent(c.code, 6, "tg_Ver", c.retries), nullptr);
    int present = 0;
    for (int walk = 0; walk < c.walks_present + 2; ++walk) {
      if (Client().events.count > 0) ++present;
      WalkEvents(&host.record, 0);
    }
    EXPECT_EQ(present, c.walks_present) << "code " << c.code << " retries " << c.retries;
  }
  // The disabled module answered the console line once.
  EXPECT_EQ(host.CountPrinted("Tallyguard Client is currently Disabled"), 1);
}

TEST_F(EventQueueTest, WalkHandlesOnlyEventsPresentAtItsStartInOrder) {
  Client().services.host = &host.record;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(QueueEvent(4, 1, "x", 5), nullptr);
  ASSERT_EQ(QueueEvent(14, 6, "tg_Ver", 0), nullptr);
  WalkEvents(&host.record, 0);
  // The three re-queued events wait for the next walk, in their order.
  const EventQueue& queue = Client().events;
  ASSERT_EQ(queue.count, 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(queue.records[i].code, 4);
    EXPECT_EQ(queue.records[i].retries, 4);
    EXPECT_STREQ(reinterpret_cast<const char*>(queue.records[i].data), "x");
  }
  EXPECT_TRUE(host.Printed("Tallyguard Client is currently Disabled"));
}

TEST_F(EventQueueTest, EnablingDuringTheWalkLeavesTheRestForTheNextWalk) {
  ASSERT_EQ(QueueEvent(14, 12, "tg_cl_Enable", 0), nullptr);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(QueueEvent(14, 6, "tg_Ver", 0), nullptr);
  Client().core.enabled_snapshot = Client().settings.enabled;
  WalkEvents(&host.record, 0);
  EXPECT_EQ(Client().settings.enabled, 1);
  EXPECT_EQ(Client().events.count, 4);
  Client().core.enabled_snapshot = Client().settings.enabled;
  WalkEvents(&host.record, 0);
  EXPECT_EQ(Client().events.count, 0);
}

TEST_F(EventQueueTest, BudgetEndsTheWalk) {
  for (int i = 0; i < 10; ++i) ASSERT_EQ(QueueEvent(15, 0, nullptr, 0), nullptr);
  TestClock::step_ms = 3;  // every reading of the clock moves it on
  WalkEvents(&host.record, 10);
  // Readings at 3, 6 and 9 ms allow an event each; the one at 12 ms stops.
  EXPECT_EQ(Client().events.count, 7);
  TestClock::step_ms = 0;
  WalkEvents(&host.record, 0);
  EXPECT_EQ(Client().events.count, 0);
}

TEST_F(EventQueueTest, NegativeBudgetHandlesTheLatestEventAlone) {
  EXPECT_EQ(ca(&host.record, -1), 0);  // empty queue: nothing, no initialisation
  EXPECT_EQ(Client().core.initialised, 0);
  EXPECT_TRUE(host.prints.empty());

  ASSERT_EQ(QueueEvent(14, 6, "tg_Ver", 0), nullptr);
  ASSERT_EQ(QueueEvent(8, 3, "abc", 1), nullptr);
  EXPECT_EQ(ca(&host.record, -1), 0);
  // The latest (no handler) took the same place again with its own copy.
  const EventQueue& queue = Client().events;
  ASSERT_EQ(queue.count, 2);
  EXPECT_EQ(queue.records[1].code, 8);
  EXPECT_EQ(queue.records[1].retries, 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(queue.records[1].data), "abc");
  EXPECT_EQ(ca(&host.record, -1), 0);  // dropped: no retries left
  EXPECT_EQ(queue.count, 1);
  EXPECT_TRUE(host.prints.empty());
  EXPECT_EQ(ca(&host.record, -1), 0);
  EXPECT_EQ(queue.count, 0);
  EXPECT_TRUE(host.Printed("Tallyguard Client is currently Disabled"));
}

TEST_F(EventQueueTest, TeardownReleasesEveryCopy) {
  // Run under the address sanitizer, a leak here fails the suite.
  for (int i = 0; i < 200; ++i) ASSERT_EQ(QueueEvent(7, 100, std::string(100, 'z').c_str(), 0), nullptr);
  ResetClientState();
  EXPECT_EQ(Client().events.count, 0);
}
