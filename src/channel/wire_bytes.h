// Bounded reading and writing of wire fields, shared by the module and the
// reference peers. Fields are read and written one byte at a time in the
// stated order; nothing is ever cast over received bytes.
//
// A reader that runs past its end, or a writer that runs past its room, sets
// its overflow flag, which stays set: reads then give zeros and writes are
// dropped. Callers check the flag once, after the last field.
#pragma once

#include <cstdint>
#include <cstring>

namespace wire {

class ByteReader {
 public:
  ByteReader(const uint8_t* data, int32_t length) : data_(data), length_(data != nullptr && length > 0 ? length : 0) {}

  uint8_t U8() { return Has(1) ? data_[position_++] : 0; }
  uint16_t U16BE() {
    if (!Has(2)) return 0;
    const uint16_t value = static_cast<uint16_t>(data_[position_] << 8 | data_[position_ + 1]);
    position_ += 2;
    return value;
  }
  uint32_t U32BE() {
    if (!Has(4)) return 0;
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | data_[position_ + i];
    position_ += 4;
    return value;
  }
  uint32_t U32LE() {
    if (!Has(4)) return 0;
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | data_[position_ + i];
    position_ += 4;
    return value;
  }
  // Skips n bytes.
  void Skip(int32_t n) {
    if (Has(n)) position_ += n;
  }

  int32_t Position() const { return position_; }
  int32_t Remaining() const { return length_ - position_; }
  bool Overflowed() const { return overflowed_; }

 private:
  bool Has(int32_t n) {
    if (n >= 0 && !overflowed_ && n <= length_ - position_) return true;
    overflowed_ = true;
    return false;
  }

  const uint8_t* data_;
  int32_t length_;
  int32_t position_ = 0;
  bool overflowed_ = false;
};

class ByteWriter {
 public:
  ByteWriter(uint8_t* out, int32_t size) : out_(out), size_(out != nullptr && size > 0 ? size : 0) {}

  void U8(uint8_t value) {
    if (Room(1)) out_[length_++] = value;
  }
  void U16BE(uint16_t value) {
    if (!Room(2)) return;
    out_[length_++] = static_cast<uint8_t>(value >> 8);
    out_[length_++] = static_cast<uint8_t>(value);
  }
  void U32BE(uint32_t value) {
    if (!Room(4)) return;
    for (int i = 3; i >= 0; --i) out_[length_++] = static_cast<uint8_t>(value >> (8 * i));
  }
  void U32LE(uint32_t value) {
    if (!Room(4)) return;
    for (int i = 0; i < 4; ++i) out_[length_++] = static_cast<uint8_t>(value >> (8 * i));
  }
  void Bytes(const void* bytes, int32_t n) {
    if (n == 0 || !Room(n)) return;
    memcpy(out_ + length_, bytes, static_cast<size_t>(n));
    length_ += n;
  }
  // The text's characters, without its NUL.
  void Text(const char* text) { Bytes(text, static_cast<int32_t>(strlen(text))); }

  int32_t Length() const { return length_; }
  bool Overflowed() const { return overflowed_; }

 private:
  bool Room(int32_t n) {
    if (n >= 0 && !overflowed_ && n <= size_ - length_) return true;
    overflowed_ = true;
    return false;
  }

  uint8_t* out_;
  int32_t size_;
  int32_t length_ = 0;
  bool overflowed_ = false;
};

}  // namespace wire
