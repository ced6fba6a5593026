// The one entry for console lines: from the player, from configuration files
// and from the game server.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

// Handles one console line, which is modified in place. depth counts nested
// configuration files; report_unknown 1 prints "Unknown Command/Setting: %s"
// for an unrecognised line (0 for lines from the game server).
void DispatchLine(HostInterface* host, int32_t length, char* line, int depth, int report_unknown);

// Command completion on a text buffer that may be extended in place.
int CompleteCommand(char* text);

// "Tallyguard Client (v1.276 | A<agent>) Enabled" (or "**DISABLED**").
void PrintVersionLine();
