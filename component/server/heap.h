// Texts, byte blocks and lists on the C heap for the server's code, which is
// built without C++ exceptions: an allocation that fails leaves its object
// failed instead of throwing. A failed object stays failed through every
// later operation, and a text built from a failed text is failed too, so the
// code checks ok() once, where it uses what it built, and reports
// E_OUTOFMEMORY. None of them copies implicitly: Copy() makes a copy that
// can fail.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <utility>

namespace pelmora::server {

// A wide text, always terminated; the empty text owns no block.
class WideText {
 public:
  WideText() = default;
  // A copy of `text`; the null text gives the empty text.
  explicit WideText(const wchar_t* text) { Append(text); }
  WideText(const wchar_t* units, std::size_t length) { Append(units, length); }
  WideText(WideText&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)),
        failed_(std::exchange(other.failed_, false)) {}
  WideText& operator=(WideText&& other) noexcept {
    if (this != &other) {
      std::free(data_);
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
      failed_ = std::exchange(other.failed_, false);
    }
    return *this;
  }
  WideText(const WideText&) = delete;
  WideText& operator=(const WideText&) = delete;
  ~WideText() { std::free(data_); }

  WideText Copy() const {
    WideText copy;
    copy.Append(*this);
    return copy;
  }

  bool ok() const noexcept { return !failed_; }
  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  const wchar_t* c_str() const noexcept { return data_ != nullptr ? data_ : L""; }
  // The units, to be written in place after Resize.
  wchar_t* data() noexcept { return data_; }

  WideText& Append(const wchar_t* units, std::size_t length) {
    if (length == 0 || !Reserve(size_ + length)) return *this;
    std::memcpy(data_ + size_, units, length * sizeof(wchar_t));
    size_ += length;
    data_[size_] = L'\0';
    return *this;
  }
  WideText& Append(const wchar_t* text) {
    return text != nullptr ? Append(text, std::wcslen(text)) : *this;
  }
  WideText& Append(const WideText& text) {
    if (!text.ok()) Fail();
    return Append(text.c_str(), text.size());
  }

  // `length` units: the first ones kept, new ones zero. False when failed.
  bool Resize(std::size_t length) {
    if (!Reserve(length)) return false;
    if (length > size_) std::wmemset(data_ + size_, L'\0', length - size_);
    size_ = length;
    data_[size_] = L'\0';
    return true;
  }

 private:
  // Room for `length` units and the terminator.
  bool Reserve(std::size_t length) {
    if (failed_) return false;
    if (data_ != nullptr && length < capacity_) return true;
    if (length >= SIZE_MAX / sizeof(wchar_t) / 2) {
      Fail();
      return false;
    }
    const std::size_t capacity = length + 1 > 2 * capacity_ ? length + 1 : 2 * capacity_;
    void* const moved = std::realloc(data_, capacity * sizeof(wchar_t));
    if (moved == nullptr) {
      Fail();
      return false;
    }
    data_ = static_cast<wchar_t*>(moved);
    capacity_ = capacity;
    return true;
  }
  void Fail() noexcept {
    std::free(std::exchange(data_, nullptr));
    size_ = 0;
    capacity_ = 0;
    failed_ = true;
  }

  wchar_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;  // units, the terminator's included
  bool failed_ = false;
};

inline WideText operator+(WideText&& a, const wchar_t* b) {
  a.Append(b);
  return std::move(a);
}
inline WideText operator+(WideText&& a, const WideText& b) {
  a.Append(b);
  return std::move(a);
}
inline WideText operator+(const WideText& a, const wchar_t* b) { return a.Copy() + b; }
inline WideText operator+(const WideText& a, const WideText& b) { return a.Copy() + b; }
inline WideText operator+(const wchar_t* a, const WideText& b) { return WideText(a) + b; }

// A block of bytes of a size fixed when it is made.
class Bytes {
 public:
  Bytes() = default;
  Bytes(Bytes&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  Bytes& operator=(Bytes&& other) noexcept {
    if (this != &other) {
      std::free(data_);
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
    }
    return *this;
  }
  Bytes(const Bytes&) = delete;
  Bytes& operator=(const Bytes&) = delete;
  ~Bytes() { std::free(data_); }

  // `size` bytes of unspecified content (none for 0); false when they cannot
  // be allocated, the block then empty.
  bool Allocate(std::size_t size) {
    std::free(std::exchange(data_, nullptr));
    size_ = 0;
    if (size == 0) return true;
    data_ = static_cast<BYTE*>(std::malloc(size));
    if (data_ == nullptr) return false;
    size_ = size;
    return true;
  }
  // Keeps the first `size` bytes, no more than there are.
  void Shorten(std::size_t size) noexcept {
    if (size < size_) size_ = size;
  }

  BYTE* data() noexcept { return data_; }
  const BYTE* data() const noexcept { return data_; }
  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }

 private:
  BYTE* data_ = nullptr;
  std::size_t size_ = 0;
};

// A list of items that move without throwing. An item that cannot be added
// leaves the list failed, with the items it had.
template <class T>
class List {
 public:
  List() = default;
  List(List&& other) noexcept
      : items_(std::exchange(other.items_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)),
        failed_(std::exchange(other.failed_, false)) {}
  List(const List&) = delete;
  List& operator=(const List&) = delete;
  ~List() {
    for (std::size_t i = 0; i < size_; ++i) items_[i].~T();
    std::free(items_);
  }

  // False (the list failed) when the list cannot grow.
  bool Add(T&& item) {
    if (failed_) return false;
    if (size_ == capacity_ && !Grow()) {
      failed_ = true;
      return false;
    }
    new (items_ + size_) T(std::move(item));
    ++size_;
    return true;
  }

  bool ok() const noexcept { return !failed_; }
  std::size_t size() const noexcept { return size_; }
  T& operator[](std::size_t i) noexcept { return items_[i]; }
  const T& operator[](std::size_t i) const noexcept { return items_[i]; }
  T* begin() noexcept { return items_; }
  T* end() noexcept { return items_ + size_; }
  const T* begin() const noexcept { return items_; }
  const T* end() const noexcept { return items_ + size_; }

 private:
  bool Grow() {
    const std::size_t capacity = capacity_ == 0 ? 8 : 2 * capacity_;
    if (capacity > SIZE_MAX / sizeof(T)) return false;
    T* const items = static_cast<T*>(std::malloc(capacity * sizeof(T)));
    if (items == nullptr) return false;
    for (std::size_t i = 0; i < size_; ++i) {
      new (items + i) T(std::move(items_[i]));
      items_[i].~T();
    }
    std::free(items_);
    items_ = items;
    capacity_ = capacity;
    return true;
  }

  T* items_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  bool failed_ = false;
};

}  // namespace pelmora::server
