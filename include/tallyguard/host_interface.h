/*
 * Tallyguard client module: the contract between a game (the host) and the
 * module wc000000.dll (Windows, 32-bit) or wc000000.so (Linux, 64-bit).
 *
 * This header is plain C (C89 and later, C++ too) and is all a game needs.
 *
 * OVERVIEW
 *
 *   The game loads the module, fills one HostInterface record, keeps it
 *   alive and unmoved for the module's whole life, and drives the module
 *   through the two exports:
 *
 *     ca(record, budget)                        periodic work, once per frame
 *     cb(record, code, length, data, retries)   events and short requests
 *
 *   1. Load the library and bind "ca" and "cb" (TG_BIND_EXPORT below).
 *   2. Zero a HostInterface, set magic to TG_HOST_MAGIC and fill the host
 *      services (host_keyword ... host_screen_info).
 *   3. Call ca(record, budget) once per frame. The module initialises on the
 *      first call after the console variable cl_tallyguard is "1" (the
 *      player switches it on with the console command tg_cl_Enable).
 *   4. Hand console lines for the module to cb(record, TG_EVENT_CONSOLE_LINE,
 *      ...) and packets from the game server to cb(record,
 *      TG_EVENT_SERVER_PACKET, ...).
 *   5. Carry the frames the module hands to host_send to the game server.
 *
 * THREADS
 *
 *   Both exports run on the caller's thread, do their work and return; they
 *   never block. The game must not call them from two threads at once, and
 *   no service may call ca or cb (the module is not reentrant). The module
 *   starts no thread and takes no lock.
 *
 * MEMORY
 *
 *   The record belongs to the game. Texts and bytes passed to the module are
 *   read during the call only (the module copies what it keeps). Texts the
 *   module hands out (results of cb, arguments of services) stay valid only
 *   until the next call of either export or the service's return; copy what
 *   you need.
 *
 * CODES
 *
 *   Every code below is a fixed number of the contract. Codes are only ever
 *   added; a value never changes meaning and is never reused. Codes marked
 *   reserved exist on purpose: the module answers or sends them as stated,
 *   and a game must not give them another meaning.
 *
 * LAYOUT
 *
 *   On 32-bit targets every offset of HostInterface is fixed and checked at
 *   compile time below, so a game built with any compiler agrees with the
 *   DLL byte for byte. The Linux build is 64-bit: the same declaration then
 *   has natural pointer width and binds only hosts built for that target.
 *
 * LINKAGE
 *
 *   Games normally load the module at run time and include this header
 *   without defining anything. TG_BUILD_MODULE is defined only when the
 *   module itself is built; it makes the prototypes of ca and cb exports.
 *   Otherwise they are declared as imports (dllimport on Windows), so a game
 *   that includes the header never declares them as its own. A game that
 *   has functions named ca or cb of its own defines TG_NO_EXPORT_PROTOTYPES
 *   and uses TgCaFunction and TgCbFunction only. TG_STATIC_MODULE declares
 *   them plainly, for programs linked with the module's code itself (the
 *   module's own tests).
 */
#ifndef TALLYGUARD_HOST_INTERFACE_H
#define TALLYGUARD_HOST_INTERFACE_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#if defined(_WIN32) && !defined(_WIN64)
#define TG_CALL __cdecl
#else
#define TG_CALL
#endif

#if defined(TG_STATIC_MODULE)
#define TG_API
#elif defined(TG_BUILD_MODULE)
#if defined(_WIN32)
#define TG_API __declspec(dllexport)
#else
#define TG_API __attribute__((visibility("default")))
#endif
#elif defined(_WIN32)
#define TG_API __declspec(dllimport)
#else
#define TG_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- constants --------------------------------------------------------- */

/* Value the game stores in HostInterface.magic. Initialisation fails with
 * TG_ERROR_INIT while the magic is wrong (and is tried again each call). */
#define TG_HOST_MAGIC 0x264B8BABu

/* First 32-bit word of the optional second host table (see second_table). */
#define TG_SECOND_TABLE_MAGIC 0x357AFE20u
/* Byte offset, inside the second host table, of the game-command operation
 * (a TgGameCommand). */
#define TG_SECOND_TABLE_GAME_COMMAND 316

/* What the game answers to query TG_QUERY_SERVER_ADDRESS while the player is
 * not connected to a game server (compared without regard to case). An empty
 * answer counts as "not connected" too. */
#define TG_NO_SERVER_ADDRESS "nil"

/* The game's console variable whose value is the player's GUID text (at most
 * 32 characters are used). The module reads it through TG_QUERY_CVAR from
 * its fourth ca call on, until it gets a non-empty value. */
#define TG_GUID_CVAR "cl_guid"

/* Text results of the exports (addresses of these texts inside the module). */
#define TG_ERROR_INIT "TG ERROR: Client Failed to Initialize"
#define TG_ERROR_OVERFLOW "TG ERROR: Event Overflow"

/* What cb(TG_CODE_VERSION) answers. */
#define TG_MODULE_VERSION 1276

/* The module version this header describes. A game may compare it with what
 * the loaded module answers to cb(TG_CODE_VERSION), as zlib's users compare
 * ZLIB_VERSION with zlibVersion(): the record's layout never changes, but a
 * newer module may know codes that an older header does not name. */
#define TG_HEADER_VERSION TG_MODULE_VERSION

/* Size in bytes of every query buffer and of the completion buffer. */
#define TG_QUERY_BUFFER_SIZE 256

/* Size in bytes the game's connection-request buffer must have at least when
 * it calls annotate_connect. */
#define TG_CONNECT_BUFFER_SIZE 1100

/* ---- cb event codes ---------------------------------------------------- */

/*
 * Codes 16 and below are host events: cb copies the data and queues the
 * event (at most 256 wait) and returns at once; ca handles it later. cb then
 * gives 0, or the address of TG_ERROR_OVERFLOW when the queue is full (the
 * event is dropped), or the address of TG_ERROR_INIT when initialisation
 * failed (the event is dropped). Every queued event first gives the module a
 * chance to initialise.
 *
 * retries: how often a queued event may be offered again when the module
 * cannot take it yet (a server packet while the module is still disabled or
 * has not told the server its ident). 2 is a good value for packets.
 *
 * Codes 17 and above are answered at once, without initialising and without
 * remembering the record: they use the record of the latest ca call or
 * queued event, and before the first such call codes 51, 113, 117 and 118
 * do nothing. Unlisted codes up to 121 and every code above 121 give 0.
 *
 * Results are either a number or the address of a NUL-terminated text, fixed
 * per code as listed.
 */
enum TgEventCode {
  /* 0 to 12 and negative codes: reserved; queued, never handled, dropped
   * once their retries are spent. */
  TG_EVENT_SERVER_PACKET = 13, /* data: the bytes the game received for the
                                  module from the game server, length: their
                                  count; result: number (0) or error text */
  TG_EVENT_CONSOLE_LINE = 14,  /* data: one console line (NUL-terminated),
                                  length: its length; the next ca runs a
                                  full cycle at once; result as above */
  TG_EVENT_IGNORED_15 = 15,    /* reserved: queued and dropped unhandled */
  TG_EVENT_IGNORED_16 = 16,    /* reserved: queued and dropped unhandled */
  TG_EVENT_LAST_QUEUED = 16,
  TG_CODE_VERSION = 17,        /* result: number, TG_MODULE_VERSION */
  TG_CODE_KEY = 18,            /* data: text of five blank-separated words,
                                  words 2 to 5 the key parameters; result:
                                  text, the channel key derived from them */
  TG_CODE_FIXED_19 = 19,       /* result: number, 90000 */
  TG_CODE_FIXED_20 = 20,       /* result: number, 90000 */
  TG_CODE_FIXED_21 = 21,       /* result: number, 90000 */
  TG_CODE_FIXED_22 = 22,       /* result: number, 4 */
  TG_CODE_CONSTANT_1 = 23,     /* result: address of a 32-bit constant */
  TG_CODE_CONSTANT_2 = 24,     /* result: address of a 32-bit constant */
  TG_CODE_COMPLETE = 51,       /* data: a text buffer of TG_QUERY_BUFFER_SIZE
                                  bytes holding what the player typed; when
                                  one command or setting matches it is
                                  completed in place (plus a blank), several
                                  matches are printed; result: number 0, or
                                  an empty text before any record is known */
  TG_CODE_ENABLED = 113,       /* result: number, 1 when the module is
                                  enabled and cl_tallyguard is "1", else 0 */
  TG_CODE_ENABLE = 117,        /* sets cl_tallyguard to "1" and enables the
                                  module now; result: number 0 */
  TG_CODE_DISABLE = 118,       /* sets cl_tallyguard to "0": the module is
                                  off from the next load; result: number 0 */
  TG_CODE_RUNNING = 119,       /* result: number, 0 when enabled, else -2 */
  TG_CODE_STATUS = 121         /* result: number, 0 or 1 (the service's own
                                  checks) */
};

/* ---- query codes ------------------------------------------------------- */

/*
 * host_query(code, buffer): buffer always holds TG_QUERY_BUFFER_SIZE bytes;
 * the game reads the text in it (when the code takes one), writes its answer
 * into it (NUL-terminated, at most 255 characters) and returns the result.
 * What each code means, and what a game without that feature answers:
 *
 *  code  buffer in -> out                   result              without the feature
 *  103   cvar name -> its value             0 found, else 1     1 (empty buffer)
 *  104   a name -> a text (screenshots ask  ignored             0, empty buffer
 *        "name" and "mapname")
 *  105   - -> "host:port" of the game       ignored             "nil"
 *        server, or TG_NO_SERVER_ADDRESS
 *  106   "%d %s" start index, text ->       0 found, else 1     1 (not found)
 *        index of the next key binding at
 *        or after start whose command
 *        contains the text (decimal)
 *  107   key index -> its binding command   0 given, else 1     1
 *  108   key index -> the key's name        0 given, else 1     1
 *  109   pattern -> next cvar name that     0 given, else 1     1, empty buffer
 *        contains it (the game keeps the
 *        position and starts again after
 *        answering 1)
 *  110   - -> flags of the next cvar        address of its      0 (none)
 *        (decimal; 0x80 = created by the    name, 0 at the end
 *        player)
 *  111   - -> value of the next cvar that   address of its      0 (none)
 *        differs from its default           name, 0 at the end
 *  112   - -> a text                        a number            0, empty buffer
 *  113   a text -> a text                   a number            0, empty buffer
 *  115   - -> a text; something to report   non-zero with a     0, empty buffer
 *                                           text: report
 *  118   entry number (decimal) -> entry    ignored             leave the buffer
 *        line "name value number"; past                         as it is (the
 *        the end leave the number, or                           number ends the
 *        answer an empty line                                   list)
 *
 * Any other code (114, 116, 117 and codes a later module may add): empty the
 * buffer and return 0. Never answer 0 ("found") to 106 without writing an
 * index: the module walks the bindings from what the buffer says.
 * Enumerations (109 to 111) are walked to their end in one ca call; the
 * module stops after 4096 steps. Names returned by address (110, 111) must
 * stay valid until the next query.
 */
enum TgQueryCode {
  TG_QUERY_CVAR = 103,
  TG_QUERY_NAMED_TEXT = 104,
  TG_QUERY_SERVER_ADDRESS = 105,
  TG_QUERY_BIND_FIND = 106,
  TG_QUERY_BIND_TEXT = 107,
  TG_QUERY_KEY_NAME = 108,
  TG_QUERY_CVAR_SEARCH = 109,
  TG_QUERY_USER_CVAR = 110,
  TG_QUERY_CHANGED_CVAR = 111,
  TG_QUERY_HOST_112 = 112,
  TG_QUERY_HOST_113 = 113,
  TG_QUERY_REPORT = 115,
  TG_QUERY_RESOURCE = 118
};

/* ---- host services (filled in by the game) ----------------------------- */

/* Runs a named service with one text argument. Names the module uses:
 * "set_cl_tallyguard" ("1" or "0": set the console variable cl_tallyguard),
 * "Cmd_Exec" (run the argument as a console command of the game). Unknown
 * names: do nothing. */
typedef void(TG_CALL *TgHostKeyword)(const char *service, const char *argument);

/* Answers a query (see the query codes). The result is pointer-sized
 * because codes 110 and 111 answer with the address of a name. */
typedef intptr_t(TG_CALL *TgHostQuery)(int32_t code, char *buffer);

/* Shows one line of the module on the game console. text is data to show,
 * never a format: print it as it is (it may hold "%"). Put the record's
 * message_prefix in front of it (by default "[skipnotify]Tallyguard
 * Client"; a leading "[skipnotify]" asks the game to keep the line out of
 * its on-screen notices and is not shown) and end the line yourself: text
 * carries no newline. The second argument is always 1. */
typedef void(TG_CALL *TgHostPrint)(const char *text, int32_t one);

/* Sends one frame (length bytes) to the game server over the game's own
 * connection, as the module's data. */
typedef void(TG_CALL *TgHostSend)(int32_t length, const void *frame);

/* Sends length bytes out of band (connectionless) to address:port. */
typedef void(TG_CALL *TgHostSendOutOfBand)(const char *address, int32_t port, int32_t length, const void *data);

/* Screen facts for screenshots, used when the module cannot read the screen
 * itself (five failed attempts in a row); see the screen codes below.
 * Unknown codes: 0. Must be present; a game without pixels of its own
 * answers 0 to TG_SCREEN_HAS_PIXELS. Addresses travel as 32-bit values, so
 * only 32-bit games can offer pixels. */
typedef int32_t(TG_CALL *TgHostScreenInfo)(int32_t code, int32_t value);

/* The codes of host_screen_info, in the order the module asks them. */
enum TgScreenCode {
  TG_SCREEN_HAS_PIXELS = 0x68, /* 104: non-zero when the game can deliver pixels */
  TG_SCREEN_WIDTH = 0x66,      /* 102: the screen's width in pixels */
  TG_SCREEN_HEIGHT = 0x67,     /* 103: the screen's height in pixels */
  TG_SCREEN_BUFFER = 0x69,     /* 105: value = the address of the module's pixel
                                  buffer; the answer is handed back to the
                                  pixel routine as its last word */
  TG_SCREEN_READ_PIXELS = 0x65 /* 101: the address of the game's
                                  TgHostReadPixels routine */
};

/* The game's pixel routine (TG_SCREEN_READ_PIXELS): fills the buffer given
 * through TG_SCREEN_BUFFER with width x height pixels of 3 bytes (R, G, B),
 * rows packed, bottom row first, from the screen area whose top-left corner
 * is (x, y). */
typedef void(TG_CALL *TgHostReadPixels)(int32_t x, int32_t y, int32_t width, int32_t height, int32_t value);

/* ---- operations the module installs (called by the game) --------------- */

/* The 32 upper-case hexadecimal digits of the MD5 of length bytes at data
 * (with seed 0 plain RFC 1321 MD5). The text stays valid until the next
 * call. */
typedef const char *(TG_CALL *TgDigestHex)(const void *data, int32_t length, uint32_t seed);

/* Called while the game builds its connection request (kind 2): may append
 * " *<GUID>" at buffer + *length (the buffer holds TG_CONNECT_BUFFER_SIZE
 * bytes) and add to *length. Result: none, or an error text (the request
 * would grow past 1099 bytes; nothing was appended). */
typedef const char *(TG_CALL *TgAnnotateConnect)(int32_t ignored, int32_t kind, char *buffer, int32_t *length);

/* Reserved module slots: the second gives 0, the third does nothing. */
typedef int32_t(TG_CALL *TgModuleSlot2)(int32_t a, int32_t b);
typedef void(TG_CALL *TgModuleSlot3)(void);

/* Game-command operation at TG_SECOND_TABLE_GAME_COMMAND of the second
 * table: runs line (for instance "exec server.cfg") under keyword. */
typedef void(TG_CALL *TgGameCommand)(const char *keyword, const char *line);

/* ---- the record -------------------------------------------------------- */

typedef struct HostInterface {
  uint32_t magic;                       /*   0 game: TG_HOST_MAGIC */
  TgDigestHex digest_hex;               /*   4 module, at initialisation */
  uint8_t reserved_8[4];                /*   8 reserved */
  void *agent_handle;                   /*  12 module: the agent module */
  int32_t new_client_ready;             /*  16 module: 1 when a newer client
                                               module waits to be loaded in
                                               place of this one */
  char guid[33];                        /*  20 module: the GUID the game
                                               server assigned (its hello) */
  char message_prefix[32];              /*  53 module: put before each line
                                               (see TgHostPrint) */
  char home_path[256];                  /*  85 game or module: the module's
                                               folder, ending in "\". A game
                                               may preset it before the first
                                               call; when empty the module
                                               uses <fs_homepath>\tg\ */
  uint8_t reserved_341[19];             /* 341 reserved */
  int32_t key_a, key_b, key_c, key_d;   /* 360 module: from the server hello */
  TgHostKeyword host_keyword;           /* 376 game */
  TgHostQuery host_query;               /* 380 game */
  TgHostPrint host_print;               /* 384 game */
  TgHostSend host_send;                 /* 388 game */
  uint8_t reserved_392[8];              /* 392 reserved */
  TgHostSendOutOfBand host_send_oob;    /* 400 game */
  TgHostScreenInfo host_screen_info;    /* 404 game, must be present */
  TgAnnotateConnect annotate_connect;   /* 408 module, at the first call */
  TgModuleSlot2 module_slot2;           /* 412 module, at the first call */
  TgModuleSlot3 module_slot3;           /* 416 module, at the first call */
  const void *second_table;             /* 420 game: optional table whose
                                               first word is
                                               TG_SECOND_TABLE_MAGIC */
} HostInterface;

/* The same record under the header's prefix, for code that keeps every name
 * it takes from this header under Tg/TG_. */
typedef HostInterface TgHostInterface;

/* ---- the exports ------------------------------------------------------- */

/*
 * ca(record, budget_ms): periodic work. Call it once per frame.
 *   budget_ms > 0   run the cycle, spending at most that many ms on queued
 *                   events (the rest wait for a later call);
 *   budget_ms = 0   run the cycle with no limit on queued events;
 *   budget_ms < 0   handle only the most recently queued event, nothing
 *                   else (no initialisation, no cycle).
 * The cycle itself runs at most once per tg_Sleep ms (60 by default); calls
 * in between only watch the server address, at a cost of well under a
 * microsecond. Result: number 0, or the address of TG_ERROR_INIT while
 * initialisation fails.
 *
 * cb(record, code, length, data, retries): events and requests; see the
 * event codes above for data, length and the result of each code. data may
 * be none (then nothing is copied); a negative length counts as 0.
 */
#if !defined(TG_NO_EXPORT_PROTOTYPES)
TG_API intptr_t TG_CALL ca(HostInterface *host, int32_t budget_ms);
TG_API intptr_t TG_CALL cb(HostInterface *host, int32_t code, int32_t length, const void *data, int32_t retries);
#endif

typedef intptr_t(TG_CALL *TgCaFunction)(HostInterface *host, int32_t budget_ms);
typedef intptr_t(TG_CALL *TgCbFunction)(HostInterface *host, int32_t code, int32_t length, const void *data,
                                        int32_t retries);

/* Binds an export found by dlsym or GetProcAddress to a typed function
 * pointer without a cast (a function pointer and the looked-up address have
 * the same size on every target of the module):
 *
 *   TgCaFunction call_ca;
 *   void *address = dlsym(library, "ca");   (or GetProcAddress)
 *   TG_BIND_EXPORT(call_ca, address);
 */
#define TG_BIND_EXPORT(function, address) memcpy(&(function), &(address), sizeof(function))

#ifdef __cplusplus
}
#endif

/* ---- layout checks (32-bit targets) ------------------------------------ */

#if (defined(_WIN32) && !defined(_WIN64)) || (defined(__SIZEOF_POINTER__) && __SIZEOF_POINTER__ == 4)
/* A negative array size fails the build; this compiles as C89 as well. */
#define TG_LAYOUT_CHECK(name, condition) typedef char tg_layout_##name[(condition) ? 1 : -1]
TG_LAYOUT_CHECK(digest_hex, offsetof(HostInterface, digest_hex) == 4);
TG_LAYOUT_CHECK(agent_handle, offsetof(HostInterface, agent_handle) == 12);
TG_LAYOUT_CHECK(new_client_ready, offsetof(HostInterface, new_client_ready) == 16);
TG_LAYOUT_CHECK(guid, offsetof(HostInterface, guid) == 20);
TG_LAYOUT_CHECK(message_prefix, offsetof(HostInterface, message_prefix) == 53);
TG_LAYOUT_CHECK(home_path, offsetof(HostInterface, home_path) == 85);
TG_LAYOUT_CHECK(key_a, offsetof(HostInterface, key_a) == 360);
TG_LAYOUT_CHECK(key_d, offsetof(HostInterface, key_d) == 372);
TG_LAYOUT_CHECK(host_keyword, offsetof(HostInterface, host_keyword) == 376);
TG_LAYOUT_CHECK(host_query, offsetof(HostInterface, host_query) == 380);
TG_LAYOUT_CHECK(host_print, offsetof(HostInterface, host_print) == 384);
TG_LAYOUT_CHECK(host_send, offsetof(HostInterface, host_send) == 388);
TG_LAYOUT_CHECK(host_send_oob, offsetof(HostInterface, host_send_oob) == 400);
TG_LAYOUT_CHECK(host_screen_info, offsetof(HostInterface, host_screen_info) == 404);
TG_LAYOUT_CHECK(annotate_connect, offsetof(HostInterface, annotate_connect) == 408);
TG_LAYOUT_CHECK(module_slot2, offsetof(HostInterface, module_slot2) == 412);
TG_LAYOUT_CHECK(module_slot3, offsetof(HostInterface, module_slot3) == 416);
TG_LAYOUT_CHECK(second_table, offsetof(HostInterface, second_table) == 420);
TG_LAYOUT_CHECK(size, sizeof(HostInterface) == 424);
#undef TG_LAYOUT_CHECK
#endif

#endif /* TALLYGUARD_HOST_INTERFACE_H */
