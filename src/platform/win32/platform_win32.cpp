// Windows implementation of the platform seam.
#include "platform/faults.h"
#include "platform/platform.h"

// winsock2.h must come before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format off
#include <windows.h>
// clang-format on

#include <fcntl.h>
#include <io.h>
#include <setjmp.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

namespace {

uint32_t (*g_tick_source)() = nullptr;
void (*g_local_time_source)(PlatformLocalTime*) = nullptr;

}  // namespace

uint32_t PlatformTick() {
  if (g_tick_source != nullptr) return g_tick_source();
  return static_cast<uint32_t>(GetTickCount());
}

void PlatformGetLocalTime(PlatformLocalTime* out) {
  if (g_local_time_source != nullptr) {
    g_local_time_source(out);
    return;
  }
  SYSTEMTIME st;
  GetLocalTime(&st);
  out->year = st.wYear;
  out->month = st.wMonth;
  out->day = st.wDay;
  out->hour = st.wHour;
  out->minute = st.wMinute;
  out->second = st.wSecond;
}

int64_t PlatformCalendarTime() { return static_cast<int64_t>(time(nullptr)); }

void PlatformSetTickSource(uint32_t (*source)()) { g_tick_source = source; }
void PlatformSetLocalTimeSource(void (*source)(PlatformLocalTime*)) { g_local_time_source = source; }

int PlatformWorkingDirectory(char* buffer, int size) {
  if (size <= 0) return 0;
  DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(size), buffer);
  if (n == 0 || n >= static_cast<DWORD>(size)) {
    buffer[0] = '\0';
    return 0;
  }
  return 1;
}

int PlatformCreateDirectory(const char* path) { return CreateDirectoryA(path, nullptr) ? 1 : 0; }

int PlatformDeleteFile(const char* path) {
  if (FileFaultWanted(kFileDelete, path)) return 0;
  return DeleteFileA(path) ? 1 : 0;
}

int PlatformClearReadOnly(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
  if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return 1;
  return SetFileAttributesA(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) ? 1 : 0;
}

int PlatformReplaceFile(const char* from, const char* to) {
  if (FileFaultWanted(kFileReplace, to)) return 0;
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 1 : 0;
}

int PlatformFileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES ? 1 : 0; }

int PlatformGetFileStamp(const char* path, PlatformFileStamp* stamp) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
  stamp->size = static_cast<int64_t>(static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
  stamp->modified = static_cast<int64_t>(static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
                                         data.ftLastWriteTime.dwLowDateTime);
  return 1;
}

FILE* PlatformOpenFile(const char* path, const char* mode) {
  const bool writes = WritesTo(mode);
  if (writes && FileFaultWanted(kFileOpen, path)) return nullptr;
  FILE* file = fopen(path, mode);
  return writes ? MaybeUnwritable(file, path, path) : file;
}

FILE* PlatformCreateNewFile(const char* path) {
  if (FileFaultWanted(kFileCreate, path)) return nullptr;
  HANDLE handle = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_WRONLY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) _close(fd);
  return MaybeUnwritable(file, path, path);
}

void PlatformGetSystemFacts(PlatformSystemFacts* out) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  out->process_id = GetCurrentProcessId();
  out->thread_id = GetCurrentThreadId();
  out->page_size = info.dwPageSize;
  out->lowest_address = reinterpret_cast<uintptr_t>(info.lpMinimumApplicationAddress);
  out->highest_address = reinterpret_cast<uintptr_t>(info.lpMaximumApplicationAddress);
  out->allocation_granularity = info.dwAllocationGranularity;
}

void* PlatformLoadLibrary(const char* path) { return reinterpret_cast<void*>(LoadLibraryA(path)); }

void* PlatformFindEntry(void* library, const char* name) {
  if (library == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void PlatformFreeLibrary(void* library) {
  if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

// ---- UDP sockets ----------------------------------------------------------

namespace {

bool StartWinsock() {
  static bool started = false;
  if (!started) {
    WSADATA data;
    started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  return started;
}

}  // namespace

namespace {

// Binds to port on the loopback address or on every local address.
bool BindPort(SOCKET handle, uint16_t port, bool loopback_only) {
  sockaddr_in local;
  memset(&local, 0, sizeof local);
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  local.sin_addr.s_addr = htonl(loopback_only ? INADDR_LOOPBACK : INADDR_ANY);
  return bind(handle, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
}

}  // namespace

int PlatformStartSockets() { return StartWinsock() ? 1 : 0; }

PlatformSocket PlatformUdpOpen(uint16_t port, int loopback_only) {
  if (!StartWinsock()) return kNoSocket;
  SOCKET handle = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (handle == INVALID_SOCKET) return kNoSocket;
  u_long non_blocking = 1;
  if (ioctlsocket(handle, FIONBIO, &non_blocking) != 0 || !BindPort(handle, port, loopback_only != 0)) {
    closesocket(handle);
    return kNoSocket;
  }
  return static_cast<PlatformSocket>(handle);
}

void PlatformUdpClose(PlatformSocket socket) {
  if (socket != kNoSocket) closesocket(static_cast<SOCKET>(socket));
}

uint16_t PlatformUdpLocalPort(PlatformSocket socket) {
  sockaddr_in local;
  int size = sizeof local;
  if (getsockname(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr*>(&local), &size) != 0) return 0;
  return ntohs(local.sin_port);
}

int PlatformUdpSend(PlatformSocket socket, const char* address, uint16_t port, const void* data, int length) {
  if (SocketFaultWanted(kSocketSend)) return 0;
  sockaddr_in to;
  memset(&to, 0, sizeof to);
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = inet_addr(address);
  if (to.sin_addr.s_addr == INADDR_NONE) return 0;
  return sendto(static_cast<SOCKET>(socket), static_cast<const char*>(data), length, 0,
                reinterpret_cast<sockaddr*>(&to), sizeof to) == length;
}

int PlatformUdpReceive(PlatformSocket socket, void* buffer, int size, char* from_address, uint16_t* from_port) {
  if (SocketFaultWanted(kSocketReceive)) return -1;
  sockaddr_in from;
  int from_size = sizeof from;
  int n = recvfrom(static_cast<SOCKET>(socket), static_cast<char*>(buffer), size, 0, reinterpret_cast<sockaddr*>(&from),
                   &from_size);
  if (n < 0) return -1;
  if (from_address != nullptr) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&from.sin_addr);
    snprintf(from_address, 16, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  }
  if (from_port != nullptr) *from_port = ntohs(from.sin_port);
  return n;
}

PlatformSocket PlatformUdpCreate() {
  if (!StartWinsock()) return kNoSocket;
  SOCKET handle = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (handle == INVALID_SOCKET) return kNoSocket;
  u_long non_blocking = 1;
  const BOOL reuse = TRUE;
  if (ioctlsocket(handle, FIONBIO, &non_blocking) != 0 ||
      setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse) != 0) {
    closesocket(handle);
    return kNoSocket;
  }
  return static_cast<PlatformSocket>(handle);
}

int PlatformUdpBind(PlatformSocket socket, uint16_t port) {
  if (SocketFaultWanted(kSocketBind)) return 0;
  return BindPort(static_cast<SOCKET>(socket), port, false) ? 1 : 0;
}

// ---- fault guard ----------------------------------------------------------

namespace {

jmp_buf g_fault_jump;
DWORD g_guarded_thread = 0;
int g_guard_on = 1;

bool IsProcessorFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_PRIV_INSTRUCTION:
      return true;
    default:
      return false;  // C++ exceptions, debugger notices and the like pass on
  }
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  if (GetCurrentThreadId() == g_guarded_thread && IsProcessorFault(info->ExceptionRecord->ExceptionCode))
    longjmp(g_fault_jump, 1);
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void PlatformSetFaultGuard(int on) { g_guard_on = on; }

int PlatformRunGuarded(void (*body)(void*), void* context) {
  if (!g_guard_on) {
    body(context);
    return 0;
  }
  g_guarded_thread = GetCurrentThreadId();
  PVOID handler = AddVectoredExceptionHandler(1, OnException);
  volatile int faulted = 0;
  if (setjmp(g_fault_jump) == 0) {
    body(context);
  } else {
    faulted = 1;
  }
  if (handler != nullptr) RemoveVectoredExceptionHandler(handler);
  g_guarded_thread = 0;
  return faulted;
}
