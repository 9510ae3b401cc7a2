// The disk behind a drive letter: which disks hold the volume, and what the first of them is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "report/disk_api.h"
#include "report/windows_version.h"

namespace tarnvik {

/// Each member is empty where its own question failed or this Windows has no such question (a
/// text the disk gave as blanks alone is none either).
struct DiskFacts {
  std::vector<uint32_t> numbers;  ///< the disks holding the volume, in extent order, each once
  std::string vendor;
  std::string model;  ///< the device's product id
  std::string revision;
  std::string serial;
  std::optional<uint32_t> busType;  ///< STORAGE_BUS_TYPE code; BusTypeText names it
  std::optional<bool> removable;
  std::optional<bool> ssd;   ///< no seek penalty
  std::optional<bool> trim;  ///< trim enabled (asked from Windows 7 on)
  std::optional<uint64_t> sizeBytes;
  std::optional<bool> failurePredicted;

  bool operator==(const DiskFacts&) const = default;
};

/// The disks holding the volume of `letter` (A to Z, either case), each once: "\\.\X:" opened
/// with no access rights and its extents read. Nothing when the volume cannot be opened, its
/// extents cannot be read or it lies on no disk (Wine's drives, RAM disks); the caller leaves
/// network, optical and subst letters out.
std::optional<std::vector<uint32_t>> QueryDiskNumbers(DiskApi& api, char letter);

/// What disk `number` says of itself ("\\.\PhysicalDriveN", opened with no access rights): its
/// descriptor, seek penalty and trim (both from 6.1 on, where the properties exist), geometry and
/// failure prediction; `numbers` is left empty. Every member is empty when the disk cannot be opened.
DiskFacts QueryDiskDevice(DiskApi& api, uint32_t number, const WindowsVersion& windows);

/// The disk behind `letter`: both questions above, for one letter alone.
inline std::optional<DiskFacts> QueryDisk(DiskApi& api, char letter, const WindowsVersion& windows) {
  auto numbers = QueryDiskNumbers(api, letter);
  if (!numbers) return std::nullopt;
  DiskFacts facts = QueryDiskDevice(api, numbers->front(), windows);
  facts.numbers = std::move(*numbers);
  return facts;
}

/// The bus's name ("SATA", "NVMe", "USB", ...); a code this program does not know is written as
/// its decimal number, never as another bus's name.
std::string BusTypeText(uint32_t busType);

/// What a STORAGE_DEVICE_DESCRIPTOR of `size` bytes says (only the fields it wholly holds).
struct DeviceDescriptor {
  std::string vendor, model, revision, serial;  ///< "" for none
  std::optional<uint32_t> busType;
  std::optional<bool> removable;
  bool operator==(const DeviceDescriptor&) const = default;
};
DeviceDescriptor ParseDeviceDescriptor(const unsigned char* bytes, std::size_t size);

/// The disk numbers of a VOLUME_DISK_EXTENTS of `size` bytes, each once, in extent order;
/// nothing when the answer does not hold every extent it counts.
std::optional<std::vector<uint32_t>> ParseDiskExtents(const unsigned char* bytes, std::size_t size);

/// Control codes: CTL_CODE(type, function, METHOD_BUFFERED = 0, FILE_ANY_ACCESS = 0), that is
/// type << 16 | function << 2. None needs a read or write right on the handle.
namespace ioctl {
constexpr uint32_t Code(uint32_t deviceType, uint32_t function) { return deviceType << 16 | function << 2; }
inline constexpr uint32_t kVolumeGetVolumeDiskExtents = Code(0x56, 0x000);  // IOCTL_VOLUME_BASE 'V'
inline constexpr uint32_t kStorageQueryProperty = Code(0x2D, 0x500);        // IOCTL_STORAGE_BASE
inline constexpr uint32_t kStoragePredictFailure = Code(0x2D, 0x440);
inline constexpr uint32_t kDiskGetDriveGeometryEx = Code(0x07, 0x028);  // IOCTL_DISK_BASE
static_assert(kVolumeGetVolumeDiskExtents == 0x00560000 && kStorageQueryProperty == 0x002D1400 &&
              kStoragePredictFailure == 0x002D1100 && kDiskGetDriveGeometryEx == 0x000700A0);

/// STORAGE_PROPERTY_ID values asked with PropertyStandardQuery (0).
inline constexpr uint32_t kStorageDeviceProperty = 0;
inline constexpr uint32_t kStorageDeviceSeekPenaltyProperty = 7;
inline constexpr uint32_t kStorageDeviceTrimProperty = 8;

/// Error codes the queries tell apart.
inline constexpr uint32_t kErrorMoreData = 234;
}  // namespace ioctl

}  // namespace tarnvik
