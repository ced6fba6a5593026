#include <gtest/gtest.h>

#include <cstdint>

#include "core/client_state.h"
#include "support/module_test.h"

namespace {

volatile uintptr_t g_bad_address = 16;
int g_handlers_before_fault = 0;

void WriteToBadAddress(FaultPlace) { *reinterpret_cast<volatile int*>(g_bad_address) = 1; }
void TrapInstruction(FaultPlace) { __builtin_trap(); }

// Faults in the handler of the event after g_handlers_before_fault others.
void FaultInAHandler(FaultPlace place) {
  if (place == FaultPlace::kEventHandler && g_handlers_before_fault-- == 0) WriteToBadAddress(place);
}

}  // namespace

using FaultGuard = ModuleTest;

TEST_F(FaultGuard, FaultInTheCycleIsCaughtAndReported) {
  StartModule();
  void (*const faults[])(FaultPlace) = {WriteToBadAddress, TrapInstruction};
  for (void (*fault)(FaultPlace) : faults) {
    host.ClearPrints();
    Client().core.fault_injection = fault;
    EXPECT_EQ(Cycle(60), 0);
    EXPECT_EQ(host.CountPrinted("O/S Exception Notice"), 1);
  }
  // The host keeps running and so does the module.
  Client().core.fault_injection = nullptr;
  host.ClearPrints();
  ASSERT_EQ(Line("tg_Ver"), 0);
  EXPECT_EQ(Cycle(1), 0);
  EXPECT_TRUE(host.Printed("Tallyguard Client (v1.276 | A0) Enabled"));
  EXPECT_FALSE(host.Printed("O/S Exception Notice"));
}

TEST_F(FaultGuard, IgnoreSettingSilencesTheNotice) {
  StartModule();
  Client().settings.values.ignore_faults = 1;
  Client().core.fault_injection = WriteToBadAddress;
  EXPECT_EQ(Cycle(60), 0);
  EXPECT_FALSE(host.Printed("O/S Exception Notice"));
  Client().core.fault_injection = nullptr;
}

TEST_F(FaultGuard, FaultInAHandlerDropsItsEventAndKeepsTheRest) {
  StartModule();
  Cycle(60);  // leave the main-work phase behind
  for (const char* line : {"tg_Ver", "tg_nothing", "tg_Ver // third"})
    ASSERT_EQ(Line(line), 0);
  ASSERT_EQ(cb(&host.record, 4, 3, "abc", 0), 0);
  host.ClearPrints();
  g_handlers_before_fault = 1;
  Client().core.fault_injection = FaultInAHandler;
  EXPECT_EQ(Cycle(1), 0);
  Client().core.fault_injection = nullptr;
  EXPECT_EQ(host.CountPrinted("O/S Exception Notice"), 1);
  EXPECT_EQ(host.CountPrinted("Tallyguard Client (v1.276 | A0) Enabled"), 1);
  // The first event was handled, the second faulted and is gone; the others wait.
  ASSERT_EQ(Client().events.count, 2);
  EXPECT_STREQ(reinterpret_cast<const char*>(Client().events.records[0].data), "tg_Ver // third");
  EXPECT_EQ(Cycle(60), 0);  // main work
  EXPECT_EQ(Cycle(60), 0);  // event walk
  EXPECT_EQ(Client().events.count, 0);
  EXPECT_FALSE(host.Printed("Unknown Command/Setting: tg_nothing"));
  EXPECT_EQ(host.CountPrinted("Tallyguard Client (v1.276 | A0) Enabled"), 2);
}

TEST_F(FaultGuard, FaultInASingleEventIsCaughtToo) {
  StartModule();
  ASSERT_EQ(cb(&host.record, 14, 6, "tg_Ver", 0), 0);
  g_handlers_before_fault = 0;
  Client().core.fault_injection = FaultInAHandler;
  EXPECT_EQ(ca(&host.record, -1), 0);
  Client().core.fault_injection = nullptr;
  EXPECT_TRUE(host.Printed("O/S Exception Notice"));
  EXPECT_EQ(Client().events.count, 0);
}
