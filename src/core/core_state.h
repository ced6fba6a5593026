// State of the module's spine: initialisation, the pace and phase of the
// cycle, the connection watch and the periodic host report.
#pragma once

#include <cstdint>

#include "platform/platform.h"

enum class FaultPlace { kCycle, kEventHandler };

struct CoreState {
  int initialised = 0;
  int halted = 0;
  uint32_t halt_deadline = 0;    // 0 = not armed
  uint32_t last_cycle_time = 0;  // 0 = the next cycle runs at once
  int phase = 0;
  uint32_t watch_calls = 0;  // connection-watch calls since initialisation
  int enabled_snapshot = 0;  // enabled flag as the current ca call began
  int game_version_shown = 0;
  PlatformSystemFacts facts = {};
  char start_dir[256] = "";
  char pending_deletion[255] = "";
  char init_failure[96] = "";     // why Initialise last failed
  int home_refusal_reported = 0;  // a home path too long has been reported
  uint32_t host_report = 0;       // the 30000 ms host report; 0 = due at once
  unsigned memory_failures_told = 0;  // failed requests for memory the player knows of
  // How often the main work and the event walk have run (for diagnostics).
  uint32_t main_work_runs = 0;
  uint32_t event_walks = 0;

  // Test seam for the fault guard: called inside the guarded cycle, at the
  // start of the cycle's work and before each event handler.
  void (*fault_injection)(FaultPlace place) = nullptr;
};

// The state inside the one module-wide state object (defined in
// core/client_state.cpp); reached through a constant pointer, so the
// accessor costs no call.
extern CoreState* const g_core_state;
inline CoreState& Core() { return *g_core_state; }
