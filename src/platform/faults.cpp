#include "platform/faults.h"

#include <cstring>

namespace {

PlatformFileFaultHook g_hook = nullptr;
PlatformSocketFaultHook g_socket_hook = nullptr;

}  // namespace

void PlatformSetFileFaultHook(PlatformFileFaultHook hook) { g_hook = hook; }

bool FileFaultWanted(PlatformFileOperation operation, const char* path) {
  return g_hook != nullptr && g_hook(operation, path);
}

FILE* MaybeUnwritable(FILE* file, const char* path, const char* system_path) {
  if (file == nullptr || !FileFaultWanted(kFileWrite, path)) return file;
  fclose(file);
  return fopen(system_path, "rb");
}

bool WritesTo(const char* mode) { return strchr(mode, 'w') != nullptr || strchr(mode, 'a') != nullptr; }

void PlatformSetSocketFaultHook(PlatformSocketFaultHook hook) { g_socket_hook = hook; }

bool SocketFaultWanted(PlatformSocketOperation operation) {
  return g_socket_hook != nullptr && g_socket_hook(operation);
}
