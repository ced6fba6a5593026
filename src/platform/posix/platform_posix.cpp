// POSIX stand-in for the Windows platform.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "platform/faults.h"
#include "platform/platform.h"

namespace {

uint32_t (*g_tick_source)() = nullptr;
void (*g_local_time_source)(PlatformLocalTime*) = nullptr;

// Copies path with every "\" turned into "/".
void MapPath(const char* path, char* out, size_t size) {
  size_t i = 0;
  for (; path[i] != '\0' && i + 1 < size; ++i) out[i] = (path[i] == '\\') ? '/' : path[i];
  out[i] = '\0';
}

}  // namespace

uint32_t PlatformTick() {
  if (g_tick_source != nullptr) return g_tick_source();
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void PlatformGetLocalTime(PlatformLocalTime* out) {
  if (g_local_time_source != nullptr) {
    g_local_time_source(out);
    return;
  }
  time_t now = time(nullptr);
  tm parts;
  localtime_r(&now, &parts);
  out->year = parts.tm_year + 1900;
  out->month = parts.tm_mon + 1;
  out->day = parts.tm_mday;
  out->hour = parts.tm_hour;
  out->minute = parts.tm_min;
  out->second = parts.tm_sec;
}

int64_t PlatformCalendarTime() { return static_cast<int64_t>(time(nullptr)); }

void PlatformSetTickSource(uint32_t (*source)()) { g_tick_source = source; }
void PlatformSetLocalTimeSource(void (*source)(PlatformLocalTime*)) { g_local_time_source = source; }

int PlatformWorkingDirectory(char* buffer, int size) {
  if (size <= 0) return 0;
  if (getcwd(buffer, static_cast<size_t>(size)) == nullptr) {
    buffer[0] = '\0';
    return 0;
  }
  return 1;
}

int PlatformCreateDirectory(const char* path) {
  char mapped[1024];
  MapPath(path, mapped, sizeof mapped);
  return mkdir(mapped, 0755) == 0 ? 1 : 0;
}

int PlatformDeleteFile(const char* path) {
  if (FileFaultWanted(kFileDelete, path)) return 0;
  char mapped[1024];
  MapPath(path, mapped, sizeof mapped);
  return unlink(mapped) == 0 ? 1 : 0;
}

int PlatformClearReadOnly(const char* path) {
  char mapped[1024];
  MapPath(path, mapped, sizeof mapped);
  struct stat st;
  if (stat(mapped, &st) != 0) return 0;
  return chmod(mapped, st.st_mode | S_IWUSR) == 0 ? 1 : 0;
}

int PlatformReplaceFile(const char* from, const char* to) {
  if (FileFaultWanted(kFileReplace, to)) return 0;
  char mapped_from[1024], mapped_to[1024];
  MapPath(from, mapped_from, sizeof mapped_from);
  MapPath(to, mapped_to, sizeof mapped_to);
  return rename(mapped_from, mapped_to) == 0 ? 1 : 0;
}

int PlatformFileExists(const char* path) {
  char mapped[1024];
  MapPath(path, mapped, sizeof mapped);
  struct stat st;
  return stat(mapped, &st) == 0 ? 1 : 0;
}

int PlatformGetFileStamp(const char* path, PlatformFileStamp* stamp) {
  char mapped[1024];
  MapPath(path, mapped, sizeof mapped);
  struct stat st;
  if (stat(mapped, &st) != 0) return 0;
  stamp->size = static_cast<int64_t>(st.st_size);
  stamp->modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return 1;
}

FILE* PlatformOpenFile(const char* path, const char* mode) {
  const bool writes = WritesTo(mode);
  if (writes && FileFaultWanted(kFileOpen, path)) return nullptr;
  char mapped[1024];
  MapPath(path, mapped, sizeof mapped);
  FILE* file = fopen(mapped, mode);
  return writes ? MaybeUnwritable(file, path, mapped) : file;
}

FILE* PlatformCreateNewFile(const char* path) {
  if (FileFaultWanted(kFileCreate, path)) return nullptr;
  char mapped[1024];
  MapPath(path, mapped, sizeof mapped);
  const int fd = open(mapped, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  FILE* file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
  return MaybeUnwritable(file, path, mapped);
}

void PlatformGetSystemFacts(PlatformSystemFacts* out) {
  long page = sysconf(_SC_PAGESIZE);
  out->process_id = static_cast<uint32_t>(getpid());
  out->thread_id = static_cast<uint32_t>(syscall(SYS_gettid));
  out->page_size = page > 0 ? static_cast<uint32_t>(page) : 0;
  out->lowest_address = static_cast<uintptr_t>(out->page_size) * 16;
  out->highest_address = ~static_cast<uintptr_t>(0) >> 1;
  out->allocation_granularity = out->page_size;
}

void* PlatformLoadLibrary(const char* path) {
  char mapped[1024];
  MapPath(path, mapped, sizeof mapped);
  return dlopen(mapped, RTLD_NOW | RTLD_LOCAL);
}

void* PlatformFindEntry(void* library, const char* name) { return library != nullptr ? dlsym(library, name) : nullptr; }

void PlatformFreeLibrary(void* library) {
  if (library != nullptr) dlclose(library);
}

// ---- UDP sockets ----------------------------------------------------------

namespace {

// Binds to port on the loopback address or on every local address.
bool BindPort(int fd, uint16_t port, bool loopback_only) {
  sockaddr_in local;
  memset(&local, 0, sizeof local);
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  local.sin_addr.s_addr = htonl(loopback_only ? INADDR_LOOPBACK : INADDR_ANY);
  return bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
}

}  // namespace

PlatformSocket PlatformUdpOpen(uint16_t port, int loopback_only) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return kNoSocket;
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0 || !BindPort(fd, port, loopback_only != 0)) {
    close(fd);
    return kNoSocket;
  }
  return fd;
}

void PlatformUdpClose(PlatformSocket socket) {
  if (socket != kNoSocket) close(static_cast<int>(socket));
}

uint16_t PlatformUdpLocalPort(PlatformSocket socket) {
  sockaddr_in local;
  socklen_t size = sizeof local;
  if (getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&local), &size) != 0) return 0;
  return ntohs(local.sin_port);
}

int PlatformUdpSend(PlatformSocket socket, const char* address, uint16_t port, const void* data, int length) {
  if (SocketFaultWanted(kSocketSend)) return 0;
  sockaddr_in to;
  memset(&to, 0, sizeof to);
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  if (inet_pton(AF_INET, address, &to.sin_addr) != 1) return 0;
  return sendto(static_cast<int>(socket), data, static_cast<size_t>(length), 0, reinterpret_cast<sockaddr*>(&to),
                sizeof to) == length;
}

int PlatformUdpReceive(PlatformSocket socket, void* buffer, int size, char* from_address, uint16_t* from_port) {
  if (SocketFaultWanted(kSocketReceive)) return -1;
  sockaddr_in from;
  socklen_t from_size = sizeof from;
  ssize_t n = recvfrom(static_cast<int>(socket), buffer, static_cast<size_t>(size), 0,
                       reinterpret_cast<sockaddr*>(&from), &from_size);
  if (n < 0) return -1;
  if (from_address != nullptr) inet_ntop(AF_INET, &from.sin_addr, from_address, 16);
  if (from_port != nullptr) *from_port = ntohs(from.sin_port);
  return static_cast<int>(n);
}

int PlatformStartSockets() { return 1; }

PlatformSocket PlatformUdpCreate() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return kNoSocket;
  const int flags = fcntl(fd, F_GETFL, 0);
  const int reuse = 1;
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0 ||
      setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0) {
    close(fd);
    return kNoSocket;
  }
  return fd;
}

int PlatformUdpBind(PlatformSocket socket, uint16_t port) {
  if (SocketFaultWanted(kSocketBind)) return 0;
  return BindPort(static_cast<int>(socket), port, false) ? 1 : 0;
}

// ---- fault guard ----------------------------------------------------------

namespace {

const int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
const int kFaultSignalCount = sizeof kFaultSignals / sizeof kFaultSignals[0];

sigjmp_buf g_fault_jump;
pthread_t g_guarded_thread;
struct sigaction g_previous[kFaultSignalCount];
int g_guard_on = 1;

int SignalIndex(int sig) {
  for (int i = 0; i < kFaultSignalCount; ++i)
    if (kFaultSignals[i] == sig) return i;
  return -1;
}

void OnFault(int sig, siginfo_t* info, void* context) {
  if (pthread_equal(pthread_self(), g_guarded_thread)) siglongjmp(g_fault_jump, 1);
  // Another thread of the host faulted while the cycle ran: give the fault to
  // whoever handled it before.
  int i = SignalIndex(sig);
  if (i < 0) return;
  const struct sigaction& old = g_previous[i];
  if ((old.sa_flags & SA_SIGINFO) != 0 && old.sa_sigaction != nullptr) {
    old.sa_sigaction(sig, info, context);
  } else if (old.sa_handler != SIG_DFL && old.sa_handler != SIG_IGN) {
    old.sa_handler(sig);
  } else {
    sigaction(sig, &old, nullptr);  // the instruction faults again, as it would have
  }
}

}  // namespace

void PlatformSetFaultGuard(int on) { g_guard_on = on; }

int PlatformRunGuarded(void (*body)(void*), void* context) {
  if (!g_guard_on) {
    body(context);
    return 0;
  }
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_sigaction = OnFault;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  g_guarded_thread = pthread_self();
  for (int i = 0; i < kFaultSignalCount; ++i) sigaction(kFaultSignals[i], &action, &g_previous[i]);

  volatile int faulted = 0;
  if (sigsetjmp(g_fault_jump, 1) == 0) {
    body(context);
  } else {
    faulted = 1;
  }
  for (int i = 0; i < kFaultSignalCount; ++i) sigaction(kFaultSignals[i], &g_previous[i], nullptr);
  return faulted;
}
