// The disk behind a drive letter, read from the storage stack's answers byte by byte: the
// layouts below are Windows' (little-endian, natural alignment), the same for x86 and x64.
#include "report/disk_facts.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace tarnvik {

namespace {

// STORAGE_PROPERTY_QUERY: PropertyId @0, QueryType @4, AdditionalParameters[1] @8; 12 bytes.
constexpr std::size_t kPropertyQuerySize = 12;

// STORAGE_DEVICE_DESCRIPTOR: Version @0, Size @4, DeviceType @8, DeviceTypeModifier @9,
// RemovableMedia @10, CommandQueueing @11, VendorIdOffset @12, ProductIdOffset @16,
// ProductRevisionOffset @20, SerialNumberOffset @24, BusType @28, RawPropertiesLength @32,
// RawDeviceProperties @36; 40 bytes before the texts that follow it.
constexpr std::size_t kDescriptorSizeAt = 4;
constexpr std::size_t kRemovableAt = 10;
constexpr std::size_t kVendorOffsetAt = 12;
constexpr std::size_t kProductOffsetAt = 16;
constexpr std::size_t kRevisionOffsetAt = 20;
constexpr std::size_t kSerialOffsetAt = 24;
constexpr std::size_t kBusTypeAt = 28;
// Room for every descriptor seen in practice; a larger one is asked for again at its own size.
constexpr uint32_t kDescriptorFirstAsk = 1024;
constexpr uint32_t kDescriptorLargest = 64 * 1024;

// VOLUME_DISK_EXTENTS: NumberOfDiskExtents @0, Extents @8 (aligned for the 64-bit members).
// DISK_EXTENT: DiskNumber @0, StartingOffset @8, ExtentLength @16; 24 bytes.
constexpr std::size_t kExtentsAt = 8;
constexpr std::size_t kExtentSize = 24;
// More extents than any volume manager makes; a count beyond it is taken as garbage.
constexpr uint32_t kMostExtents = 4096;

// DEVICE_SEEK_PENALTY_DESCRIPTOR and DEVICE_TRIM_DESCRIPTOR: Version @0, Size @4, the BOOLEAN
// @8; 12 bytes.
constexpr std::size_t kFlagAt = 8;
constexpr uint32_t kFlagDescriptorSize = 12;

// DISK_GEOMETRY_EX: DISK_GEOMETRY (24 bytes) @0, DiskSize @24, Data @32. The driver may append
// partition and detection information; the buffer leaves room for it.
constexpr std::size_t kDiskSizeAt = 24;
constexpr uint32_t kGeometryBufferSize = 256;

// STORAGE_PREDICT_FAILURE: PredictFailure @0, VendorSpecific[512] @4; 516 bytes.
constexpr uint32_t kPredictFailureSize = 516;

using Bytes = std::vector<unsigned char>;

uint32_t ReadU32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint64_t ReadU64(const unsigned char* p) { return uint64_t{ReadU32(p)} | uint64_t{ReadU32(p + 4)} << 32; }

int32_t ReadS16(const unsigned char* p) { return static_cast<int16_t>(p[0] | p[1] << 8); }

// A device's temperature limit. No disk is rated to warn at or below freezing: 0 or less is a
// limit the device does not report (NVMe's 0 Kelvin, converted or not).
std::optional<int32_t> Limit(int32_t celsius) {
  if (celsius <= 0) return std::nullopt;
  return celsius;
}

// Room for the temperature descriptor's header and 30 sensors; NVMe has 9 at most.
constexpr uint32_t kTemperatureBufferSize = 512;
// The protocol question and its answer: STORAGE_PROPERTY_QUERY up to AdditionalParameters, the
// protocol-specific data, then the log.
constexpr uint32_t kProtocolBufferSize =
    layout::kProtocolSpecificAt + layout::kProtocolSpecificSize + layout::kHealthLogSize;

// The question for NVMe's SMART / health log, made at compile time: the standard query (type 0)
// of a protocol-specific property (the device's here), whose data is to follow its own 40 bytes.
constexpr auto kNvmeHealthQuery = [] {
  using namespace layout;
  std::array<unsigned char, kProtocolSpecificAt + kProtocolSpecificSize> query{};
  const auto put = [&query](std::size_t at, uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) query[at + i] = static_cast<unsigned char>(value >> 8 * i);
  };
  put(0, ioctl::kStorageDeviceProtocolSpecificProperty);
  put(kProtocolSpecificAt + kProtocolTypeAt, ioctl::kProtocolTypeNvme);
  put(kProtocolSpecificAt + kDataTypeAt, ioctl::kNvmeDataTypeLogPage);
  put(kProtocolSpecificAt + kRequestValueAt, ioctl::kNvmeLogPageHealthInfo);
  put(kProtocolSpecificAt + kDataOffsetAt, kProtocolSpecificSize);
  put(kProtocolSpecificAt + kDataLengthAt, kHealthLogSize);
  return query;
}();

// The NVMe log's counts: percents of one byte, and 128-bit counters of things or of data
// units, each 1,000 blocks of 512 bytes. A count past 2^64 - 1 is none, never cut.
enum class Count : uint8_t { Percent, Things, DataUnits };
struct LogCounter {
  std::optional<uint64_t> DiskHealth::*value;
  uint16_t at;
  Count count;
};
constexpr LogCounter kLogCounters[] = {
    {&DiskHealth::availableSparePercent, layout::kAvailableSpareAt, Count::Percent},
    {&DiskHealth::availableSpareThresholdPercent, layout::kAvailableSpareThresholdAt, Count::Percent},
    {&DiskHealth::percentageUsed, layout::kPercentageUsedAt, Count::Percent},
    {&DiskHealth::dataReadBytes, layout::kDataUnitsReadAt, Count::DataUnits},
    {&DiskHealth::dataWrittenBytes, layout::kDataUnitsWrittenAt, Count::DataUnits},
    {&DiskHealth::powerCycles, layout::kPowerCyclesAt, Count::Things},
    {&DiskHealth::powerOnHours, layout::kPowerOnHoursAt, Count::Things},
    {&DiskHealth::unsafeShutdowns, layout::kUnsafeShutdownsAt, Count::Things},
    {&DiskHealth::mediaErrors, layout::kMediaErrorsAt, Count::Things},
    {&DiskHealth::errorLogEntries, layout::kErrorLogEntriesAt, Count::Things}};

// A NUL-terminated ASCII text at `offset`. Offset 0 means none; so does a text that starts or
// runs past the end of what was returned (a cut answer is not read as a shorter value). Padding
// blanks go; bytes outside printable ASCII become '?', so the text stays valid UTF-8. "" for none.
std::string DescriptorText(const unsigned char* bytes, std::size_t size, std::size_t offsetAt) {
  if (offsetAt + 4 > size) return {};
  std::size_t first = ReadU32(bytes + offsetAt), end = first;
  if (first == 0 || first >= size) return {};
  while (end < size && bytes[end] != 0) ++end;
  if (end == size) return {};
  while (first < end && bytes[first] == ' ') ++first;
  while (end > first && bytes[end - 1] == ' ') --end;
  std::string text(reinterpret_cast<const char*>(bytes) + first, end - first);
  for (char& c : text)
    if (c < 0x20 || c > 0x7E) c = '?';
  return text;
}

// One control of `device` into `answer`, which is cut to what the driver wrote (also on a
// failure that wrote something, as ERROR_MORE_DATA does). True on success.
bool Ask(DiskApi& api, DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, Bytes& answer,
         uint32_t outSize, uint32_t& error) {
  answer.resize(outSize);
  uint32_t returned = 0;
  const bool ok = api.DeviceIoControl(device, code, in, inSize, answer.data(), outSize, &returned, &error) != 0;
  answer.resize(std::min(returned, outSize));
  return ok;
}

bool AskControl(DiskApi& api, DeviceHandle device, uint32_t code, Bytes& answer, uint32_t outSize) {
  uint32_t error = 0;
  return Ask(api, device, code, nullptr, 0, answer, outSize, error);
}

// One IOCTL_STORAGE_QUERY_PROPERTY standard query.
bool AskProperty(DiskApi& api, DeviceHandle disk, uint32_t propertyId, Bytes& answer, uint32_t outSize) {
  unsigned char query[kPropertyQuerySize] = {};
  query[0] = static_cast<unsigned char>(propertyId);  // PropertyId; QueryType 0 is the standard query
  uint32_t error = 0;
  return Ask(api, disk, ioctl::kStorageQueryProperty, query, sizeof query, answer, outSize, error);
}

std::optional<bool> AskFlag(DiskApi& api, DeviceHandle disk, uint32_t propertyId, Bytes& answer) {
  if (!AskProperty(api, disk, propertyId, answer, kFlagDescriptorSize) || answer.size() <= kFlagAt) return {};
  return answer[kFlagAt] != 0;
}

std::optional<std::vector<uint32_t>> ReadExtents(DiskApi& api, DeviceHandle volume) {
  Bytes answer;
  uint32_t error = 0;
  // Room for one extent, the common case; with more, the count comes back: ask again with room for all.
  if (!Ask(api, volume, ioctl::kVolumeGetVolumeDiskExtents, nullptr, 0, answer, kExtentsAt + kExtentSize, error)) {
    if (error != ioctl::kErrorMoreData || answer.size() < 4) return std::nullopt;
    const uint32_t count = ReadU32(answer.data());
    if (count < 2 || count > kMostExtents ||
        !AskControl(api, volume, ioctl::kVolumeGetVolumeDiskExtents, answer,
                    static_cast<uint32_t>(kExtentsAt + kExtentSize * count)))
      return std::nullopt;
  }
  return ParseDiskExtents(answer.data(), answer.size());
}

}  // namespace

void ParseDeviceDescriptor(const unsigned char* bytes, std::size_t size, DiskFacts& d) {
  if (bytes == nullptr) return;
  // The descriptor's own size field bounds it when it says less than was returned.
  if (size >= kDescriptorSizeAt + 4) {
    const uint32_t own = ReadU32(bytes + kDescriptorSizeAt);
    if (own >= kDescriptorSizeAt + 4 && own < size) size = own;
  }
  if (size > kRemovableAt) d.removable = bytes[kRemovableAt] != 0;
  d.vendor = DescriptorText(bytes, size, kVendorOffsetAt);
  d.model = DescriptorText(bytes, size, kProductOffsetAt);
  d.revision = DescriptorText(bytes, size, kRevisionOffsetAt);
  d.serial = DescriptorText(bytes, size, kSerialOffsetAt);
  if (size >= kBusTypeAt + 4) d.busType = ReadU32(bytes + kBusTypeAt);
}

std::optional<std::vector<uint32_t>> ParseDiskExtents(const unsigned char* bytes, std::size_t size) {
  if (bytes == nullptr || size < 4) return std::nullopt;
  const uint64_t count = ReadU32(bytes);
  if (kExtentsAt + kExtentSize * count > size) return std::nullopt;
  std::vector<uint32_t> numbers;
  for (uint64_t i = 0; i < count; ++i) {
    const uint32_t number = ReadU32(bytes + kExtentsAt + kExtentSize * i);
    if (std::find(numbers.begin(), numbers.end(), number) == numbers.end()) numbers.push_back(number);
  }
  return numbers;
}

const char* BusTypeName(uint32_t busType) {
  // STORAGE_BUS_TYPE in declaration order from BusTypeUnknown = 0 to BusTypeNvmeof = 0x14.
  // BusTypeMax moves as buses are added, so the codes past the last name stay numbers.
  static constexpr const char* kNames[] = {
      "Unknown", "SCSI",    "ATAPI",  "ATA", "1394",    "SSA",  "Fibre",  "USB",   "RAID",  "iSCSI",  "SAS",
      "SATA",    "SD",      "MMC",    "Virtual", "FileBackedVirtual", "Spaces", "NVMe", "SCM", "UFS", "NVMeoF"};
  static_assert(std::size(kNames) == 0x15);
  return busType < std::size(kNames) ? kNames[busType] : nullptr;
}

bool ParseTemperatures(const unsigned char* bytes, std::size_t size, DiskHealth& health) {
  using namespace layout;
  if (bytes == nullptr || size < kTemperatureInfoAt) return false;
  // The descriptor's own size field bounds it when it says less than was returned.
  const uint32_t own = ReadU32(bytes + 4);
  if (own >= kTemperatureInfoAt && own < size) size = own;
  health.criticalTemperatureCelsius = Limit(ReadS16(bytes + kCriticalTemperatureAt));
  health.warningTemperatureCelsius = Limit(ReadS16(bytes + kWarningTemperatureAt));
  // Sensor 0 is the device's own (for NVMe its composite); without it, the first listed.
  std::optional<int32_t> now;
  const uint32_t count = bytes[kInfoCountAt] | bytes[kInfoCountAt + 1] << 8;
  for (std::size_t i = 0; i < count && kTemperatureInfoAt + kTemperatureInfoSize * (i + 1) <= size; ++i) {
    const unsigned char* sensor = bytes + kTemperatureInfoAt + kTemperatureInfoSize * i;
    const bool devices = (sensor[kSensorIndexAt] | sensor[kSensorIndexAt + 1]) == 0;
    if (i == 0 || devices) now = ReadS16(sensor + kSensorTemperatureAt);
    if (devices) break;
  }
  // A sensor that reports nothing (0 Kelvin in the device's log) reads -273.
  if (now && *now > -273) health.temperatureCelsius = now;
  return true;
}

bool ParseNvmeHealthLog(const unsigned char* bytes, std::size_t size, DiskHealth& health) {
  using namespace layout;
  if (bytes == nullptr || size < kProtocolDescriptorSize || ReadU32(bytes + 4) > size) return false;
  const unsigned char* specific = bytes + kProtocolSpecificAt;
  // The answer must be the page asked for, of the protocol asked for, and hold all of it.
  const uint64_t dataAt = kProtocolSpecificAt + uint64_t{ReadU32(specific + kDataOffsetAt)};
  if (ReadU32(specific + kProtocolTypeAt) != ioctl::kProtocolTypeNvme ||
      ReadU32(specific + kDataTypeAt) != ioctl::kNvmeDataTypeLogPage ||
      ReadU32(specific + kRequestValueAt) != ioctl::kNvmeLogPageHealthInfo ||
      dataAt < kProtocolSpecificAt + kProtocolSpecificSize || ReadU32(specific + kDataLengthAt) < kHealthLogSize ||
      dataAt + kHealthLogSize > size)
    return false;
  const unsigned char* log = bytes + dataAt;
  health.criticalWarnings = log[kCriticalWarningAt];
  const int32_t kelvin = log[kCompositeTemperatureAt] | log[kCompositeTemperatureAt + 1] << 8;
  if (!health.temperatureCelsius && kelvin != 0) health.temperatureCelsius = kelvin - 273;
  for (const LogCounter& c : kLogCounters) {
    std::optional<uint64_t>& value = health.*c.value;
    const uint64_t unit = c.count == Count::DataUnits ? 512000 : 1;
    value.reset();
    if (c.count == Count::Percent)
      value = log[c.at];
    else if (ReadU64(log + c.at + 8) == 0 && ReadU64(log + c.at) <= UINT64_MAX / unit)
      value = ReadU64(log + c.at) * unit;
  }
  return true;
}

const char* HealthStatus(const std::optional<bool>& failurePredicted, const DiskHealth& h) {
  const unsigned warnings = h.criticalWarnings.value_or(0);
  // Critical-warning bits: 0 spare below its threshold, 1 temperature, 2 reliability degraded,
  // 3 read-only media, 4 volatile-memory backup failed.
  if (failurePredicted.value_or(false) || (warnings & 0x1Du) != 0) return "failing";
  if (h.percentageUsed.value_or(0) >= 90 || (warnings & 0x02u) != 0 || h.mediaErrors.value_or(0) > 0 ||
      (h.temperatureCelsius && h.warningTemperatureCelsius && *h.temperatureCelsius >= *h.warningTemperatureCelsius))
    return "warning";
  return failurePredicted || h.criticalWarnings ? "ok" : nullptr;
}

std::optional<std::vector<uint32_t>> QueryDiskNumbers(DiskApi& api, char letter) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (letter < 'A' || letter > 'Z') return std::nullopt;
  std::string path = "\\\\.\\?:";
  path[4] = letter;
  return QueryDiskNumbers(api, path);
}

std::optional<std::vector<uint32_t>> QueryDiskNumbers(DiskApi& api, const std::string& device) {
  uint32_t error = 0;
  const ScopedDevice volume(api, api.CreateFileW(device, 0, &error));
  if (!volume) return std::nullopt;
  return ReadDiskNumbers(api, volume.get());
}

std::optional<std::vector<uint32_t>> ReadDiskNumbers(DiskApi& api, DeviceHandle volume) {
  auto numbers = ReadExtents(api, volume);
  if (!numbers || numbers->empty()) return std::nullopt;
  return numbers;
}

DiskFacts QueryDiskDevice(DiskApi& api, uint32_t number, const WindowsVersion& windows) {
  DiskFacts facts;
  uint32_t error = 0;
  std::string path = "\\\\.\\PhysicalDrive";
  const std::size_t digitsAt = path.size();
  do {
    path.insert(digitsAt, 1, static_cast<char>('0' + number % 10));
  } while ((number /= 10) != 0);
  const ScopedDevice disk(api, api.CreateFileW(path, 0, &error));
  if (!disk) return facts;
  const DeviceHandle h = disk.get();
  Bytes answer;
  if (AskProperty(api, h, ioctl::kStorageDeviceProperty, answer, kDescriptorFirstAsk)) {
    // A larger descriptor is asked for again at its own size, so texts past the first buffer are read.
    const uint32_t whole = answer.size() >= kDescriptorSizeAt + 4 ? ReadU32(answer.data() + kDescriptorSizeAt) : 0;
    if (whole <= kDescriptorFirstAsk ||
        AskProperty(api, h, ioctl::kStorageDeviceProperty, answer, std::min(whole, kDescriptorLargest)))
      ParseDeviceDescriptor(answer.data(), answer.size(), facts);
  }
  // Seek penalty and trim are questions from Windows 7 on; before that an answer would not mean
  // what it says.
  if (windows.AtLeast(6, 1)) {
    const auto incursSeekPenalty = AskFlag(api, h, ioctl::kStorageDeviceSeekPenaltyProperty, answer);
    if (incursSeekPenalty) facts.ssd = !*incursSeekPenalty;
    facts.trim = AskFlag(api, h, ioctl::kStorageDeviceTrimProperty, answer);
  }
  if (AskControl(api, h, ioctl::kDiskGetDriveGeometryEx, answer, kGeometryBufferSize) &&
      answer.size() >= kDiskSizeAt + 8)
    facts.sizeBytes = ReadU64(answer.data() + kDiskSizeAt);
  if (AskControl(api, h, ioctl::kStoragePredictFailure, answer, kPredictFailureSize) && answer.size() >= 4)
    facts.failurePredicted = ReadU32(answer.data()) != 0;
  if (!windows.AtLeast(10, 0)) return facts;  // the health questions are Windows 10's
  DiskHealth health;
  bool read = AskProperty(api, h, ioctl::kStorageDeviceTemperatureProperty, answer, kTemperatureBufferSize) &&
              ParseTemperatures(answer.data(), answer.size(), health);
  // The log is the controller's. One that keeps none per namespace refuses the device's
  // question; the adapter's then asks for the controller's own page.
  for (const uint32_t property :
       {ioctl::kStorageDeviceProtocolSpecificProperty, ioctl::kStorageAdapterProtocolSpecificProperty}) {
    if (facts.busType != ioctl::kBusTypeNvme) break;
    // One buffer for the question and its answer, as in Microsoft's example: the log follows
    // the question's own bytes.
    answer.resize(kProtocolBufferSize);
    std::fill(std::copy(kNvmeHealthQuery.begin(), kNvmeHealthQuery.end(), answer.begin()), answer.end(), 0);
    answer[0] = static_cast<unsigned char>(property);
    uint32_t returned = 0;
    if (api.DeviceIoControl(h, ioctl::kStorageQueryProperty, answer.data(), kProtocolBufferSize, answer.data(),
                            kProtocolBufferSize, &returned, &error) &&
        ParseNvmeHealthLog(answer.data(), std::min(returned, kProtocolBufferSize), health)) {
      read = true;
      break;
    }
  }
  if (read || facts.failurePredicted) facts.health = health;
  return facts;
}

}  // namespace tarnvik
