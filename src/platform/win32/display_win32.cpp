// Windows display: DirectDraw's primary surface, and the GDI and window calls
// that the screen capture needs.
#include "platform/platform.h"

// clang-format off
#include <windows.h>
#include <initguid.h>
#include <ddraw.h>
// clang-format on

#include <string.h>

namespace {

IDirectDraw7* g_draw = nullptr;
IDirectDrawSurface7* g_primary = nullptr;

}  // namespace

PlatformStandInDisplay* PlatformTestDisplay() { return nullptr; }

void PlatformDisplayClose() {
  if (g_primary != nullptr) g_primary->Release();
  if (g_draw != nullptr) g_draw->Release();
  g_primary = nullptr;
  g_draw = nullptr;
}

int PlatformDisplayOpen() {
  PlatformDisplayClose();
  IDirectDraw* first = nullptr;
  if (DirectDrawCreate(nullptr, &first, nullptr) != DD_OK || first == nullptr) return 0;
  void* seventh = nullptr;
  const HRESULT asked = first->QueryInterface(IID_IDirectDraw7, &seventh);
  first->Release();
  if (asked != S_OK || seventh == nullptr) return 0;
  g_draw = static_cast<IDirectDraw7*>(seventh);
  DDSURFACEDESC2 description;
  memset(&description, 0, sizeof description);
  description.dwSize = sizeof description;
  description.dwFlags = DDSD_CAPS;
  description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  if (g_draw->SetCooperativeLevel(nullptr, DDSCL_NORMAL) != DD_OK ||
      g_draw->CreateSurface(&description, &g_primary, nullptr) != DD_OK) {
    PlatformDisplayClose();
    return 0;
  }
  return 1;
}

int PlatformDisplayLock(PlatformSurface* surface) {
  if (g_primary == nullptr) return 0;
  DDSURFACEDESC2 description;
  memset(&description, 0, sizeof description);
  description.dwSize = sizeof description;
  if (g_primary->Lock(nullptr, &description, DDLOCK_WAIT, nullptr) != DD_OK) return 0;
  surface->pixels = static_cast<uint8_t*>(description.lpSurface);
  surface->pitch = static_cast<int32_t>(description.lPitch);
  surface->bits_per_pixel = static_cast<int32_t>(description.ddpfPixelFormat.dwRGBBitCount);
  surface->width = static_cast<int32_t>(description.dwWidth);
  surface->height = static_cast<int32_t>(description.dwHeight);
  return 1;
}

void PlatformDisplayUnlock() {
  if (g_primary != nullptr) g_primary->Unlock(nullptr);
}

void PlatformDisplayDrawTestLine() {
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return;
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(0xF9, 0xF9, 0xF9));
  HGDIOBJ old = SelectObject(screen, pen);
  MoveToEx(screen, 0, 0, nullptr);
  LineTo(screen, 2, 0);
  SelectObject(screen, old);
  DeleteObject(pen);
  ReleaseDC(nullptr, screen);
}

int PlatformDisplayPalette(uint8_t entries[256][4]) {
  PALETTEENTRY colours[256];
  IDirectDrawPalette* palette = nullptr;
  bool read = false;
  if (g_primary != nullptr && g_primary->GetPalette(&palette) == DD_OK && palette != nullptr) {
    read = palette->GetEntries(0, 0, 256, colours) == DD_OK;
    palette->Release();
  }
  if (!read) {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return 0;
    read = GetSystemPaletteEntries(screen, 0, 256, colours) > 0;
    ReleaseDC(nullptr, screen);
  }
  if (!read) return 0;
  for (int i = 0; i < 256; ++i) {
    entries[i][0] = colours[i].peRed;
    entries[i][1] = colours[i].peGreen;
    entries[i][2] = colours[i].peBlue;
    entries[i][3] = colours[i].peFlags;
  }
  return 1;
}

void PlatformForegroundWindow(PlatformWindowFacts* out) {
  memset(out, 0, sizeof *out);
  HWND window = GetForegroundWindow();
  if (window == nullptr) return;
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  out->ours = process == GetCurrentProcessId();
  if (!out->ours) return;
  WINDOWPLACEMENT placement;
  memset(&placement, 0, sizeof placement);
  placement.length = sizeof placement;
  if (!GetWindowPlacement(window, &placement)) return;
  out->show_state = static_cast<int>(placement.showCmd);
  out->left = placement.rcNormalPosition.left;
  out->top = placement.rcNormalPosition.top;
  out->right = placement.rcNormalPosition.right;
  out->bottom = placement.rcNormalPosition.bottom;
}
