#include "channel/master_wire.h"

#include <cstdio>
#include <cstring>

#include "tallyguard/host_interface.h"

namespace master_wire {

int FormatQuery(int which, char* out, int size, const char* token, int number) {
  const int n = snprintf(
      out, static_cast<size_t>(size),
      which == 1 ? "TG_Q1 token=%-15.15s req=%2d client %d first" : "TG_Q2 token=%-15.15s req=%2d client %d again",
      token, number, TG_MODULE_VERSION);
  return n < 0 ? 0 : n < size ? n : size - 1;
}

bool ReadQueryToken(const char* text, int length, char* out) {
  const char prefix[] = "TG_Q1 token=";
  const int start = sizeof prefix - 1;
  out[0] = '\0';
  if (length < start + 15 || memcmp(text, prefix, start) != 0) return false;
  int n = 0;
  while (n < 15 && text[start + n] != ' ' && text[start + n] != '\0') {
    out[n] = text[start + n];
    ++n;
  }
  out[n] = '\0';
  return n > 0;
}

void MaskDatabaseText(uint8_t* bytes, int length, const char* token) {
  const int n = static_cast<int>(strlen(token));
  if (n == 0) return;
  for (int i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(bytes[i] ^ static_cast<uint8_t>(token[i % n]));
}

void MaskTransfer(uint8_t* payload, int length, const char* token) {
  const int n = static_cast<int>(strlen(token));
  if (n == 0 || length <= 4) return;
  for (int k = 4; k < length; ++k)
    payload[k] = static_cast<uint8_t>(payload[k] ^ static_cast<uint8_t>(token[(k + 8) % n]));
}

}  // namespace master_wire
