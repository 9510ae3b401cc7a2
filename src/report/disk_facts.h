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

/// What a disk says of its health, asked from Windows 10 on, where the questions exist. Each
/// member is empty where its question was refused or gave no value; never a guess.
struct DiskHealth {
  /// Now: the temperature property's sensor 0 (the device's own, a composite of its sensors)
  /// or, without one, the first it lists; without that property, the NVMe log's composite.
  std::optional<int32_t> temperatureCelsius = {};
  std::optional<int32_t> warningTemperatureCelsius = {};   ///< the device's own limits, from the
  std::optional<int32_t> criticalTemperatureCelsius = {};  ///< temperature property
  std::optional<uint64_t> percentageUsed = {};  ///< NVMe: of the rated endurance; may pass 100
  std::optional<uint64_t> availableSparePercent = {};
  std::optional<uint64_t> availableSpareThresholdPercent = {};
  std::optional<uint8_t> criticalWarnings = {};  ///< NVMe's critical-warning bits; present once the log was read
  std::optional<uint64_t> dataReadBytes = {};
  std::optional<uint64_t> dataWrittenBytes = {};
  std::optional<uint64_t> powerCycles = {};
  std::optional<uint64_t> powerOnHours = {};
  std::optional<uint64_t> unsafeShutdowns = {};
  std::optional<uint64_t> mediaErrors = {};  ///< media and data-integrity errors
  std::optional<uint64_t> errorLogEntries = {};

  bool operator==(const DiskHealth&) const = default;
};

/// Each member is empty where its own question failed or this Windows has no such question (a
/// text the disk gave as blanks alone is none either).
struct DiskFacts {
  std::vector<uint32_t> numbers = {};  ///< the disks holding the volume, in extent order, each once
  std::string vendor = {};
  std::string model = {};  ///< the device's product id
  std::string revision = {};
  std::string serial = {};
  std::optional<uint32_t> busType = {};  ///< STORAGE_BUS_TYPE code; BusTypeName names it
  std::optional<bool> removable = {};
  std::optional<bool> ssd = {};   ///< no seek penalty
  std::optional<bool> trim = {};  ///< trim enabled (asked from Windows 7 on)
  std::optional<uint64_t> sizeBytes = {};
  std::optional<bool> failurePredicted = {};
  /// From Windows 10 on, where the health questions or failure prediction answered.
  std::optional<DiskHealth> health = {};

  bool operator==(const DiskFacts&) const = default;
};

/// The verdict on a disk whose failure prediction said `failurePredicted` and whose health
/// questions gave `health`, by these rules in this order:
/// "failing": failure predicted, or an NVMe critical warning for available spare below its
///   threshold, reliability degraded, read-only media or a failed volatile-memory backup;
/// "warning": percentage used at or above 90, the temperature at or above the warning
///   temperature, the temperature warning bit, or any media and data-integrity error;
/// "ok": failure prediction answered or the NVMe log was read, and none of the above holds;
/// nullptr where nothing was read to judge by.
const char* HealthStatus(const std::optional<bool>& failurePredicted, const DiskHealth& health);

/// The disks holding the volume of `letter` (A to Z, either case), each once: "\\.\X:" opened
/// with no access rights and its extents read. Nothing when the volume cannot be opened, its
/// extents cannot be read or it lies on no disk (Wine's drives, RAM disks); the caller leaves
/// network, optical and subst letters out.
std::optional<std::vector<uint32_t>> QueryDiskNumbers(DiskApi& api, char letter);

/// The same for the volume whose device is `device`: "\\.\C:", or a volume's GUID path
/// without its closing backslash ("\\?\Volume{...}"), which also names a volume without a letter.
std::optional<std::vector<uint32_t>> QueryDiskNumbers(DiskApi& api, const std::string& device);

/// The disks holding the volume open as `volume`, each once: nothing when its extents cannot
/// be read or it lies on no disk.
std::optional<std::vector<uint32_t>> ReadDiskNumbers(DiskApi& api, DeviceHandle volume);

/// What disk `number` says of itself ("\\.\PhysicalDriveN", opened with no access rights): its
/// descriptor, seek penalty and trim (both from 6.1 on, where the properties exist), geometry,
/// failure prediction and, from 10.0 on, its health: the temperature property and, for an NVMe
/// disk, the SMART / health log; `numbers` is left empty. Every member is empty when the disk
/// cannot be opened.
DiskFacts QueryDiskDevice(DiskApi& api, uint32_t number, const WindowsVersion& windows);

/// The disk behind `letter`: both questions above, for one letter alone.
inline std::optional<DiskFacts> QueryDisk(DiskApi& api, char letter, const WindowsVersion& windows) {
  auto numbers = QueryDiskNumbers(api, letter);
  if (!numbers) return std::nullopt;
  DiskFacts facts = QueryDiskDevice(api, numbers->front(), windows);
  facts.numbers = std::move(*numbers);
  return facts;
}

/// The bus's name ("SATA", "NVMe", "USB", ...); nullptr for a code this program does not know,
/// which is then written as its number, never as another bus's name.
const char* BusTypeName(uint32_t busType);

/// What a STORAGE_DEVICE_DESCRIPTOR of `size` bytes says (only the fields it wholly holds): the
/// texts ("" for none), bus type and removable media of `facts`.
void ParseDeviceDescriptor(const unsigned char* bytes, std::size_t size, DiskFacts& facts);

/// Reads a STORAGE_TEMPERATURE_DATA_DESCRIPTOR of `size` bytes into the temperatures of
/// `health`: only the fields and sensors it wholly holds. False when it holds no header.
bool ParseTemperatures(const unsigned char* bytes, std::size_t size, DiskHealth& health);

/// Reads a STORAGE_PROTOCOL_DATA_DESCRIPTOR of `size` bytes that carries NVMe's SMART / health
/// log (02h) into `health`. False, with `health` untouched, unless it is that page, whole.
bool ParseNvmeHealthLog(const unsigned char* bytes, std::size_t size, DiskHealth& health);

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
inline constexpr uint32_t kStorageAdapterProtocolSpecificProperty = 49;
inline constexpr uint32_t kStorageDeviceProtocolSpecificProperty = 50;
inline constexpr uint32_t kStorageDeviceTemperatureProperty = 52;

/// The protocol-specific question for NVMe's SMART / health log: ProtocolTypeNvme,
/// NVMeDataTypeLogPage, NVME_LOG_PAGE_HEALTH_INFO; BusTypeNvme is the bus it is asked of.
inline constexpr uint32_t kProtocolTypeNvme = 3;
inline constexpr uint32_t kNvmeDataTypeLogPage = 2;
inline constexpr uint32_t kNvmeLogPageHealthInfo = 2;
inline constexpr uint32_t kBusTypeNvme = 0x11;

/// Error codes the queries tell apart.
inline constexpr uint32_t kErrorMoreData = 234;
}  // namespace ioctl

/// Where the health answers' fields lie (bytes, little-endian, the same for x86 and x64); the
/// Windows adapter checks each against the SDK's headers wherever they have the structure.
namespace layout {
/// STORAGE_PROTOCOL_SPECIFIC_DATA (40 bytes) stands at 8 both in the query, as the
/// AdditionalParameters of STORAGE_PROPERTY_QUERY, and in the answer, after the Version and
/// Size of STORAGE_PROTOCOL_DATA_DESCRIPTOR (48 bytes). Its data lies ProtocolDataOffset bytes
/// after its own start.
inline constexpr std::size_t kProtocolSpecificAt = 8;
inline constexpr std::size_t kProtocolTypeAt = 0;
inline constexpr std::size_t kDataTypeAt = 4;
inline constexpr std::size_t kRequestValueAt = 8;
inline constexpr std::size_t kDataOffsetAt = 16;
inline constexpr std::size_t kDataLengthAt = 20;
inline constexpr std::size_t kProtocolSpecificSize = 40;
inline constexpr std::size_t kProtocolDescriptorSize = 48;
/// NVME_HEALTH_INFO_LOG (512 bytes); its counters are 128-bit.
inline constexpr std::size_t kCriticalWarningAt = 0;
inline constexpr std::size_t kCompositeTemperatureAt = 1;  // Kelvin, 16 bits; 0 for none
inline constexpr std::size_t kAvailableSpareAt = 3;
inline constexpr std::size_t kAvailableSpareThresholdAt = 4;
inline constexpr std::size_t kPercentageUsedAt = 5;
inline constexpr std::size_t kDataUnitsReadAt = 32;  // units of 1,000 blocks of 512 bytes
inline constexpr std::size_t kDataUnitsWrittenAt = 48;
inline constexpr std::size_t kPowerCyclesAt = 112;
inline constexpr std::size_t kPowerOnHoursAt = 128;
inline constexpr std::size_t kUnsafeShutdownsAt = 144;
inline constexpr std::size_t kMediaErrorsAt = 160;
inline constexpr std::size_t kErrorLogEntriesAt = 176;
inline constexpr std::size_t kHealthLogSize = 512;
/// STORAGE_TEMPERATURE_DATA_DESCRIPTOR: Version, Size, CriticalTemperature @8 and
/// WarningTemperature @10 (signed, Celsius), InfoCount @12, reserved, then InfoCount
/// STORAGE_TEMPERATURE_INFO of 16 bytes from 24: Index @0, Temperature @2 (signed, Celsius).
inline constexpr std::size_t kCriticalTemperatureAt = 8;
inline constexpr std::size_t kWarningTemperatureAt = 10;
inline constexpr std::size_t kInfoCountAt = 12;
inline constexpr std::size_t kTemperatureInfoAt = 24;
inline constexpr std::size_t kTemperatureInfoSize = 16;
inline constexpr std::size_t kSensorIndexAt = 0;
inline constexpr std::size_t kSensorTemperatureAt = 2;
}  // namespace layout

}  // namespace tarnvik
