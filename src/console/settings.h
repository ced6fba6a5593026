// Showing and changing settings from a console line ("tg_Sleep 100",
// "tg_MsgPrefix \"[TG]\""), by the rows of the setting table.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

namespace console {

// Tries every setting word, in matching order, on a trimmed console line.
// A line names a setting when it starts with the name (any letter case)
// followed by its end or a blank. On a match the setting is updated from the
// rest of the line (an empty value only shows it), shown, and its action
// runs; gives 1. Gives 0 when no word matched (the line is then untouched).
int ApplySettingLine(HostInterface* host, char* line, uint32_t now);

}  // namespace console
