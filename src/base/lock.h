// The lock the program's threads share state under. On Windows it is a critical section of the
// program's own: the shipped program is built on the toolchain's win32 thread model, whose runtime
// starts on Windows XP but has no std::mutex (the posix model's runtime needs Vista). Elsewhere,
// natively and under ThreadSanitizer, it is std::mutex itself.
#pragma once

#if defined(_WIN32)

#include <cstddef>

namespace tarnvik {

/// A non-recursive lock for std::lock_guard, over a CRITICAL_SECTION held in place.
class Lock {
 public:
  Lock() noexcept;
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void lock() noexcept;
  void unlock() noexcept;

 private:
  // sizeof(CRITICAL_SECTION); lock_win.cpp checks it against the system's headers.
  static constexpr std::size_t kSectionSize = sizeof(void*) == 8 ? 40 : 24;
  alignas(void*) unsigned char section_[kSectionSize];
};

}  // namespace tarnvik

#else

#include <mutex>

namespace tarnvik {

using Lock = std::mutex;

}  // namespace tarnvik

#endif
