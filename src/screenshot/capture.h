// Screen capture.
#pragma once

#include "tallyguard/host_interface.h"

// Turns the built-in glyph tables into masks, once at initialisation.
void PrepareGlyphMasks();
// Prepares the capture device and palette ahead of the first screenshot.
void PrepareCaptureDevice(HostInterface* host);
