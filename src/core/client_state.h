// The one module-wide state object. Constructed when the library loads,
// torn down when it unloads; it owns every subsystem's state.
#pragma once

#include <cstdint>

#include "console/dispatch.h"
#include "console/reg_names.h"
#include "console/settings.h"
#include "core/event_queue.h"
#include "core/integrity.h"
#include "master/exchange.h"
#include "master/modules.h"
#include "master/update.h"
#include "platform/platform.h"
#include "protocol/connection.h"
#include "protocol/framing.h"
#include "protocol/rules.h"
#include "screenshot/delivery.h"
#include "tallyguard/host_interface.h"

const int kHomePathBufferSize = 512;

enum class FaultPlace { kCycle, kEventHandler };

struct CycleTimers {
  uint32_t cache_request = 0;  // 30000 ms period
  uint32_t host_report = 0;    // 30000 ms period; 0 = due at once
};

struct ClientState {
  int initialised = 0;
  int enabled = 0;
  int halted = 0;
  uint32_t halt_deadline = 0;  // 0 = not armed
  HostInterface* host = nullptr;  // the remembered interface
  uint32_t last_cycle_time = 0;   // 0 = the next cycle runs at once
  int phase = 0;
  uint32_t watch_calls = 0;  // connection-watch calls since initialisation
  int connected = 0;
  int enabled_snapshot = 0;  // enabled flag as the current ca call began
  int game_version_shown = 0;
  PlatformSystemFacts facts = {};
  char start_dir[256] = "";
  char home_dir[256] = "";
  char pending_deletion[255] = "";
  char guid[33] = "";  // the player's GUID text
  const void* second_table = nullptr;  // the host's second table, when valid
  char init_failure[96] = "";           // why Initialise last failed
  char home_path_buffer[kHomePathBufferSize] = "";
  CycleTimers timers;
  // How often the main work and the event walk have run (for diagnostics).
  uint32_t main_work_runs = 0;
  uint32_t event_walks = 0;

  // Test seam for the fault guard: called inside the guarded cycle, at the
  // start of the cycle's work and before each event handler.
  void (*fault_injection)(FaultPlace place) = nullptr;

  EventQueue events;
  Settings settings;
  RegisteredNames registered_names;
  DispatchState dispatch;
  FramingState framing;
  ConnectionState connection;
  RuleState rules;
  ScreenshotState screenshots;
  UpdateTransfer update;
  MasterState master;
  AgentState agent;
  IntegrityState integrity;
};

ClientState& Client();

// Tears the state down and builds it anew, as an unload and reload would.
// For tests.
void ResetClientState();
