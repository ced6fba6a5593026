// Warnings for the player: shown behind the prefix "*WARNING*" and, when
// asked, on the game's screen too.
#pragma once

#include "tallyguard/host_interface.h"

namespace protocol {

// Prints text behind the prefix "*WARNING*" (the record's prefix is put back
// afterwards) and, with on_screen 1, shows it through the host's
// game-command operation too.
void ShowWarning(HostInterface* host, const char* text, int on_screen);

}  // namespace protocol
