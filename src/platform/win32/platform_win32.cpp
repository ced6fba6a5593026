// Windows implementation of the platform seam.
#include "platform/platform.h"

#include <windows.h>

#include <setjmp.h>
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

int PlatformDeleteFile(const char* path) { return DeleteFileA(path) ? 1 : 0; }

int PlatformClearReadOnly(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
  if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return 1;
  return SetFileAttributesA(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) ? 1 : 0;
}

FILE* PlatformOpenFile(const char* path, const char* mode) { return fopen(path, mode); }

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

// ---- fault guard ----------------------------------------------------------

namespace {

jmp_buf g_fault_jump;
DWORD g_guarded_thread = 0;

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

int PlatformRunGuarded(void (*body)(void*), void* context) {
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

void PlatformSleep(uint32_t milliseconds) { Sleep(milliseconds); }
