// The system's side of the start-up lookup on Windows: Winsock's
// WSAAsyncGetHostByName, whose answer is posted to a message-only window
// that exists while the lookup runs; each poll takes that window's one
// message with PeekMessage, leaving the game's own messages alone.
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

// The window's class keeps the system's default procedure: its messages are
// only ever taken by PeekMessage, so no message reaches the module's code,
// even after the module is unloaded.
bool OpenAnswerWindow() {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = DefWindowProcA;
  window_class.hInstance = instance;
  window_class.lpszClassName = kWindowClass;
  if (RegisterClassA(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  g_window = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  return g_window != nullptr;
}

void CloseAnswerWindow() {
  if (g_window != nullptr) DestroyWindow(g_window);
  g_window = nullptr;
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
    CloseAnswerWindow();
    return false;
  }
  g_running = request;
  return true;
}

int SystemLookupPoll(char* address) {
  if (g_running == nullptr) return kLookupFailed;
  MSG message;
  while (PeekMessageA(&message, g_window, kAnswerMessage, kAnswerMessage, PM_REMOVE)) {
    if (reinterpret_cast<HANDLE>(message.wParam) != g_running->task) continue;
    int result = kLookupFailed;
    const hostent* answer = reinterpret_cast<const hostent*>(g_running->buffer);
    if (WSAGETASYNCERROR(message.lParam) == 0 && answer->h_addrtype == AF_INET && answer->h_addr_list != nullptr &&
        answer->h_addr_list[0] != nullptr) {
      const unsigned char* b = reinterpret_cast<const unsigned char*>(answer->h_addr_list[0]);
      snprintf(address, 16, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
      result = kLookupAnswered;
    }
    free(g_running);
    g_running = nullptr;
    CloseAnswerWindow();
    return result;
  }
  return kLookupPending;
}

void SystemLookupCancel() {
  if (g_running == nullptr) return;
  // Cancelled, or already over: Winsock writes the buffer no more. Any
  // other answer leaves the buffer to Winsock rather than free it under it.
  if (WSACancelAsyncRequest(g_running->task) == 0 || WSAGetLastError() == WSAEALREADY) free(g_running);
  g_running = nullptr;
  CloseAnswerWindow();
}
