// The one check for file names that reach the file system from outside the
// module (the console, the game server, a master). Such a name is joined to
// the home folder and must stay inside it.
#pragma once

// 1 when name may be joined to the home folder: not empty; no ".."; no
// absolute path ("\" or "/" first), drive letter or other ":" (which also
// names alternate data streams); no UNC or device path; no reserved device
// name (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, CONIN$, CONOUT$,
// CLOCK$, with or without an extension) as any part of the path; no control
// bytes. Folders inside the home folder ("sub\name") are allowed.
int IsSafeHomeName(const char* name);

// The same for a plain file name: no folder part either.
int IsPlainHomeName(const char* name);
