/*
 * Tallyguard client module: the contract between a game (the host) and the
 * module wc000000.dll / wc000000.so.
 *
 * The host loads the module, fills one HostInterface record, keeps it alive
 * and unmoved for the module's whole life, and drives the module through the
 * two exports:
 *
 *   ca(record, budget)                          periodic work, once per frame
 *   cb(record, code, length, data, retries)     events and short requests
 *
 * Both run on the host's thread and must never be called concurrently.
 * The module starts no thread and takes no lock.
 *
 * On 32-bit targets every offset below is fixed and checked at compile time,
 * so hosts built with any compiler agree with the DLL byte for byte.
 */
#ifndef TALLYGUARD_HOST_INTERFACE_H
#define TALLYGUARD_HOST_INTERFACE_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define TG_CALL __cdecl
#else
#define TG_CALL
#endif

#if defined(_WIN32)
#define TG_EXPORT __declspec(dllexport)
#else
#define TG_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Value the host stores in HostInterface.magic. */
#define TG_HOST_MAGIC 0x264B8BABu
/* First 32-bit word of the optional second host table. */
#define TG_SECOND_TABLE_MAGIC 0x357AFE20u
/* Byte offset, inside the second host table, of the game-command operation. */
#define TG_SECOND_TABLE_GAME_COMMAND 316

/* What the host answers to query TG_QUERY_SERVER_ADDRESS while the player is
 * not connected to a game server (compared without regard to case). An empty
 * answer counts as "not connected" too. */
#define TG_NO_SERVER_ADDRESS "nil"

/* The host console variable whose value is the player's GUID text (at most
 * 32 characters). The module reads it through TG_QUERY_CVAR from its fourth
 * ca call on, until it gets a non-empty value. */
#define TG_GUID_CVAR "cl_guid"

/* Text results of the exports. */
#define TG_ERROR_INIT "TG ERROR: Client Failed to Initialize"
#define TG_ERROR_OVERFLOW "TG ERROR: Event Overflow"

/* cb event codes. Codes 16 and below are host events that the module queues
 * and handles later inside ca; codes 17 to 121 are answered at once. */
enum TgEventCode {
  TG_EVENT_SERVER_PACKET = 13, /* data: bytes from the game server */
  TG_EVENT_CONSOLE_LINE = 14,  /* data: one console line for the module */
  TG_EVENT_IGNORED_15 = 15,
  TG_EVENT_IGNORED_16 = 16,
  TG_EVENT_LAST_QUEUED = 16,
  TG_CODE_VERSION = 17,        /* result: 1276 */
  TG_CODE_KEY = 18,            /* data: five words; result: channel key text */
  TG_CODE_FIXED_19 = 19,       /* result: 90000 (also 20 and 21) */
  TG_CODE_FIXED_22 = 22,       /* result: 4 */
  TG_CODE_CONSTANT_1 = 23,     /* result: address of a 32-bit constant */
  TG_CODE_CONSTANT_2 = 24,     /* result: address of a 32-bit constant */
  TG_CODE_COMPLETE = 51,       /* data: a text buffer of TG_QUERY_BUFFER_SIZE bytes,
                                  extended in place when one name completes it */
  TG_CODE_ENABLED = 113,       /* result: 1 when enabled and cl_tallyguard is 1 */
  TG_CODE_ENABLE = 117,        /* enables the module now */
  TG_CODE_DISABLE = 118,       /* disables the module at the next start */
  TG_CODE_RUNNING = 119,       /* result: 0 when running, -2 otherwise */
  TG_CODE_STATUS = 121         /* result: 0 or 1 */
};

#define TG_MODULE_VERSION 1276

/* HostQuery codes. The buffer always holds 256 bytes. */
enum TgQueryCode {
  TG_QUERY_CVAR = 103,           /* cvar name -> value; non-zero result = failure */
  TG_QUERY_NAMED_TEXT = 104,
  TG_QUERY_SERVER_ADDRESS = 105, /* -> "host:port" or TG_NO_SERVER_ADDRESS */
  TG_QUERY_BIND_FIND = 106,      /* "%d %s" -> index of next binding containing text; 0 = found */
  TG_QUERY_BIND_TEXT = 107,      /* key number -> binding; 0 = success */
  TG_QUERY_KEY_NAME = 108,       /* key number -> key name; 0 = success */
  TG_QUERY_CVAR_SEARCH = 109,    /* pattern -> next matching cvar name; 0 while found */
  TG_QUERY_USER_CVAR = 110,      /* -> flags of next user cvar; result: its name or 0 */
  TG_QUERY_CHANGED_CVAR = 111,   /* -> value of next changed cvar; result: its name or 0 */
  TG_QUERY_HOST_112 = 112,
  TG_QUERY_HOST_113 = 113,
  TG_QUERY_REPORT = 115,         /* -> a text; non-zero with text = something to report */
  TG_QUERY_RESOURCE = 118        /* entry number -> resource entry */
};

#define TG_QUERY_BUFFER_SIZE 256

/* Host services. */
typedef void(TG_CALL *TgHostKeyword)(const char *service, const char *argument);
/* Results of codes 110 and 111 are addresses, so the result is pointer-sized. */
typedef intptr_t(TG_CALL *TgHostQuery)(int32_t code, char *buffer256);
typedef void(TG_CALL *TgHostPrint)(const char *text, int32_t one);
typedef void(TG_CALL *TgHostSend)(int32_t length, const void *frame);
typedef void(TG_CALL *TgHostSendOutOfBand)(const char *address, int32_t port, int32_t length,
                                            const void *data);
typedef int32_t(TG_CALL *TgHostScreenInfo)(int32_t code, int32_t value);

/* Operations the module installs for the host. */
typedef const char *(TG_CALL *TgDigestHex)(const void *data, int32_t length, uint32_t seed);
/* Called while the host builds its connection request; may append to buffer
 * (at least 1100 bytes) and *length. Result: an error text, or none. */
typedef const char *(TG_CALL *TgAnnotateConnect)(int32_t ignored, int32_t kind, char *buffer,
                                                  int32_t *length);
typedef int32_t(TG_CALL *TgModuleSlot2)(int32_t a, int32_t b);
typedef void(TG_CALL *TgModuleSlot3)(void);

/* Game-command operation at TG_SECOND_TABLE_GAME_COMMAND of the second table. */
typedef void(TG_CALL *TgGameCommand)(const char *keyword, const char *line);

typedef struct HostInterface {
  uint32_t magic;                       /*   0 host: TG_HOST_MAGIC */
  TgDigestHex digest_hex;               /*   4 module */
  uint8_t reserved_8[4];                /*   8 */
  void *agent_handle;                   /*  12 module */
  int32_t new_client_ready;             /*  16 module */
  char guid[33];                        /*  20 module: the player's GUID */
  char message_prefix[32];              /*  53 module: put before each line */
  char home_path[256];                  /*  85 host or module: ends in "\" */
  uint8_t reserved_341[19];             /* 341 */
  int32_t key_a, key_b, key_c, key_d;   /* 360 module: from the server hello */
  TgHostKeyword host_keyword;           /* 376 host */
  TgHostQuery host_query;               /* 380 host */
  TgHostPrint host_print;               /* 384 host */
  TgHostSend host_send;                 /* 388 host */
  uint8_t reserved_392[8];              /* 392 */
  TgHostSendOutOfBand host_send_oob;    /* 400 host */
  TgHostScreenInfo host_screen_info;    /* 404 host, must be present */
  TgAnnotateConnect annotate_connect;   /* 408 module */
  TgModuleSlot2 module_slot2;           /* 412 module */
  TgModuleSlot3 module_slot3;           /* 416 module */
  const void *second_table;             /* 420 host: optional */
} HostInterface;

/* The exports. Results are a number or the address of a NUL-terminated text
 * that stays valid until the next call of either export. */
TG_EXPORT intptr_t TG_CALL ca(HostInterface *host, int32_t budget_ms);
TG_EXPORT intptr_t TG_CALL cb(HostInterface *host, int32_t code, int32_t length, const void *data,
                              int32_t retries);

typedef intptr_t(TG_CALL *TgCaFunction)(HostInterface *host, int32_t budget_ms);
typedef intptr_t(TG_CALL *TgCbFunction)(HostInterface *host, int32_t code, int32_t length,
                                        const void *data, int32_t retries);

#ifdef __cplusplus
}
#endif

#if (defined(_WIN32) && !defined(_WIN64)) || (defined(__SIZEOF_POINTER__) && __SIZEOF_POINTER__ == 4)
#ifdef __cplusplus
#define TG_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#define TG_STATIC_ASSERT(c, m) _Static_assert(c, m)
#endif
TG_STATIC_ASSERT(offsetof(HostInterface, digest_hex) == 4, "digest_hex");
TG_STATIC_ASSERT(offsetof(HostInterface, agent_handle) == 12, "agent_handle");
TG_STATIC_ASSERT(offsetof(HostInterface, new_client_ready) == 16, "new_client_ready");
TG_STATIC_ASSERT(offsetof(HostInterface, guid) == 20, "guid");
TG_STATIC_ASSERT(offsetof(HostInterface, message_prefix) == 53, "message_prefix");
TG_STATIC_ASSERT(offsetof(HostInterface, home_path) == 85, "home_path");
TG_STATIC_ASSERT(offsetof(HostInterface, key_a) == 360, "key_a");
TG_STATIC_ASSERT(offsetof(HostInterface, key_d) == 372, "key_d");
TG_STATIC_ASSERT(offsetof(HostInterface, host_keyword) == 376, "host_keyword");
TG_STATIC_ASSERT(offsetof(HostInterface, host_query) == 380, "host_query");
TG_STATIC_ASSERT(offsetof(HostInterface, host_print) == 384, "host_print");
TG_STATIC_ASSERT(offsetof(HostInterface, host_send) == 388, "host_send");
TG_STATIC_ASSERT(offsetof(HostInterface, host_send_oob) == 400, "host_send_oob");
TG_STATIC_ASSERT(offsetof(HostInterface, host_screen_info) == 404, "host_screen_info");
TG_STATIC_ASSERT(offsetof(HostInterface, annotate_connect) == 408, "annotate_connect");
TG_STATIC_ASSERT(offsetof(HostInterface, module_slot2) == 412, "module_slot2");
TG_STATIC_ASSERT(offsetof(HostInterface, module_slot3) == 416, "module_slot3");
TG_STATIC_ASSERT(offsetof(HostInterface, second_table) == 420, "second_table");
TG_STATIC_ASSERT(sizeof(HostInterface) == 424, "size");
#endif

#endif /* TALLYGUARD_HOST_INTERFACE_H */
