#include "util/path_check.h"

#include <cstring>

#include "util/text.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A path part names a device when its name before the first "." (trailing
// blanks ignored, as Windows ignores them) is a reserved device name.
bool IsDeviceName(const char* part, size_t length) {
  static const char* const kDevices[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1",   "COM2",    "COM3",  "COM4", "COM5",
                                         "COM6", "COM7", "COM8", "COM9", "LPT1",   "LPT2",    "LPT3",  "LPT4", "LPT5",
                                         "LPT6", "LPT7", "LPT8", "LPT9", "CONIN$", "CONOUT$", "CLOCK$"};
  size_t base = 0;
  while (base < length && part[base] != '.') ++base;
  while (base > 0 && part[base - 1] == ' ') --base;
  for (const char* device : kDevices)
    if (strlen(device) == base && SameLettersN(part, device, static_cast<int>(base))) return true;
  return false;
}

}  // namespace

int IsSafeHomeName(const char* name) {
  if (name == nullptr || name[0] == '\0' || IsSeparator(name[0])) return 0;
  if (strstr(name, "..") != nullptr || strchr(name, ':') != nullptr) return 0;
  for (const char* p = name; *p != '\0'; ++p)
    if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F) return 0;
  for (const char* part = name; *part != '\0';) {
    size_t length = 0;
    while (part[length] != '\0' && !IsSeparator(part[length])) ++length;
    if (length == 0 || IsDeviceName(part, length)) return 0;  // "a\\b" or a device
    part += length;
    if (*part != '\0') ++part;
  }
  return 1;
}

int IsPlainHomeName(const char* name) {
  if (!IsSafeHomeName(name)) return 0;
  for (const char* p = name; *p != '\0'; ++p)
    if (IsSeparator(*p)) return 0;
  return 1;
}
