// The operating-system seam. This header is the only place the rest of the
// module learns about the system; platform/win32 and platform/posix each
// implement it once, and the build picks one.
#pragma once

#include <cstdint>
#include <cstdio>

// ---- time -----------------------------------------------------------------

// The 32-bit millisecond tick (GetTickCount; CLOCK_MONOTONIC on POSIX). Every
// timer of the module reads this and nothing else.
uint32_t PlatformTick();

struct PlatformLocalTime {
  int year;   // four digits
  int month;  // 1 to 12
  int day;    // 1 to 31
  int hour;   // 0 to 23
  int minute;
  int second;
};
void PlatformGetLocalTime(PlatformLocalTime* out);
// Seconds since 1970 (the C library's time()).
int64_t PlatformCalendarTime();

// Test seams: replace the tick and the local time. nullptr restores the
// system's own source.
void PlatformSetTickSource(uint32_t (*source)());
void PlatformSetLocalTimeSource(void (*source)(PlatformLocalTime* out));

// ---- files and folders ----------------------------------------------------
// Paths use "\" as the separator, as on Windows; the POSIX layer maps it to "/".

// Writes the working directory (at most size - 1 characters). 1 on success.
int PlatformWorkingDirectory(char* buffer, int size);
// 1 when the directory was created, 0 otherwise (it may already exist).
int PlatformCreateDirectory(const char* path);
// 1 when the file was deleted.
int PlatformDeleteFile(const char* path);
// 1 when the read-only attribute is cleared (or there was none).
int PlatformClearReadOnly(const char* path);
// Puts the file from in place of the file to (replacing it when it exists)
// in one step, so that to is either the old file or the new one. 1 on success.
int PlatformReplaceFile(const char* from, const char* to);
// Test seam: when set, asked before each operation on a file (path as the
// module names it); true makes it fail as a full disk or a refused
// permission would. An open for writing or appending, or a creation, gives no
// file; kFileWrite gives a file whose every write fails; a replace or a
// delete leaves everything as it was and gives 0. Reading never fails.
enum PlatformFileOperation { kFileOpen, kFileCreate, kFileWrite, kFileReplace, kFileDelete };
typedef bool (*PlatformFileFaultHook)(PlatformFileOperation operation, const char* path);
void PlatformSetFileFaultHook(PlatformFileFaultHook hook);

// 1 when a file (or folder) of that name exists.
int PlatformFileExists(const char* path);
// What tells whether a file changed without reading it: its size and its
// last write time (in the system's own units). 0 when there is no file.
struct PlatformFileStamp {
  int64_t size;
  int64_t modified;
};
int PlatformGetFileStamp(const char* path, PlatformFileStamp* stamp);
// The C library's fopen on the mapped path.
FILE* PlatformOpenFile(const char* path, const char* mode);
// Creates a new file for binary writing: fails when anything of that name
// exists already (a file, a folder, a link, which is never followed).
FILE* PlatformCreateNewFile(const char* path);

// ---- process facts --------------------------------------------------------

struct PlatformSystemFacts {
  uint32_t process_id;
  uint32_t thread_id;
  uint32_t page_size;
  uintptr_t lowest_address;
  uintptr_t highest_address;
  uint32_t allocation_granularity;
};
void PlatformGetSystemFacts(PlatformSystemFacts* out);

// ---- dynamic libraries ----------------------------------------------------

void* PlatformLoadLibrary(const char* path);               // none on failure
void* PlatformFindEntry(void* library, const char* name);  // none when missing
void PlatformFreeLibrary(void* library);

// ---- UDP sockets ---------------------------------------------------------
// Non-blocking IPv4 datagram sockets. Addresses are dotted-quad texts.

typedef intptr_t PlatformSocket;
const PlatformSocket kNoSocket = -1;

// Opens a non-blocking socket bound to port (0: any free port), on the
// loopback address only when loopback_only is set. kNoSocket on failure.
PlatformSocket PlatformUdpOpen(uint16_t port, int loopback_only);
void PlatformUdpClose(PlatformSocket socket);
// The port the socket is bound to, 0 when unknown.
uint16_t PlatformUdpLocalPort(PlatformSocket socket);
// Sends one datagram. 1 when it was handed to the system.
int PlatformUdpSend(PlatformSocket socket, const char* address, uint16_t port, const void* data, int length);
// Takes one waiting datagram: its length, or -1 when none is waiting. The
// sender's address (16 bytes) and port are written when asked for.
int PlatformUdpReceive(PlatformSocket socket, void* buffer, int size, char* from_address, uint16_t* from_port);

// Test seam: when set, asked before each receive, send and bind; true makes
// it fail as the system can: a receive reports an error (as Windows does on
// UDP after a port was unreachable) and takes nothing, a send hands over
// nothing, a bind is refused.
enum PlatformSocketOperation { kSocketReceive, kSocketSend, kSocketBind };
typedef bool (*PlatformSocketFaultHook)(PlatformSocketOperation operation);
void PlatformSetSocketFaultHook(PlatformSocketFaultHook hook);

// The module's own socket: non-blocking, with SO_REUSEADDR set, not bound
// yet. kNoSocket when the system gives none.
PlatformSocket PlatformUdpCreate();
// Binds it to port on every local address. 1 on success.
int PlatformUdpBind(PlatformSocket socket, uint16_t port);

// The one name lookup of a start, which never blocks: PlatformLookupStart
// begins it and a later PlatformLookupPoll takes the answer. A dotted
// address answers at once; an empty name, one in the reserved ".invalid"
// domain (which never resolves) and one the system cannot start looking up
// fail at once; any other name goes to the system's asynchronous lookup
// (getaddrinfo_a on Linux; WSAAsyncGetHostByName to a message-only window
// on Windows, the window polled for its one message) and is pending. One
// lookup at a time; a new start gives up the one before.
enum PlatformLookupResult { kLookupFailed = -1, kLookupPending = 0, kLookupAnswered = 1 };
// The first IPv4 address found is written as a dotted text into address (16
// bytes) with kLookupAnswered; address is empty otherwise.
int PlatformLookupStart(const char* name, char* address);
// While the lookup runs, kLookupPending; then its result, once (later polls
// and polls with no lookup give kLookupFailed).
int PlatformLookupPoll(char* address);
// Gives up a pending lookup: its answer is never written or taken, and
// what it holds is freed once (by the system's side when that still runs).
void PlatformLookupCancel();
// A stand-in for the system's lookup, for tests: start gives 1 when it has
// begun (0: fail at once), poll answers as PlatformLookupPoll does, cancel
// gives it up. Names reach it before the ".invalid" rule. nullptr: the
// system's again.
struct PlatformResolver {
  int (*start)(const char* name);
  int (*poll)(char* address);
  void (*cancel)();
};
void PlatformSetResolver(const PlatformResolver* resolver);
// Readies the system's sockets (Winsock's start-up; nothing on POSIX). 1
// when they can be used.
int PlatformStartSockets();

// ---- display: the primary surface and the game window -------------------
// On Windows DirectDraw (version-7 interface, normal cooperative level, the
// primary surface) and the GDI and window calls; on POSIX a stand-in display
// whose size, pixel format, palette, content and foreground state tests set.

struct PlatformSurface {
  uint8_t* pixels;          // the first byte of the locked surface
  int32_t pitch;            // bytes from one row to the next
  int32_t bits_per_pixel;
  int32_t width, height;    // in pixels
};

// Sets up the display object and its primary surface. 1 when ready.
int PlatformDisplayOpen();
// Releases the surface and the display object.
void PlatformDisplayClose();
// Locks the whole primary surface (waiting while it is busy). 1 on success.
int PlatformDisplayLock(PlatformSurface* surface);
void PlatformDisplayUnlock();
// Draws a solid line of colour 0xF9F9F9, one pixel wide, from (0, 0) to
// (2, 0) on the screen (the surface test of 32-bit surfaces).
void PlatformDisplayDrawTestLine();
// The 256 palette entries (red, green, blue, flags) of an 8-bit surface:
// the surface's own palette, or else the system palette. 1 when read.
int PlatformDisplayPalette(uint8_t entries[256][4]);

struct PlatformWindowFacts {
  int ours;            // the foreground window belongs to this process
  int show_state;      // its placement's show state (odd: shown, not minimised)
  int32_t left, top, right, bottom;  // its normal position
};
// Facts of the window that owns the foreground.
void PlatformForegroundWindow(PlatformWindowFacts* out);

// The stand-in display of the POSIX build, for tests; none on Windows.
// Until a test sets its content, it shows a painted scene (sky, sun, ground)
// on a 1024 x 768 window, so screenshots of the POSIX build show something.
struct PlatformStandInDisplay {
  int available = 1;          // the display object can be set up
  int content_set = 0;        // a test has set the pixels: no scene is painted
  int32_t width = 1024, height = 768, bits_per_pixel = 32;
  int32_t pitch = 0;          // 0: width times bytes per pixel
  int packed_32 = 0;          // a 32-bit surface whose pixels are 3 bytes apart
  uint8_t pixels[1 << 24];    // the surface's bytes (up to 2560 x 1440 at 32 bits)
  uint8_t palette[256][4] = {};
  PlatformWindowFacts window = {1, 1, 0, 0, 1024, 768};
};
PlatformStandInDisplay* PlatformTestDisplay();

// ---- fault guard ----------------------------------------------------------

// Runs body(context) with processor faults on this thread caught (access
// violations, illegal instructions, arithmetic faults). Gives 0 when body ran
// to its end and 1 when a fault ended it. The handlers exist only while body
// runs; faults on other threads are left to whoever handled them before.
// Not reentrant: body must not call PlatformRunGuarded.
int PlatformRunGuarded(void (*body)(void* context), void* context);

// For fuzzing: with the guard off (0), PlatformRunGuarded runs body with no
// handlers of its own, so that a fault reaches the sanitizer and the fuzzer
// records it as a crash instead of the module reporting it and going on.
void PlatformSetFaultGuard(int on);

// ---- for tools only (the module never sleeps) -----------------------------

void PlatformSleep(uint32_t milliseconds);
// The harness's game window: shown in front and painted with a scene (sky,
// sun, ground), so that screenshots through the real display have a game to
// show. Nothing on POSIX, whose stand-in display paints its own scene.
void PlatformOpenGameWindow(int width, int height);
// Handles the game window's messages; once per frame.
void PlatformPumpGameWindow();
// Reads width x height pixels of the game window from (x, y) of its client
// area into out as R, G, B, rows packed, bottom row first (the way a game
// reads its own frame). false when there is no game window to read.
int PlatformReadGameWindow(int32_t x, int32_t y, int32_t width, int32_t height, uint8_t* out);
// Takes what has arrived on standard input without waiting: the count of
// bytes copied into buffer (0 when nothing waits), or -1 once the input has
// ended and everything was taken.
int PlatformReadInput(char* buffer, int size);
