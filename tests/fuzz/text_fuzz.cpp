// Any bytes through the two guards of text that leaves the module: the path
// check of names from outside and the HTML escaping of the screenshot log.
// Each checks its promise on every input.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "util/path_check.h"
#include "util/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const char* name = text.c_str();  // up to its first NUL

  // A name the check lets through stays inside the home folder.
  if (IsSafeHomeName(name)) {
    const size_t length = strlen(name);
    if (length == 0 || name[0] == '\\' || name[0] == '/' || strstr(name, "..") != nullptr ||
        strchr(name, ':') != nullptr || HasControlBytes(name))
      abort();
    if (IsPlainHomeName(name) && (strchr(name, '\\') != nullptr || strchr(name, '/') != nullptr)) abort();
  }

  // Escaped text holds no markup, no control byte, and fits its room.
  const int room = 1 + (size > 0 ? data[0] % 200 : 0);
  char out[256];
  memset(out, 'Z', sizeof out);
  EscapeHtml(name, out, room);
  const size_t length = strlen(out);
  if (length >= static_cast<size_t>(room) || (room < 255 && out[room] != 'Z')) abort();
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(out[i]);
    if (c == '<' || c == '>' || c == '"' || c == '\'' || c < 0x20 || c == 0x7F) abort();
    if (c == '&' && strncmp(out + i, "&amp;", 5) != 0 && strncmp(out + i, "&lt;", 4) != 0 &&
        strncmp(out + i, "&gt;", 4) != 0 && strncmp(out + i, "&quot;", 6) != 0 && strncmp(out + i, "&#39;", 5) != 0)
      abort();
  }
  return 0;
}
