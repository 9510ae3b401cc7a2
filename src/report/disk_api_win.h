// The device calls behind a drive letter's disk, answered by kernel32.
#pragma once

#include "report/disk_api.h"

namespace tarnvik::win {

/// CreateFileW, DeviceIoControl, CloseHandle and the event calls as they are; the handle travels
/// as a number and GetLastError is read at once, on the calling thread.
class WinDiskApi final : public DiskApi {
 public:
  DeviceHandle CreateFileW(const std::string& path, uint32_t desiredAccess, uint32_t* lastError) override;
  int DeviceIoControl(DeviceHandle device, uint32_t controlCode, const void* in, uint32_t inSize, void* out,
                      uint32_t outSize, uint32_t* bytesReturned, uint32_t* lastError) override;
  int CloseHandle(DeviceHandle device) override;
  DeviceHandle CreateEventW() override;
  int SetEvent(DeviceHandle event) override;
  uint32_t WaitForSingleObject(DeviceHandle event, uint32_t milliseconds) override;
};

}  // namespace tarnvik::win
