// The server hello ('C' payload) and the start of the scrambled link.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

// The hello's words: kind and server version, the server's client and agent
// versions, the key parameters A to D and the GUID the server assigns.
void HandleServerHello(HostInterface* host, uint8_t* argument, uint32_t now);
// Derives the channel key, acknowledges the link and sends the registered
// names.
void StartLink(HostInterface* host, uint32_t now);
