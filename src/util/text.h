// Bounded formatting, number readers and text search shared by every parser.
#pragma once

#include <cstdarg>
#include <cstdint>

// Formats with vsnprintf rules into buffer; buffer[size - 1] is always NUL, so
// longer output is cut silently. Gives vsnprintf's result (0 when size <= 0).
int FormatText(char* buffer, int size, const char* format, ...) __attribute__((format(printf, 3, 4)));
int FormatTextV(char* buffer, int size, const char* format, va_list args) __attribute__((format(printf, 3, 0)));

// Appends after the text already in buffer. Writes nothing when the buffer
// already holds size - 1 characters or more, and then gives the current
// length; otherwise gives the formatting result.
int AppendText(char* buffer, int size, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Formats value with the given number of decimals, then drops trailing zeros
// and a trailing decimal point (2.5 with 3 decimals gives "2.5"; 3 gives "3").
// The decimal point is "." whatever locale the host has set. Gives buffer.
char* FormatDecimal(double value, char* buffer, int size, int decimals);

// The C library's atof as it reads in the "C" locale ("." is the decimal
// point), whatever locale the host has set.
double ReadDecimal(const char* text);

// Decimal reader: "-" characters are skipped wherever they stand, each digit
// makes value * 10 + digit (32-bit wrap-around), anything else ends the
// reading. A missing text reads 0.
int32_t ReadDigits(const char* text);

// The C library's text-to-integer reading (leading blanks, an optional
// sign, digits up to the first other character), saturating at the limits
// of 32 bits as the Windows runtime's atoi does. A missing text reads 0.
int32_t ReadInteger(const char* text);
// Hexadecimal reader (either case). With limit above 0, reads at most limit
// digits. A missing text reads 0.
int32_t ReadHex(const char* text, int limit);

// Removes, in place, leading and trailing characters that occur in set.
// A missing text gives a static empty text. Gives text.
char* TrimChars(char* text, const char* set);

// First occurrence of pattern in text, or none. A missing or empty pattern
// gives text itself; a missing or empty text has no occurrence.
const char* FindText(const char* text, const char* pattern, int case_sensitive);

// Copies at most n characters of source and always writes NUL at
// destination[n]: destination must hold n + 1 bytes.
void CopyBounded(char* destination, const char* source, int n);

// Compares the first n letters of a and b regardless of case; 1 when equal.
int SameLettersN(const char* a, const char* b, int n);
// Whole texts regardless of case; 1 when equal.
int SameLetters(const char* a, const char* b);

// Copies text for an HTML page: the characters that mean something there
// (& < > " ') become entities and control bytes become '?', so a text from
// the host or the network shows as text on one line. out holds size bytes
// and always ends in NUL; an entity that does not fit is left off whole.
void EscapeHtml(const char* text, char* out, int size);

// 1 when text holds a control byte (below 0x20, or 0x7F).
int HasControlBytes(const char* text);

// "s" unless count is 1.
inline const char* PluralS(long count) { return count == 1 ? "" : "s"; }
