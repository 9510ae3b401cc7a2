// Owners for Windows handles and COM pointers: one release path for every kind.
#pragma once

#include <utility>

#include "base/win32_win.h"

namespace tarnvik::win {

/// Owns one handle; the traits say what an empty handle is and how it is released.
template <typename Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;
  ScopedHandle() = default;
  explicit ScopedHandle(Handle h) : handle_(h) {}
  ~ScopedHandle() { reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.take()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) reset(other.take());
    return *this;
  }

  Handle get() const { return handle_; }
  /// For calls that fill a handle: releases the current one first.
  Handle* put() {
    reset();
    return &handle_;
  }
  Handle take() { return std::exchange(handle_, Traits::Empty()); }
  void reset(Handle h = Traits::Empty()) {
    if (Traits::IsValid(handle_)) Traits::Close(handle_);
    handle_ = h;
  }
  explicit operator bool() const { return Traits::IsValid(handle_); }

 private:
  Handle handle_ = Traits::Empty();
};

struct KernelHandleTraits {  // CloseHandle; both 0 and INVALID_HANDLE_VALUE mean none
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::RegCloseKey(h); }
};
struct GdiObjectTraits {
  using Handle = HGDIOBJ;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};
struct IconTraits {
  using Handle = HICON;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DestroyIcon(h); }
};
struct MenuTraits {
  using Handle = HMENU;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DestroyMenu(h); }
};
struct MemoryDcTraits {
  using Handle = HDC;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DeleteDC(h); }
};
struct LocalMemoryTraits {
  using Handle = HLOCAL;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::LocalFree(h); }
};

using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>;
using ScopedRegKey = ScopedHandle<RegKeyTraits>;
using ScopedGdiObject = ScopedHandle<GdiObjectTraits>;
using ScopedIcon = ScopedHandle<IconTraits>;
using ScopedMenu = ScopedHandle<MenuTraits>;
using ScopedMemoryDc = ScopedHandle<MemoryDcTraits>;
using ScopedLocalMemory = ScopedHandle<LocalMemoryTraits>;

/// A window's DC from GetDC, given back with ReleaseDC.
class ScopedGetDc {
 public:
  explicit ScopedGetDc(HWND hwnd) : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
  ~ScopedGetDc() {
    if (dc_ != nullptr) ::ReleaseDC(hwnd_, dc_);
  }
  ScopedGetDc(const ScopedGetDc&) = delete;
  ScopedGetDc& operator=(const ScopedGetDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};

/// Selects an object into a DC for one scope and puts the old one back.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~ScopedSelectObject() {
    if (old_ != nullptr && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
  }
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

/// Owns one COM interface pointer.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  void reset() {
    if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
  }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

}  // namespace tarnvik::win
