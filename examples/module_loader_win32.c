#include "module_loader.h"

#include <string.h>
#include <windows.h>

void *OpenModule(const char *path) { return (void *)LoadLibraryA(path); }

void *FindExport(void *library, const char *name) {
  FARPROC address = GetProcAddress((HMODULE)library, name);
  void *result = NULL;
  /* A code address as a plain address, without a cast between the two. */
  memcpy(&result, &address, sizeof result);
  return result;
}

void SleepMs(unsigned milliseconds) { Sleep(milliseconds); }
