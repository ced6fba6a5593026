#include "screenshot/capture.h"

// Screenshots are not taken yet: no glyphs to prepare and no device to open.
void PrepareGlyphMasks() {}
void PrepareCaptureDevice(HostInterface*) {}
