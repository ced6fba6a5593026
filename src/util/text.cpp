#include "util/text.h"

#include <cctype>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int FormatTextV(char* buffer, int size, const char* format, va_list args) {
  if (buffer == nullptr || size <= 0) return 0;
  int result = vsnprintf(buffer, static_cast<size_t>(size), format, args);
  buffer[size - 1] = '\0';
  return result;
}

int FormatText(char* buffer, int size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = FormatTextV(buffer, size, format, args);
  va_end(args);
  return result;
}

int AppendText(char* buffer, int size, const char* format, ...) {
  if (buffer == nullptr || size <= 0) return 0;
  int length = static_cast<int>(strnlen(buffer, static_cast<size_t>(size)));
  if (length >= size - 1) return length;
  va_list args;
  va_start(args, format);
  int result = FormatTextV(buffer + length, size - length, format, args);
  va_end(args);
  return result;
}

namespace {

// The longest number text read; the host query buffer holds no more.
const int kDecimalTextSize = 256;

// The decimal point of the locale the C library works in now.
char LocalePoint() {
  const lconv* conventions = localeconv();
  return conventions != nullptr && conventions->decimal_point != nullptr && conventions->decimal_point[0] != '\0'
             ? conventions->decimal_point[0]
             : '.';
}

}  // namespace

double ReadDecimal(const char* text) {
  if (text == nullptr) return 0.0;
  const char point = LocalePoint();
  if (point == '.') return atof(text);
  // Read as the "C" locale would: the text ends where the locale's own point
  // stands, and its "." becomes that point.
  char copy[kDecimalTextSize];
  size_t n = 0;
  for (; text[n] != '\0' && text[n] != point && n + 1 < sizeof copy; ++n) copy[n] = text[n] == '.' ? point : text[n];
  copy[n] = '\0';
  return atof(copy);
}

char* FormatDecimal(double value, char* buffer, int size, int decimals) {
  FormatText(buffer, size, "%.*f", decimals, value);
  const char point = LocalePoint();
  if (point != '.')
    for (char* p = buffer; *p != '\0'; ++p)
      if (*p == point) *p = '.';
  if (strchr(buffer, '.') == nullptr) return buffer;
  int i = static_cast<int>(strlen(buffer)) - 1;
  while (i > 0 && buffer[i] == '0') buffer[i--] = '\0';
  if (i > 0 && buffer[i] == '.') buffer[i] = '\0';
  return buffer;
}

int32_t ReadDigits(const char* text) {
  uint32_t value = 0;
  if (text == nullptr) return 0;
  for (; *text != '\0'; ++text) {
    if (*text == '-') continue;
    if (*text < '0' || *text > '9') break;
    value = value * 10u + static_cast<uint32_t>(*text - '0');
  }
  return static_cast<int32_t>(value);
}

int32_t ReadInteger(const char* text) {
  if (text == nullptr) return 0;
  const long long value = strtoll(text, nullptr, 10);
  return value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : static_cast<int32_t>(value);
}

int32_t ReadHex(const char* text, int limit) {
  uint32_t value = 0;
  if (text == nullptr) return 0;
  for (int n = 0; text[n] != '\0' && (limit <= 0 || n < limit); ++n) {
    char c = text[n];
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      break;
    }
    value = value * 16u + digit;
  }
  return static_cast<int32_t>(value);
}

char* TrimChars(char* text, const char* set) {
  static char empty[1];
  if (text == nullptr) {
    empty[0] = '\0';
    return empty;
  }
  size_t start = 0;
  while (text[start] != '\0' && strchr(set, text[start]) != nullptr) ++start;
  size_t length = strlen(text + start);
  if (start > 0) memmove(text, text + start, length + 1);
  while (length > 0 && strchr(set, text[length - 1]) != nullptr) text[--length] = '\0';
  return text;
}

const char* FindText(const char* text, const char* pattern, int case_sensitive) {
  if (pattern == nullptr || pattern[0] == '\0') return text;
  if (text == nullptr || text[0] == '\0') return nullptr;
  if (case_sensitive) return strstr(text, pattern);
  size_t n = strlen(pattern);
  for (const char* p = text; *p != '\0'; ++p) {
    if (SameLettersN(p, pattern, static_cast<int>(n))) return p;
  }
  return nullptr;
}

void CopyBounded(char* destination, const char* source, int n) {
  if (destination == nullptr || n < 0) return;
  int i = 0;
  if (source != nullptr)
    for (; i < n && source[i] != '\0'; ++i) destination[i] = source[i];
  destination[i] = '\0';
  destination[n] = '\0';
}

int SameLettersN(const char* a, const char* b, int n) {
  for (int i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (tolower(x) != tolower(y)) return 0;
    if (x == '\0') return 1;
  }
  return 1;
}

int SameLetters(const char* a, const char* b) {
  size_t n = strlen(a);
  return strlen(b) == n && SameLettersN(a, b, static_cast<int>(n));
}

int HasControlBytes(const char* text) {
  for (const char* p = text; p != nullptr && *p != '\0'; ++p)
    if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F) return 1;
  return 0;
}

void EscapeHtml(const char* text, char* out, int size) {
  if (out == nullptr || size < 1) return;
  int n = 0;
  for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    const char* entity = c == '&'    ? "&amp;"
                         : c == '<'  ? "&lt;"
                         : c == '>'  ? "&gt;"
                         : c == '"'  ? "&quot;"
                         : c == '\'' ? "&#39;"
                                     : nullptr;
    const char plain[2] = {static_cast<char>(c < 0x20 || c == 0x7F ? '?' : c), '\0'};
    if (entity == nullptr) entity = plain;
    const int length = static_cast<int>(strlen(entity));
    if (n + length > size - 1) break;
    memcpy(out + n, entity, static_cast<size_t>(length));
    n += length;
  }
  out[n] = '\0';
}
