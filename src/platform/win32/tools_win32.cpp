// Windows implementation of the platform functions for the tools (the
// module itself never sleeps or reads standard input).
#include "platform/platform.h"

// clang-format off
#include <windows.h>
// clang-format on

#include <string.h>

void PlatformSleep(uint32_t milliseconds) { Sleep(milliseconds); }

// ---- standard input for the tools ------------------------------------------

namespace {

// A console or pipe cannot be asked whether a line waits, so one thread of
// the tool reads standard input and the loop takes what it has gathered.
struct InputReader {
  CRITICAL_SECTION lock;
  char bytes[4096];
  int count = 0;
  bool ended = false;
};

InputReader* g_input = nullptr;

DWORD WINAPI ReadInputLoop(LPVOID) {
  HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
  for (;;) {
    char chunk[512];
    DWORD n = 0;
    const bool read = ReadFile(handle, chunk, sizeof chunk, &n, nullptr) && n > 0;
    for (;;) {  // wait while the loop has not taken the earlier bytes
      EnterCriticalSection(&g_input->lock);
      const bool room = !read || g_input->count + static_cast<int>(n) <= static_cast<int>(sizeof g_input->bytes);
      if (room) {
        if (read) {
          memcpy(g_input->bytes + g_input->count, chunk, n);
          g_input->count += static_cast<int>(n);
        } else {
          g_input->ended = true;
        }
      }
      LeaveCriticalSection(&g_input->lock);
      if (room) break;
      Sleep(5);
    }
    if (!read) return 0;
  }
}

}  // namespace

int PlatformReadInput(char* buffer, int size) {
  if (g_input == nullptr) {
    g_input = new InputReader();
    InitializeCriticalSection(&g_input->lock);
    HANDLE thread = CreateThread(nullptr, 0, ReadInputLoop, nullptr, 0, nullptr);
    if (thread == nullptr) {
      g_input->ended = true;
    } else {
      CloseHandle(thread);
    }
  }
  EnterCriticalSection(&g_input->lock);
  int n = g_input->count < size ? g_input->count : size;
  if (n > 0) {
    memcpy(buffer, g_input->bytes, static_cast<size_t>(n));
    memmove(g_input->bytes, g_input->bytes + n, static_cast<size_t>(g_input->count - n));
    g_input->count -= n;
  } else if (g_input->ended) {
    n = -1;
  }
  LeaveCriticalSection(&g_input->lock);
  return n;
}

// ---- the harness's game window ----------------------------------------------

namespace {

HWND g_game_window = nullptr;
// The moving square: its size and its rows below the top of the grass.
const LONG kRunnerSize = 16;
const LONG kRunnerRow = 88;
DWORD g_last_repaint = 0;

void PaintScene(HDC dc, const RECT& area) {
  const LONG ground = area.top + (area.bottom - area.top) * 2 / 3;
  for (LONG y = area.top; y < ground; y += 8) {  // the sky, lighter towards the ground
    RECT band = {area.left, y, area.right, y + 8};
    HBRUSH sky = CreateSolidBrush(RGB(90, 140 + (y - area.top) / 8, 230));
    FillRect(dc, &band, sky);
    DeleteObject(sky);
  }
  RECT field = {area.left, ground, area.right, area.bottom};
  HBRUSH grass = CreateSolidBrush(RGB(40, 130, 40));
  FillRect(dc, &field, grass);
  DeleteObject(grass);
  HBRUSH yellow = CreateSolidBrush(RGB(255, 220, 60));
  HGDIOBJ old = SelectObject(dc, yellow);
  Ellipse(dc, 640, 140, 760, 260);  // the sun
  SelectObject(dc, old);
  DeleteObject(yellow);
  // A white square runs along the grass, so the picture changes while the
  // game runs.
  const LONG run = area.right - area.left - kRunnerSize;
  const LONG x = run > 0 ? area.left + static_cast<LONG>(GetTickCount() / 4 % static_cast<DWORD>(run)) : area.left;
  RECT runner = {x, ground + kRunnerRow, x + kRunnerSize, ground + kRunnerRow + kRunnerSize};
  FillRect(dc, &runner, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

LRESULT CALLBACK GameWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT area;
    GetClientRect(window, &area);
    PaintScene(dc, area);
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcA(window, message, w, l);
}

}  // namespace

void PlatformOpenGameWindow(int width, int height) {
  WNDCLASSA type;
  memset(&type, 0, sizeof type);
  type.lpfnWndProc = GameWindowProc;
  type.hInstance = GetModuleHandleA(nullptr);
  type.lpszClassName = "TallyguardHarnessGame";
  RegisterClassA(&type);
  g_game_window = CreateWindowA(type.lpszClassName, "tghost game", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                                nullptr, type.hInstance, nullptr);
  if (g_game_window == nullptr) return;  // no display: screenshots say so
  ShowWindow(g_game_window, SW_SHOW);
  SetForegroundWindow(g_game_window);
  UpdateWindow(g_game_window);
}

int PlatformReadGameWindow(int32_t x, int32_t y, int32_t width, int32_t height, uint8_t* out) {
  if (g_game_window == nullptr || width <= 0 || height <= 0) return 0;
  // A bottom-up 24-bit DIB keeps rows bottom first, as B, G, R, each row
  // padded to 4 bytes.
  BITMAPINFO info;
  memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC window_dc = GetDC(g_game_window);
  if (window_dc == nullptr) return 0;
  HDC memory_dc = CreateCompatibleDC(window_dc);
  HBITMAP bitmap = CreateDIBSection(window_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  int read = 0;
  if (memory_dc != nullptr && bitmap != nullptr && bits != nullptr) {
    HGDIOBJ old = SelectObject(memory_dc, bitmap);
    read = BitBlt(memory_dc, 0, 0, width, height, window_dc, x, y, SRCCOPY) ? 1 : 0;
    GdiFlush();
    SelectObject(memory_dc, old);
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
    for (int32_t row = 0; read && row < height; ++row) {
      const uint8_t* from = static_cast<const uint8_t*>(bits) + static_cast<size_t>(row) * stride;
      for (int32_t column = 0; column < width; ++column, from += 3, out += 3) {
        out[0] = from[2];
        out[1] = from[1];
        out[2] = from[0];
      }
    }
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  if (memory_dc != nullptr) DeleteDC(memory_dc);
  ReleaseDC(g_game_window, window_dc);
  return read;
}

void PlatformPumpGameWindow() {
  if (g_game_window != nullptr && GetTickCount() - g_last_repaint >= 40) {
    g_last_repaint = GetTickCount();
    // A game keeps its window in front; under Wine without a window manager
    // the first request may go unheard while the desktop starts.
    if (GetForegroundWindow() != g_game_window) SetForegroundWindow(g_game_window);
    RECT area;
    GetClientRect(g_game_window, &area);
    const LONG ground = area.top + (area.bottom - area.top) * 2 / 3;
    RECT strip = {area.left, ground + kRunnerRow, area.right, ground + kRunnerRow + kRunnerSize};
    InvalidateRect(g_game_window, &strip, FALSE);
  }
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}
