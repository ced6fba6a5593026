#define _POSIX_C_SOURCE 200809L
#include "module_loader.h"

#include <dlfcn.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

void *OpenModule(const char *path) {
  /* dlopen searches the system's folders for a bare name; a module beside
   * the host is named by a path. */
  char local[1024];
  if (strchr(path, '/') == NULL && strlen(path) + 3 < sizeof local) {
    snprintf(local, sizeof local, "./%s", path);
    path = local;
  }
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void *FindExport(void *library, const char *name) { return dlsym(library, name); }

void SleepMs(unsigned milliseconds) {
  struct timespec pause;
  pause.tv_sec = milliseconds / 1000;
  pause.tv_nsec = (long)(milliseconds % 1000) * 1000000L;
  nanosleep(&pause, NULL);
}
