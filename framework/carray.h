// CArray<TYPE, ARG_TYPE>: a growable array of plain records held by value in
// one contiguous block. Growth follows the framework's rule: a block-less
// array allocates exactly the requested count; a full one grows by
// count / 8 elements, clamped to [4, 1024] (or to the requested count when
// that is larger). Appends copy bytes; new slots are zero-filled.
#pragma once

#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "framework/framework_exception.h"

template <typename TYPE, typename ARG_TYPE = const TYPE&>
class CArray {
  static_assert(std::is_trivially_copyable<TYPE>::value, "records are copied byte for byte");

 public:
  CArray() = default;
  CArray(const CArray&) = delete;
  CArray& operator=(const CArray&) = delete;
  ~CArray() { RemoveAll(); }

  int GetSize() const { return size_; }
  int GetCount() const { return size_; }
  int GetCapacity() const { return capacity_; }
  bool IsEmpty() const { return size_ == 0; }

  // Frees the block; count and capacity become 0.
  void RemoveAll() {
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
  }

  // Appends a byte copy of the record; returns its index.
  int Add(const TYPE& element) {
    int index = size_;
    SetSize(size_ + 1);
    std::memcpy(static_cast<void*>(&data_[index]), &element, sizeof(TYPE));
    return index;
  }

  TYPE& ElementAt(int index) {
    if (index < 0 || index >= size_) throw CInvalidArgException();
    return data_[index];
  }
  const TYPE& GetAt(int index) const {
    if (index < 0 || index >= size_) throw CInvalidArgException();
    return data_[index];
  }
  TYPE& operator[](int index) { return ElementAt(index); }
  const TYPE& operator[](int index) const { return GetAt(index); }
  const TYPE* GetData() const { return data_; }

  void SetSize(int newSize) {
    if (newSize < 0) throw CInvalidArgException();
    if (newSize == 0) {
      RemoveAll();
      return;
    }
    if (data_ == nullptr) {
      data_ = Allocate(newSize);
      capacity_ = newSize;
      size_ = newSize;
      return;
    }
    if (newSize <= capacity_) {
      if (newSize > size_)
        std::memset(static_cast<void*>(&data_[size_]), 0, sizeof(TYPE) * static_cast<size_t>(newSize - size_));
      size_ = newSize;
      return;
    }
    int growBy = size_ / 8;
    growBy = growBy < 4 ? 4 : (growBy > 1024 ? 1024 : growBy);
    int newCapacity = newSize < capacity_ + growBy ? capacity_ + growBy : newSize;
    // Grown in place where the allocator can (a large block is remapped, not
    // copied, and the old and new blocks never both exist); the new slots
    // are zeroed here. On failure the array stays as it was.
    if (static_cast<size_t>(newCapacity) > static_cast<size_t>(-1) / sizeof(TYPE)) throw CMemoryException();
    void* grown = std::realloc(data_, sizeof(TYPE) * static_cast<size_t>(newCapacity));
    if (grown == nullptr) throw CMemoryException();
    data_ = static_cast<TYPE*>(grown);
    // Only the slots now in use are zeroed; the reserve is zeroed as it comes
    // into use, so its pages are not touched before they are needed.
    std::memset(static_cast<void*>(&data_[size_]), 0, sizeof(TYPE) * static_cast<size_t>(newSize - size_));
    capacity_ = newCapacity;
    size_ = newSize;
  }

 private:
  static TYPE* Allocate(int count) {
    if (static_cast<size_t>(count) > static_cast<size_t>(-1) / sizeof(TYPE)) throw CMemoryException();
    void* block = std::calloc(static_cast<size_t>(count), sizeof(TYPE));
    if (block == nullptr) throw CMemoryException();
    return static_cast<TYPE*>(block);
  }

  TYPE* data_ = nullptr;
  int size_ = 0;
  int capacity_ = 0;
};
