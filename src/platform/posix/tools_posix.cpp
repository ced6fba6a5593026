// POSIX implementation of the platform functions for the tools (the module
// itself never sleeps or reads standard input).
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include "platform/platform.h"

void PlatformSleep(uint32_t milliseconds) {
  timespec ts;
  ts.tv_sec = milliseconds / 1000;
  ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (nanosleep(&ts, &ts) != 0) {
  }
}

int PlatformReadInput(char* buffer, int size) {
  pollfd input = {STDIN_FILENO, POLLIN, 0};
  if (size <= 0 || poll(&input, 1, 0) <= 0) return 0;
  const ssize_t n = read(STDIN_FILENO, buffer, static_cast<size_t>(size));
  if (n < 0) return 0;
  return n == 0 ? -1 : static_cast<int>(n);
}

void PlatformOpenGameWindow(int, int) {}
void PlatformPumpGameWindow() {}
int PlatformReadGameWindow(int32_t, int32_t, int32_t, int32_t, uint8_t*) { return 0; }
