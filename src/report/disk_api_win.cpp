#include "report/disk_api_win.h"

#include <cstddef>
#include <string>

#include "base/win32_win.h"
#include "report/disk_facts.h"

#include <nvme.h>      // after <windows.h>, whose types they use
#include <winioctl.h>

namespace tarnvik::win {

// The portable side writes the control codes and layouts out by hand; the SDK's headers confirm them.
static_assert(ioctl::kVolumeGetVolumeDiskExtents == IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS);
static_assert(ioctl::kStorageQueryProperty == IOCTL_STORAGE_QUERY_PROPERTY);
static_assert(ioctl::kStoragePredictFailure == IOCTL_STORAGE_PREDICT_FAILURE);
static_assert(ioctl::kDiskGetDriveGeometryEx == IOCTL_DISK_GET_DRIVE_GEOMETRY_EX);
static_assert(ioctl::kStorageDeviceProperty == StorageDeviceProperty &&
              ioctl::kStorageDeviceSeekPenaltyProperty == StorageDeviceSeekPenaltyProperty &&
              ioctl::kStorageDeviceTrimProperty == StorageDeviceTrimProperty);
static_assert(ioctl::kErrorMoreData == ERROR_MORE_DATA);
static_assert(kWaitObject0 == WAIT_OBJECT_0 && kWaitTimeout == WAIT_TIMEOUT);
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == 12);
static_assert(sizeof(STORAGE_DEVICE_DESCRIPTOR) == 40 && offsetof(STORAGE_DEVICE_DESCRIPTOR, RemovableMedia) == 10 &&
              offsetof(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset) == 12 &&
              offsetof(STORAGE_DEVICE_DESCRIPTOR, ProductIdOffset) == 16 &&
              offsetof(STORAGE_DEVICE_DESCRIPTOR, ProductRevisionOffset) == 20 &&
              offsetof(STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset) == 24 &&
              offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) == 28);
static_assert(offsetof(VOLUME_DISK_EXTENTS, Extents) == 8 && sizeof(DISK_EXTENT) == 24 &&
              offsetof(DISK_EXTENT, DiskNumber) == 0);
static_assert(sizeof(DEVICE_SEEK_PENALTY_DESCRIPTOR) == 12 &&
              offsetof(DEVICE_SEEK_PENALTY_DESCRIPTOR, IncursSeekPenalty) == 8 &&
              offsetof(DEVICE_TRIM_DESCRIPTOR, TrimEnabled) == 8);
static_assert(offsetof(DISK_GEOMETRY_EX, DiskSize) == 24 && sizeof(STORAGE_PREDICT_FAILURE) == 516);

// The health questions.
static_assert(ioctl::kStorageAdapterProtocolSpecificProperty == StorageAdapterProtocolSpecificProperty &&
              ioctl::kStorageDeviceProtocolSpecificProperty == StorageDeviceProtocolSpecificProperty &&
              ioctl::kStorageDeviceTemperatureProperty == StorageDeviceTemperatureProperty &&
              ioctl::kProtocolTypeNvme == ProtocolTypeNvme && ioctl::kNvmeDataTypeLogPage == NVMeDataTypeLogPage &&
              ioctl::kNvmeLogPageHealthInfo == NVME_LOG_PAGE_HEALTH_INFO);  // BusTypeNvme: only for 7 and later
static_assert(offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters) == layout::kProtocolSpecificAt &&
              offsetof(STORAGE_PROTOCOL_DATA_DESCRIPTOR, ProtocolSpecificData) == layout::kProtocolSpecificAt &&
              sizeof(STORAGE_PROTOCOL_DATA_DESCRIPTOR) == layout::kProtocolDescriptorSize &&
              sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA) == layout::kProtocolSpecificSize);
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolType) == layout::kProtocolTypeAt &&
              offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, DataType) == layout::kDataTypeAt &&
              offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestValue) == layout::kRequestValueAt &&
              offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataOffset) == layout::kDataOffsetAt &&
              offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataLength) == layout::kDataLengthAt);
static_assert(sizeof(NVME_HEALTH_INFO_LOG) == layout::kHealthLogSize &&
              offsetof(NVME_HEALTH_INFO_LOG, CriticalWarning) == layout::kCriticalWarningAt &&
              offsetof(NVME_HEALTH_INFO_LOG, Temperature) == layout::kCompositeTemperatureAt &&
              offsetof(NVME_HEALTH_INFO_LOG, AvailableSpare) == layout::kAvailableSpareAt &&
              offsetof(NVME_HEALTH_INFO_LOG, AvailableSpareThreshold) == layout::kAvailableSpareThresholdAt &&
              offsetof(NVME_HEALTH_INFO_LOG, PercentageUsed) == layout::kPercentageUsedAt &&
              offsetof(NVME_HEALTH_INFO_LOG, DataUnitRead) == layout::kDataUnitsReadAt &&
              offsetof(NVME_HEALTH_INFO_LOG, DataUnitWritten) == layout::kDataUnitsWrittenAt &&
              offsetof(NVME_HEALTH_INFO_LOG, PowerCycle) == layout::kPowerCyclesAt &&
              offsetof(NVME_HEALTH_INFO_LOG, PowerOnHours) == layout::kPowerOnHoursAt &&
              offsetof(NVME_HEALTH_INFO_LOG, UnsafeShutdowns) == layout::kUnsafeShutdownsAt &&
              offsetof(NVME_HEALTH_INFO_LOG, MediaErrors) == layout::kMediaErrorsAt &&
              offsetof(NVME_HEALTH_INFO_LOG, ErrorInfoLogEntryCount) == layout::kErrorLogEntriesAt);
// mingw-w64's winioctl.h has no STORAGE_TEMPERATURE_DATA_DESCRIPTOR or STORAGE_TEMPERATURE_INFO:
// their offsets stand only as Microsoft's documentation gives them (disk_facts.h).

DeviceHandle WinDiskApi::CreateFileW(const std::string& path, uint32_t desiredAccess, uint32_t* lastError) {
  // Device paths are ASCII: each byte widens to its character.
  const std::wstring wide(path.begin(), path.end());
  const HANDLE h = ::CreateFileW(wide.c_str(), desiredAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  const DWORD error = ::GetLastError();
  if (h == INVALID_HANDLE_VALUE || h == nullptr) {
    if (lastError != nullptr) *lastError = error;
    return kNoDevice;
  }
  if (lastError != nullptr) *lastError = 0;
  return reinterpret_cast<DeviceHandle>(h);
}

int WinDiskApi::DeviceIoControl(DeviceHandle device, uint32_t controlCode, const void* in, uint32_t inSize, void* out,
                                uint32_t outSize, uint32_t* bytesReturned, uint32_t* lastError) {
  DWORD returned = 0;
  // METHOD_BUFFERED copies the input before the driver runs: it is never written.
  const BOOL ok = ::DeviceIoControl(reinterpret_cast<HANDLE>(device), controlCode, const_cast<void*>(in), inSize, out,
                                    outSize, &returned, nullptr);
  const DWORD error = ok ? 0 : ::GetLastError();
  if (bytesReturned != nullptr) *bytesReturned = returned;
  if (lastError != nullptr) *lastError = error;
  return ok ? 1 : 0;
}

int WinDiskApi::CloseHandle(DeviceHandle device) {
  if (device == kNoDevice) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return ::CloseHandle(reinterpret_cast<HANDLE>(device)) ? 1 : 0;
}

DeviceHandle WinDiskApi::CreateEventW() {
  return reinterpret_cast<DeviceHandle>(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

int WinDiskApi::SetEvent(DeviceHandle event) { return ::SetEvent(reinterpret_cast<HANDLE>(event)) ? 1 : 0; }

uint32_t WinDiskApi::WaitForSingleObject(DeviceHandle event, uint32_t milliseconds) {
  return ::WaitForSingleObject(reinterpret_cast<HANDLE>(event), milliseconds);
}

}  // namespace tarnvik::win
