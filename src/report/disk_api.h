// The kernel32 device calls behind the disk of a drive letter, one method per call, and the event
// that bounds how long a report waits for them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace tarnvik {

/// An open device or event as the platform hands it out; kNoDevice when an open failed.
using DeviceHandle = uintptr_t;
inline constexpr DeviceHandle kNoDevice = 0;

/// WaitForSingleObject's answers.
inline constexpr uint32_t kWaitObject0 = 0;
inline constexpr uint32_t kWaitTimeout = 258;

/// Mirrors CreateFileW, DeviceIoControl and CloseHandle for device paths such as "\\.\C:" and
/// "\\.\PhysicalDrive0", and CreateEventW, SetEvent and WaitForSingleObject for the deadline the
/// disk questions are given. The last error comes back through an output instead of a thread's
/// error slot, so each drive's worker reads its own.
class DiskApi {
 public:
  virtual ~DiskApi() = default;

  /// CreateFileW(path, desiredAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, no security,
  /// OPEN_EXISTING, 0, no template); path is ASCII, as device paths are. kNoDevice on failure, with *lastError set.
  /// Access 0 asks for no read or write right: the controls used here need none, and a
  /// standard user is refused read access to volumes and disks from Vista on.
  virtual DeviceHandle CreateFileW(const std::string& path, uint32_t desiredAccess, uint32_t* lastError) = 0;

  /// DeviceIoControl without an OVERLAPPED. Non-zero on success. *bytesReturned holds what the
  /// driver wrote (also on some failures, ERROR_MORE_DATA among them); *lastError is 0 on success.
  virtual int DeviceIoControl(DeviceHandle device, uint32_t controlCode, const void* in, uint32_t inSize, void* out,
                              uint32_t outSize, uint32_t* bytesReturned, uint32_t* lastError) = 0;

  /// Non-zero on success; closes events too.
  virtual int CloseHandle(DeviceHandle device) = 0;

  /// CreateEventW(no security, manual reset, not signalled, no name); kNoDevice on failure.
  virtual DeviceHandle CreateEventW() = 0;
  /// Non-zero on success.
  virtual int SetEvent(DeviceHandle event) = 0;
  /// kWaitObject0 once `event` is set, kWaitTimeout after `milliseconds`; anything else on failure.
  virtual uint32_t WaitForSingleObject(DeviceHandle event, uint32_t milliseconds) = 0;
};

/// Owns one open device of a DiskApi and closes it when it goes.
class ScopedDevice {
 public:
  ScopedDevice(DiskApi& api, DeviceHandle device) : api_(&api), device_(device) {}
  ~ScopedDevice() {
    if (device_ != kNoDevice) api_->CloseHandle(device_);
  }
  ScopedDevice(const ScopedDevice&) = delete;
  ScopedDevice& operator=(const ScopedDevice&) = delete;
  ScopedDevice(ScopedDevice&& other) noexcept
      : api_(other.api_), device_(std::exchange(other.device_, kNoDevice)) {}
  ScopedDevice& operator=(ScopedDevice&&) = delete;

  DeviceHandle get() const { return device_; }
  explicit operator bool() const { return device_ != kNoDevice; }

 private:
  DiskApi* api_;
  DeviceHandle device_;
};

}  // namespace tarnvik
