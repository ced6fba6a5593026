// The one entry for console lines: from the player, from configuration files
// and from the game server. The commands, the further words and the settings
// are tried in a fixed order; the same tables drive command completion.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

// Handles one console line, which is modified in place. depth counts nested
// configuration files; report_unknown 1 prints "Unknown Command/Setting: %s"
// for an unrecognised line (0 for lines from the game server).
void DispatchLine(HostInterface* host, int32_t length, char* line, int depth, int report_unknown, uint32_t now);

// Command completion on a text buffer of TG_QUERY_BUFFER_SIZE bytes, which
// may be extended in place (at most 255 characters). Gives 0.
int CompleteCommand(char* text);

// 1 once after a command asked for the next cycle to run at once (as
// tg_GetSs does, so that its screenshot is not kept waiting).
int TakeCycleRequest();
