/* The public header as a C game includes it. */
#include "tallyguard/host_interface.h"

/* A host binds the exports without casts. */
int tg_header_check_bind(void *address) {
  TgCaFunction call_ca = 0;
  TG_BIND_EXPORT(call_ca, address);
  return call_ca != 0;
}
