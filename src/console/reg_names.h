// The player's registered names: kept in a file in the home directory
// (optionally scrambled with tg_RegNamePw) and sent to the game server as
// match text, password digest and kind. Plain passwords never leave the machine.
//
// File: a header ("TG_REGNAMES\r\n\x1A", or the 32-digit MD5 of the password
// when one is set), then one line "\"match\" \"password\" Full|Partial\r\n"
// per name. With a password every byte of the file is XORed with the
// password character at (position mod password length).
//
// List ('R' payload): "R" and, per name, "\"match\" \"digest\" kind ".
#pragma once

#include <cstdint>

#include "channel/framing.h"
#include "tallyguard/host_interface.h"

namespace console {

// Adds a registration (the commands) and saves the file.
void AddRegisteredName(HostInterface* host, const char* match, const char* password, const char* kind, uint32_t now);
void DeleteRegisteredName(HostInterface* host, int32_t slot, uint32_t now);
void ListRegisteredNames();
// Writes the names file (home directory + tg_RegNameFn), then sends the list.
// The file is written only while the table holds what it held (it was read
// with the key of the time, or there was none); otherwise it keeps its names
// and the player is told.
void SaveRegisteredNames(HostInterface* host, uint32_t now);
// tg_RegNamePw was set: a file the old key could not read is first loaded
// with the new one; then the table is saved with it.
void SaveNamesWithNewKey(HostInterface* host, uint32_t now);
// Loads the names file; with clear the table is emptied first.
void LoadRegisteredNames(HostInterface* host, int clear);
// Loads the names again and imports "regname1.dat" (on each new game server).
void ReloadRegisteredNames(HostInterface* host, uint32_t now);
// The registered-name list ('R' payload) for the game server, sent at once;
// none while no name is registered.
[[nodiscard]] Reply RegisteredNamesReply();

}  // namespace console
