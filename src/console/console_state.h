// State of the console subsystem: the registered names.
#pragma once

#include <cstdint>

#include "util/grow_array.h"

// One registered name. File and list formats: console/reg_names.h.
struct RegisteredName {
  char match[33];  // empty: a deleted slot, kept until the next load
  char password[33];
  char digest[33];  // seeded MD5 of the password, upper-case hex
  uint8_t kind;     // 1 Full, 2 Partial
};

struct ConsoleState {
  GrowArray registered_names{static_cast<int>(sizeof(RegisteredName)), "RegNames"};
  // The table holds what the names file held: it was read with the key of
  // the time, or there was no file. Only then may the table be saved.
  int names_loaded = 0;
};

// The state inside the one module-wide state object (defined in
// core/client_state.cpp); reached through a constant pointer, so the
// accessor costs no call.
extern ConsoleState* const g_console_state;
inline ConsoleState& Console() { return *g_console_state; }
