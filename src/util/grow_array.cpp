#include "util/grow_array.h"

#include <cstdlib>
#include <cstring>

#include "util/memory.h"
#include "util/text.h"

GrowArray::GrowArray(int element_size, const char* label) : element_size_(element_size < 1 ? 1 : element_size) {
  if (label != nullptr && label[0] != '\0') {
    CopyBounded(label_, label, 30);
  } else {
    FormatText(label_, sizeof label_, "F%ld", static_cast<long>(element_size_));
  }
}

GrowArray::~GrowArray() { Release(); }

void GrowArray::SetInitialCapacity(int capacity) {
  if (capacity > 0) initial_capacity_ = capacity;
}

int GrowArray::EnsureRoom() {
  if (count_ < capacity_) return 1;
  int64_t wanted = capacity_ < initial_capacity_ ? initial_capacity_ : static_cast<int64_t>(capacity_) * 2;
  int64_t bytes = wanted * element_size_;
  if (wanted > INT32_MAX || bytes > INT32_MAX) return 0;
  uint8_t* block = static_cast<uint8_t*>(MemoryAllocate(static_cast<size_t>(bytes)));
  if (block == nullptr) return 0;
  if (data_ != nullptr) {
    memcpy(block, data_, static_cast<size_t>(count_) * static_cast<size_t>(element_size_));
    MemoryFree(data_);
  }
  data_ = block;
  capacity_ = static_cast<int>(wanted);
  return 1;
}

int GrowArray::Append(const void* element) {
  if (element == nullptr || !EnsureRoom()) return 0;
  memcpy(data_ + static_cast<size_t>(count_) * static_cast<size_t>(element_size_), element,
         static_cast<size_t>(element_size_));
  return ++count_;
}

void* GrowArray::Element(int i) const {
  if (i < 0 || i >= count_) return nullptr;
  return data_ + static_cast<size_t>(i) * static_cast<size_t>(element_size_);
}

void GrowArray::Release() {
  MemoryFree(data_);
  data_ = nullptr;
  count_ = 0;
  capacity_ = 0;
}
