// The system's side of the start-up lookup on Windows: Winsock's
// WSAAsyncGetHostByName, whose answer is posted to a message-only window
// that exists while a lookup may still answer; each poll takes that
// window's messages with PeekMessage, leaving the game's own alone.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/system_lookup.h"

namespace {

const UINT kAnswerMessage = WM_APP + 0x54;
const char kWindowClass[] = "TallyguardLookup";

// Winsock writes the answer into the buffer until the lookup ends, so it
// lives on the heap.
struct Request {
  HANDLE task;
  alignas(8) char buffer[MAXGETHOSTSTRUCT];
};

HWND g_window = nullptr;
Request* g_running = nullptr;
// A lookup given up before its answer came: Winsock may still write its
// buffer (a cancel is not always honoured), so the buffer is freed only
// when that lookup's message arrives.
Request* g_abandoned = nullptr;

// The window's class keeps the system's default procedure: its messages are
// only ever taken by PeekMessage, so no message reaches the module's code,
// even after the module is unloaded.
bool OpenAnswerWindow() {
  if (g_window != nullptr) return true;
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = DefWindowProcA;
  window_class.hInstance = instance;
  window_class.lpszClassName = kWindowClass;
  if (RegisterClassA(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  g_window = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  return g_window != nullptr;
}

// The window goes once no lookup may still answer to it.
void CloseAnswerWindowWhenIdle() {
  if (g_window == nullptr || g_running != nullptr || g_abandoned != nullptr) return;
  DestroyWindow(g_window);
  g_window = nullptr;
}

// Takes the window's answers: the running lookup's (its result is given,
// the address written) and an abandoned one's (its buffer freed).
// kLookupPending while the running lookup has none yet.
int TakeAnswers(char* address) {
  MSG message;
  int result = kLookupPending;
  while (g_window != nullptr && PeekMessageA(&message, g_window, kAnswerMessage, kAnswerMessage, PM_REMOVE)) {
    const HANDLE task = reinterpret_cast<HANDLE>(message.wParam);
    if (g_abandoned != nullptr && task == g_abandoned->task) {
      free(g_abandoned);
      g_abandoned = nullptr;
      continue;
    }
    if (g_running == nullptr || task != g_running->task || result != kLookupPending) continue;
    result = kLookupFailed;
    const hostent* answer = reinterpret_cast<const hostent*>(g_running->buffer);
    if (WSAGETASYNCERROR(message.lParam) == 0 && answer->h_addrtype == AF_INET && answer->h_addr_list != nullptr &&
        answer->h_addr_list[0] != nullptr) {
      const unsigned char* b = reinterpret_cast<const unsigned char*>(answer->h_addr_list[0]);
      snprintf(address, 16, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
      result = kLookupAnswered;
    }
    free(g_running);
    g_running = nullptr;
  }
  return result;
}

}  // namespace

bool SystemLookupStart(const char* name) {
  SystemLookupCancel();
  if (!OpenAnswerWindow()) return false;
  Request* request = static_cast<Request*>(calloc(1, sizeof(Request)));
  if (request != nullptr)
    request->task = WSAAsyncGetHostByName(g_window, kAnswerMessage, name, request->buffer, sizeof request->buffer);
  if (request == nullptr || request->task == nullptr) {
    free(request);
    CloseAnswerWindowWhenIdle();
    return false;
  }
  g_running = request;
  return true;
}

int SystemLookupPoll(char* address) {
  if (g_running == nullptr) return kLookupFailed;
  const int result = TakeAnswers(address);
  CloseAnswerWindowWhenIdle();
  return result;
}

void SystemLookupCancel() {
  char ignored[16];
  TakeAnswers(ignored);  // answers already in: their buffers go now
  if (g_running != nullptr) {
    WSACancelAsyncRequest(g_running->task);
    // One abandoned lookup is followed; should a second be given up
    // meanwhile, its buffer is left to Winsock rather than freed under it.
    if (g_abandoned == nullptr) g_abandoned = g_running;
    g_running = nullptr;
  }
  CloseAnswerWindowWhenIdle();
}
