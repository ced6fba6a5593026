// Update packages that the game server announces ('G') and streams ('H').
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

namespace master {

// A transfer announcement: "<size> <digest> <file>". Drops any transfer in
// progress, then starts one when the digest has 32 characters, the size is
// 1 to kMaxUpdateSize and the file is a plain name ending in "htm" (it is
// kept inside "htm\").
void AnnounceUpdate(char* argument, uint32_t now);
// Update data ('H' payloads): a 16-bit big-endian chunk index, then up to
// 1024 bytes. Chunks are stored in order; a gap asks the server to resend
// from the first missing one (at most every 3000 ms); a chunk while no
// download is in progress says so once ("-1"). The last chunk completes
// the download: written under its name in "htm\", or to "crptfile.dat"
// when its MD5 is not the announced one.
void HandleUpdateData(HostInterface* host, const uint8_t* argument, int32_t length, uint32_t now);

// Unpacks the package at package_path (records "<p>" inside a text or HTML
// file: the header "S packed unpacked digestA digestB", then the packed
// module as upper-case hexadecimal) into target_path. With expected_size
// above 0 the unpacked size must be it; with expected digests (MD5 of the
// whole module, then of the module without its first byte) they must
// match. Gives nullptr or the error text; on an error nothing is written.
const char* InstallPackage(const char* package_path, const char* target_path, uint32_t expected_size,
                           const uint8_t (*expected_digests)[16]);
// 1 while a transfer is in progress and the server spoke of it less than
// 20000 ms ago; a transfer silent for longer is dropped (and gives 0).
int UpdateTransferActive(uint32_t now);
// Frees the buffer of a transfer in progress and forgets its name.
void DropUpdateTransfer();

}  // namespace master
