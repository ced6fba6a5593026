/* minimal_host: the smallest game that runs the Tallyguard client module.
 *
 *   minimal_host MODULE HOME
 *
 * It loads the module, fills the host record with a handful of services,
 * asks the module to enable itself and runs a few frames, typing tg_Ver at
 * the console on the way. Every line the module prints is shown with the
 * message prefix. It exits with 0 once the module has said it is enabled.
 */
#include <stdio.h>
#include <string.h>

#include "module_loader.h"
#include "tallyguard/host_interface.h"

static TgHostInterface g_record;
static char g_enabled[2] = "0"; /* the console variable cl_tallyguard */
static const char *g_home = ".";
static int g_saw_enabled = 0;

static void TG_CALL Keyword(const char *service, const char *argument) {
  if (strcmp(service, "set_cl_tallyguard") == 0) g_enabled[0] = argument[0] == '1' ? '1' : '0';
}

/* The module reads three console variables of its own; every other code is
 * answered as a game without that feature answers it (see the header). */
static intptr_t TG_CALL Query(int32_t code, char *buffer) {
  const char *value = NULL;
  if (code == TG_QUERY_CVAR) {
    if (strcmp(buffer, "cl_tallyguard") == 0) value = g_enabled;
    if (strcmp(buffer, "fs_homepath") == 0) value = g_home;
    if (strcmp(buffer, "version") == 0) value = "minimal_host 1.0";
    if (value == NULL) {
      buffer[0] = '\0';
      return 1; /* no such variable */
    }
  } else if (code == TG_QUERY_SERVER_ADDRESS) {
    value = TG_NO_SERVER_ADDRESS; /* this game never connects */
  } else if (code >= TG_QUERY_BIND_FIND && code <= TG_QUERY_CVAR_SEARCH) {
    buffer[0] = '\0';
    return 1; /* no bindings, nothing found */
  } else {
    buffer[0] = '\0';
    return 0; /* 110, 111: no name; any other code: nothing */
  }
  strncpy(buffer, value, TG_QUERY_BUFFER_SIZE - 1);
  buffer[TG_QUERY_BUFFER_SIZE - 1] = '\0';
  return 0;
}

/* text is data, never a format; the prefix and the line end are ours. */
static void TG_CALL Print(const char *text, int32_t one) {
  const char *prefix = g_record.message_prefix;
  (void)one;
  if (strncmp(prefix, "[skipnotify]", 12) == 0) prefix += 12;
  printf("%s: %s\n", prefix, text);
  if (strstr(text, ") Enabled") != NULL) g_saw_enabled = 1;
}

static void TG_CALL Send(int32_t length, const void *frame) { (void)length, (void)frame; }

static int32_t TG_CALL ScreenInfo(int32_t code, int32_t value) {
  (void)value;
  /* A screen of 640 x 480 whose pixels the game does not offer. */
  return code == TG_SCREEN_WIDTH ? 640 : code == TG_SCREEN_HEIGHT ? 480 : 0;
}

int main(int argc, char **argv) {
  void *library, *ca_address, *cb_address;
  TgCaFunction call_ca = NULL;
  TgCbFunction call_cb = NULL;
  int frame;
  long version;

  if (argc != 3) {
    fprintf(stderr, "usage: minimal_host MODULE HOME\n");
    return 2;
  }
  g_home = argv[2];
  library = OpenModule(argv[1]);
  if (library == NULL) {
    fprintf(stderr, "minimal_host: cannot load %s\n", argv[1]);
    return 1;
  }
  ca_address = FindExport(library, "ca");
  cb_address = FindExport(library, "cb");
  TG_BIND_EXPORT(call_ca, ca_address);
  TG_BIND_EXPORT(call_cb, cb_address);
  if (call_ca == NULL || call_cb == NULL) {
    fprintf(stderr, "minimal_host: %s does not export ca and cb\n", argv[1]);
    return 1;
  }

  memset(&g_record, 0, sizeof g_record);
  g_record.magic = TG_HOST_MAGIC;
  g_record.host_keyword = Keyword;
  g_record.host_query = Query;
  g_record.host_print = Print;
  g_record.host_send = Send;
  g_record.host_screen_info = ScreenInfo;
  version = (long)call_cb(&g_record, TG_CODE_VERSION, 0, NULL, 0);
  printf("module version %ld\n", version);
  /* A module older than this header may not know every code the header names. */
  if (version < TG_HEADER_VERSION)
    printf("note: the module (%ld) is older than this header (%d)\n", version, TG_HEADER_VERSION);

  call_ca(&g_record, 0);                             /* remembers the record */
  call_cb(&g_record, TG_CODE_ENABLE, 0, NULL, 0);    /* as tg_cl_Enable would */
  for (frame = 0; frame < 20; ++frame) {
    if (frame == 5) call_cb(&g_record, TG_EVENT_CONSOLE_LINE, 6, "tg_Ver", 0);
    call_ca(&g_record, 16);
    SleepMs(16);
  }
  return g_saw_enabled ? 0 : 1;
}
