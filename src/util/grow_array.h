// Growable array of equal-sized elements.
#pragma once

#include <cstdint>

// Grows to the initial capacity (4 unless set before the first growth), then
// doubles. An allocation failure leaves the array as it was and is reported
// by a 0 result. Elements are plain bytes: they are copied, never constructed.
class GrowArray {
 public:
  // An element size below 1 is taken as 1. Without a label the label is
  // "F" followed by the element size.
  explicit GrowArray(int element_size, const char* label = nullptr);
  ~GrowArray();
  GrowArray(const GrowArray&) = delete;
  GrowArray& operator=(const GrowArray&) = delete;

  // Capacity of the first growth; takes effect only before it.
  void SetInitialCapacity(int capacity);
  // Makes room for one more element. 1, or 0 when the block cannot be grown.
  int EnsureRoom();
  // Copies element_size bytes from element. The new count, or 0 when element
  // is missing or there is no room.
  int Append(const void* element);
  // Address of element i, or none when i is out of range.
  void* Element(int i) const;
  // Frees the block; the array is empty afterwards.
  void Release();
  // Forgets every element and keeps the block.
  void Clear() { count_ = 0; }

  int Count() const { return count_; }
  int Capacity() const { return capacity_; }
  int ElementSize() const { return element_size_; }
  const char* Label() const { return label_; }

 private:
  uint8_t* data_ = nullptr;
  int count_ = 0;
  int element_size_;
  int capacity_ = 0;
  int initial_capacity_ = 4;
  char label_[31];
};
