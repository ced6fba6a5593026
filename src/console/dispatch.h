// The one entry for console lines: from the player, from configuration files
// and from the game server.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

struct DispatchState {
  uint32_t forward_window_start = 0;  // "tg_ypg_" lines: at most 2 per 2000 ms
  int forward_count = 0;
  uint32_t netstat_time = 0;          // time of the last TG_NETSTAT report
  int netstat_started = 0;
};

// Handles one console line, which is modified in place. depth counts nested
// configuration files; report_unknown 1 prints "Unknown Command/Setting: %s"
// for an unrecognised line (0 for lines from the game server).
void DispatchLine(HostInterface* host, int32_t length, char* line, int depth, int report_unknown);

// Command completion on a text buffer of TG_QUERY_BUFFER_SIZE bytes, which
// may be extended in place (at most 255 characters). Gives 0.
int CompleteCommand(char* text);

// "Tallyguard Client (v1.276 | A<agent>) Enabled" (or "**DISABLED**").
void PrintVersionLine();
