// Owners of Windows resources: each frees what it holds when it goes out of
// scope, on every path. A COM pointer, a BSTR, a registry key and a kernel
// handle; none throws.
//
// Each adopts what it is given, and Out() hands the address of its (emptied)
// slot to a function that fills an out-parameter.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <utility>

namespace pelmora::server {

// An owned interface pointer: one reference, released on destruction.
template <class I>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(I* adopted) noexcept : p_(adopted) {}
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    Reset();
    p_ = std::exchange(other.p_, nullptr);
    return *this;
  }
  ~ComPtr() { Reset(); }

  void Reset() noexcept {
    if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
  }
  I* get() const noexcept { return p_; }
  I* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // Gives up the reference without releasing it.
  I* Detach() noexcept { return std::exchange(p_, nullptr); }
  // For out-parameters: releases what is held first.
  I** Out() noexcept {
    Reset();
    return &p_;
  }
  void** OutVoid() noexcept { return reinterpret_cast<void**>(Out()); }

 private:
  I* p_ = nullptr;
};

// An owned BSTR, freed on destruction; the null BSTR owns nothing.
class Bstr {
 public:
  Bstr() = default;
  // Copies of a text; null when the string cannot be allocated.
  explicit Bstr(const wchar_t* text) : b_(SysAllocString(text)) {}
  Bstr(const wchar_t* units, UINT length) : b_(SysAllocStringLen(units, length)) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }

  BSTR get() const noexcept { return b_; }
  BSTR Detach() noexcept { return std::exchange(b_, nullptr); }
  BSTR* Out() noexcept {
    SysFreeString(std::exchange(b_, nullptr));
    return &b_;
  }

 private:
  BSTR b_ = nullptr;
};

// An open registry key, closed on destruction.
class RegKey {
 public:
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() { Close(); }

  HKEY get() const noexcept { return key_; }
  PHKEY Out() noexcept {
    Close();
    return &key_;
  }

 private:
  void Close() noexcept {
    if (key_ != nullptr) RegCloseKey(std::exchange(key_, nullptr));
  }
  HKEY key_ = nullptr;
};

// An open kernel handle (a file), closed on destruction; INVALID_HANDLE_VALUE
// owns nothing.
class Handle {
 public:
  explicit Handle(HANDLE adopted) noexcept : h_(adopted) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (valid()) CloseHandle(h_);
  }

  HANDLE get() const noexcept { return h_; }
  bool valid() const noexcept { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }

 private:
  HANDLE h_;
};

// The attributes of a type library (ITypeLib::GetLibAttr), given back to
// the library on destruction. The library outlives its owner.
class LibAttr {
 public:
  explicit LibAttr(ITypeLib* library) noexcept : library_(library) {}
  LibAttr(const LibAttr&) = delete;
  LibAttr& operator=(const LibAttr&) = delete;
  ~LibAttr() { Reset(); }

  const TLIBATTR* operator->() const noexcept { return attr_; }
  TLIBATTR** Out() noexcept {
    Reset();
    return &attr_;
  }

 private:
  void Reset() noexcept {
    if (attr_ != nullptr) library_->ReleaseTLibAttr(std::exchange(attr_, nullptr));
  }
  ITypeLib* library_;
  TLIBATTR* attr_ = nullptr;
};

}  // namespace pelmora::server
