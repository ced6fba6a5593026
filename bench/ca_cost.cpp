// ca_cost: what one ca call of a built module costs a game, measured on the
// real clock through the module's exports, so the same program compares the
// Linux build, the 64-bit Windows build and the PE32 product under Wine
// (and, on machines whose kernel runs no 32-bit code, under emulation).
//
//   ca_cost MODULE HOME
//
// It prints two figures: an idle ca (the cycle interval not reached: what
// most frames cost), and the median and slowest of 100 cycles that each walk
// 64 console lines (tg_Ver, each printed to a host that drops the text).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

extern "C" {
#include "module_loader.h"
}
#include "tallyguard/host_interface.h"

namespace {

using Clock = std::chrono::steady_clock;

HostInterface g_record;
const char* g_home = ".";
char g_enabled[2] = "1";
long g_prints = 0;

void TG_CALL Keyword(const char* service, const char* argument) {
  if (strcmp(service, "set_cl_tallyguard") == 0) g_enabled[0] = argument[0] == '1' ? '1' : '0';
}

intptr_t TG_CALL Query(int32_t code, char* buffer) {
  const char* value = nullptr;
  if (code == TG_QUERY_CVAR) {
    if (strcmp(buffer, "cl_tallyguard") == 0) value = g_enabled;
    if (strcmp(buffer, "fs_homepath") == 0) value = g_home;
  } else if (code == TG_QUERY_SERVER_ADDRESS) {
    value = TG_NO_SERVER_ADDRESS;
  }
  if (value == nullptr) {
    buffer[0] = '\0';
    return code == TG_QUERY_CVAR || (code >= TG_QUERY_BIND_FIND && code <= TG_QUERY_CVAR_SEARCH) ? 1 : 0;
  }
  snprintf(buffer, TG_QUERY_BUFFER_SIZE, "%s", value);
  return 0;
}

void TG_CALL Print(const char*, int32_t) { ++g_prints; }
void TG_CALL Send(int32_t, const void*) {}
int32_t TG_CALL ScreenInfo(int32_t code, int32_t) { return code == TG_SCREEN_WIDTH ? 640 : code == TG_SCREEN_HEIGHT ? 480 : 0; }

double MicrosecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: ca_cost MODULE HOME\n");
    return 2;
  }
  g_home = argv[2];
  void* library = OpenModule(argv[1]);
  if (library == nullptr) {
    fprintf(stderr, "ca_cost: cannot load %s\n", argv[1]);
    return 1;
  }
  TgCaFunction call_ca = nullptr;
  TgCbFunction call_cb = nullptr;
  void* ca_address = FindExport(library, "ca");
  void* cb_address = FindExport(library, "cb");
  TG_BIND_EXPORT(call_ca, ca_address);
  TG_BIND_EXPORT(call_cb, cb_address);
  if (call_ca == nullptr || call_cb == nullptr) {
    fprintf(stderr, "ca_cost: %s does not export ca and cb\n", argv[1]);
    return 1;
  }
  memset(&g_record, 0, sizeof g_record);
  g_record.magic = TG_HOST_MAGIC;
  g_record.host_keyword = Keyword;
  g_record.host_query = Query;
  g_record.host_print = Print;
  g_record.host_send = Send;
  g_record.host_screen_info = ScreenInfo;

  // Started and enabled, with the shortest cycle interval the module allows.
  call_ca(&g_record, 0);
  call_cb(&g_record, TG_CODE_ENABLE, 0, nullptr, 0);
  const char* sleep_line = "tg_Sleep 20";
  call_cb(&g_record, TG_EVENT_CONSOLE_LINE, static_cast<int32_t>(strlen(sleep_line)), sleep_line, 0);
  for (int i = 0; i < 50; ++i) {
    call_ca(&g_record, 0);
    SleepMs(5);
  }

  // Idle calls: a cycle has just run, so the interval is not reached.
  const int idle_calls = 20000;
  const Clock::time_point idle_start = Clock::now();
  for (int i = 0; i < idle_calls; ++i) call_ca(&g_record, 0);
  const double idle_ns = MicrosecondsSince(idle_start) * 1000.0 / idle_calls;

  // Cycles that walk 64 console lines: the slowest call of each round is the
  // one that did the work.
  const char* line = "tg_Ver";
  std::vector<double> cycles;
  for (int round = 0; round < 100; ++round) {
    const long printed = g_prints;
    for (int i = 0; i < 64; ++i) call_cb(&g_record, TG_EVENT_CONSOLE_LINE, static_cast<int32_t>(strlen(line)), line, 0);
    double slowest = 0;
    for (int call = 0; call < 200 && g_prints - printed < 64; ++call) {
      const Clock::time_point start = Clock::now();
      call_ca(&g_record, 0);
      slowest = std::max(slowest, MicrosecondsSince(start));
      SleepMs(1);
    }
    if (g_prints - printed < 64) {
      fprintf(stderr, "ca_cost: the module did not walk the console lines\n");
      return 1;
    }
    cycles.push_back(slowest);
  }
  std::sort(cycles.begin(), cycles.end());
  printf("module: %s (%d-bit)\n", argv[1], static_cast<int>(8 * sizeof(void*)));
  printf("idle ca: %.0f ns (mean of %d calls)\n", idle_ns, idle_calls);
  printf("cycle with 64 console lines: median %.1f us, slowest %.1f us (100 cycles)\n", cycles[cycles.size() / 2],
         cycles.back());
  return 0;
}
