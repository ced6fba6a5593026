// The game of the unit tests: the reference host, which records everything
// the module hands to it, and a controllable clock.
#pragma once

#include <cstdint>

#include "host/reference_host.h"

using FakeHost = ReferenceHost;

// The test clock: PlatformTick reads it. Each read adds step_ms afterwards.
struct TestClock {
  static uint32_t now;
  static uint32_t step_ms;
  static uint32_t Read();
};
