// The fixture of the module's unit tests.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "support/fake_host.h"

// Fresh module state, a fake host with its own home directory and the test
// clock for every test.
class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Enables the module (cl_tallyguard "1") and runs the first cycle.
  void StartModule();
  // Sends a console line as cb code 14.
  intptr_t Line(const std::string& text);
  // Advances the clock and calls ca with budget 0.
  intptr_t Cycle(uint32_t advance_ms = 100);
  // The home directory as the module names it, and a file inside it as a
  // path the test can open.
  std::string HomeFile(const std::string& name) const;

  FakeHost host;
  std::string home_base;
};
