// The disk behind a drive letter, read from the storage stack's answers byte by byte: the
// layouts below are Windows' (little-endian, natural alignment), the same for x86 and x64.
#include "report/disk_facts.h"

#include <algorithm>
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

// A NUL-terminated ASCII text at `offset`. Offset 0 means none; so does a text that starts or
// runs past the end of what was returned (a cut answer is not read as a shorter value). Padding
// blanks go; bytes outside printable ASCII become '?', so the text stays valid UTF-8. "" for none.
std::string DescriptorText(const unsigned char* bytes, std::size_t size, std::size_t offsetAt) {
  if (offsetAt + 4 > size) return {};
  const uint32_t offset = ReadU32(bytes + offsetAt);
  if (offset == 0 || offset >= size) return {};
  const std::string_view rest(reinterpret_cast<const char*>(bytes) + offset, size - offset);
  const std::size_t end = rest.find('\0');
  if (end == std::string_view::npos) return {};
  std::string text(rest.substr(0, end));
  for (char& c : text)
    if (c < 0x20 || c > 0x7E) c = '?';
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// One control of `device` into `answer`, which is cut to what the driver wrote (also on a
// failure that wrote something, as ERROR_MORE_DATA does). True on success.
bool Ask(DiskApi& api, DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, Bytes& answer,
         uint32_t outSize, uint32_t& error) {
  answer.assign(outSize, 0);
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

DeviceDescriptor ParseDeviceDescriptor(const unsigned char* bytes, std::size_t size) {
  DeviceDescriptor d;
  if (bytes == nullptr) return d;
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
  return d;
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

std::string BusTypeText(uint32_t busType) {
  // STORAGE_BUS_TYPE in declaration order from BusTypeUnknown = 0 to BusTypeNvmeof = 0x14.
  // BusTypeMax moves as buses are added, so the codes past the last name stay numbers.
  static constexpr const char* kNames[] = {
      "Unknown", "SCSI",    "ATAPI",  "ATA", "1394",    "SSA",  "Fibre",  "USB",   "RAID",  "iSCSI",  "SAS",
      "SATA",    "SD",      "MMC",    "Virtual", "FileBackedVirtual", "Spaces", "NVMe", "SCM", "UFS", "NVMeoF"};
  static_assert(std::size(kNames) == 0x15);
  if (busType < std::size(kNames)) return kNames[busType];
  return std::to_string(busType);
}

std::optional<std::vector<uint32_t>> QueryDiskNumbers(DiskApi& api, char letter) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (letter < 'A' || letter > 'Z') return std::nullopt;
  uint32_t error = 0;
  const ScopedDevice volume(api, api.CreateFileW(std::string("\\\\.\\") + letter + ':', 0, &error));
  if (!volume) return std::nullopt;
  auto numbers = ReadExtents(api, volume.get());
  if (!numbers || numbers->empty()) return std::nullopt;
  return numbers;
}

DiskFacts QueryDiskDevice(DiskApi& api, uint32_t number, const WindowsVersion& windows) {
  DiskFacts facts;
  uint32_t error = 0;
  const ScopedDevice disk(api, api.CreateFileW("\\\\.\\PhysicalDrive" + std::to_string(number), 0, &error));
  if (!disk) return facts;
  const DeviceHandle h = disk.get();
  Bytes answer;
  if (AskProperty(api, h, ioctl::kStorageDeviceProperty, answer, kDescriptorFirstAsk)) {
    // A larger descriptor is asked for again at its own size, so texts past the first buffer are read.
    const uint32_t whole = answer.size() >= kDescriptorSizeAt + 4 ? ReadU32(answer.data() + kDescriptorSizeAt) : 0;
    if (whole <= kDescriptorFirstAsk ||
        AskProperty(api, h, ioctl::kStorageDeviceProperty, answer, std::min(whole, kDescriptorLargest))) {
      DeviceDescriptor d = ParseDeviceDescriptor(answer.data(), answer.size());
      facts.vendor = std::move(d.vendor);
      facts.model = std::move(d.model);
      facts.revision = std::move(d.revision);
      facts.serial = std::move(d.serial);
      facts.busType = d.busType;
      facts.removable = d.removable;
    }
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
  return facts;
}

}  // namespace tarnvik
