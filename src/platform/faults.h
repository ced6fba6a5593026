// The test seams that fail file and socket operations, shared by both
// systems' implementations.
#pragma once

#include <cstdio>

#include "platform/platform.h"

// True when the test seam wants this operation on path to fail.
bool FileFaultWanted(PlatformFileOperation operation, const char* path);

// For an open or creation for writing: the file, or, when the seam wants
// writes to path to fail, the same file opened for reading only (at
// system_path), so that every write to it fails.
FILE* MaybeUnwritable(FILE* file, const char* path, const char* system_path);

// True when an fopen mode writes or appends.
bool WritesTo(const char* mode);

// True when the test seam wants this socket operation to fail.
bool SocketFaultWanted(PlatformSocketOperation operation);
