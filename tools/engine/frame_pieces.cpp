#include "engine/frame_pieces.h"

#include <cstdio>
#include <cstring>

namespace engine_link {

namespace {

// Reads a decimal number of at most 5 digits followed by one space; moves
// text past both.
bool ReadNumber(const char** text, uint32_t* value) {
  const char* p = *text;
  uint32_t n = 0;
  int digits = 0;
  while (*p >= '0' && *p <= '9' && digits < 6) n = n * 10 + static_cast<uint32_t>(*p++ - '0'), ++digits;
  if (digits == 0 || digits > 5 || *p != ' ') return false;
  *value = n;
  *text = p + 1;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

int PieceCount(int length) {
  if (length <= 0 || length > kMaxFrameBytes) return 0;
  return (length + kPieceBytes - 1) / kPieceBytes;
}

bool WritePiece(const char* word, uint32_t id, const uint8_t* frame, int length, int index, char* out, size_t size) {
  const int count = PieceCount(length);
  const size_t word_length = word != nullptr ? strlen(word) : 0;
  if (count == 0 || frame == nullptr || index < 0 || index >= count || id > 65535 || word_length == 0 ||
      word_length > static_cast<size_t>(kMaxWordChars) || out == nullptr ||
      size < static_cast<size_t>(kMaxCommandChars) + 1)
    return false;
  int n = snprintf(out, size, "%s %u %d %d ", word, static_cast<unsigned>(id), index, count);
  const int first = index * kPieceBytes;
  const int bytes = length - first < kPieceBytes ? length - first : kPieceBytes;
  static const char kHex[] = "0123456789abcdef";
  for (int i = 0; i < bytes; ++i) {
    out[n++] = kHex[frame[first + i] >> 4];
    out[n++] = kHex[frame[first + i] & 15];
  }
  out[n] = '\0';
  return true;
}

void PieceAssembler::Reset() {
  if (active_ && have_ != 0) ++abandoned_;
  active_ = false;
  have_ = 0;
}

PieceAssembler::Outcome PieceAssembler::Take(const char* arguments) {
  if (arguments == nullptr) return Outcome::kRejected;
  const char* p = arguments;
  uint32_t id = 0, index = 0, count = 0;
  if (!ReadNumber(&p, &id) || !ReadNumber(&p, &index) || !ReadNumber(&p, &count)) return Outcome::kRejected;
  if (id > 65535 || count < 1 || count > static_cast<uint32_t>(kMaxPieces) || index >= count) return Outcome::kRejected;
  const size_t digits = strlen(p);
  const bool last = index + 1 == count;
  const size_t full = 2 * static_cast<size_t>(kPieceBytes);
  if (digits == 0 || digits % 2 != 0 || digits > full || (!last && digits != full)) return Outcome::kRejected;
  // The last of five pieces holds at most what is left of kMaxFrameBytes.
  if (index * kPieceBytes + digits / 2 > static_cast<size_t>(kMaxFrameBytes)) return Outcome::kRejected;
  for (size_t i = 0; i < digits; ++i)
    if (HexDigit(p[i]) < 0) return Outcome::kRejected;

  // A late copy of a piece of the frame last completed is no new frame.
  if (completed_any_ && id == completed_id_ && !(active_ && id == id_)) return Outcome::kRepeat;
  if (active_ && (id != id_ || static_cast<int>(count) != count_)) {
    if (id == id_) return Outcome::kRejected;  // the same frame cannot change its piece count
    Reset();
  }
  if (!active_) {
    active_ = true;
    id_ = id;
    count_ = static_cast<int>(count);
    have_ = 0;
  }
  const uint32_t bit = 1u << index;
  if ((have_ & bit) != 0) return Outcome::kRepeat;
  uint8_t* to = bytes_ + index * kPieceBytes;
  for (size_t i = 0; i < digits; i += 2) *to++ = static_cast<uint8_t>(HexDigit(p[i]) << 4 | HexDigit(p[i + 1]));
  have_ |= bit;
  if (last) last_length_ = static_cast<int>(digits / 2);
  if (have_ != (1u << count_) - 1) return Outcome::kPartial;
  length_ = (count_ - 1) * kPieceBytes + last_length_;
  active_ = false;
  have_ = 0;
  completed_any_ = true;
  completed_id_ = id_;
  return Outcome::kComplete;
}

}  // namespace engine_link
