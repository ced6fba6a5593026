#include "support/fake_host.h"

uint32_t TestClock::now = 0;
uint32_t TestClock::step_ms = 0;

uint32_t TestClock::Read() {
  uint32_t value = now;
  now += step_ms;
  return value;
}
