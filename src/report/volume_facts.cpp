// The volume behind a drive letter and the volumes without one. Answers Windows gives in bytes
// are read from their documented layout (little-endian), never past what came back; a call that
// fails leaves its member empty.
#include "report/volume_facts.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace tarnvik {

namespace {

constexpr uint32_t kNoError = 0;
// Room for the paths of nearly every volume at the first ask (MAX_PATH + 1 characters).
constexpr uint32_t kPathListFirstAsk = 261;
// A list that keeps outgrowing its buffer, or asks for more than any list of paths needs, is
// given up rather than asked for without end.
constexpr int kPathListAsks = 4;
constexpr uint32_t kPathListLongest = 1u << 20;
// More volumes than any machine mounts: a search that goes on past it is broken.
constexpr std::size_t kMostVolumes = 4096;

constexpr const char* kEncryptionNameSpace = "root\\CIMV2\\Security\\MicrosoftVolumeEncryption";

uint32_t ReadU16(const unsigned char* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8; }
uint32_t ReadU32(const unsigned char* p) { return ReadU16(p) | ReadU16(p + 2) << 16; }
uint64_t ReadU64(const unsigned char* p) { return uint64_t{ReadU32(p)} | uint64_t{ReadU32(p + 4)} << 32; }

void AppendHex(std::string& text, uint32_t value, int digits) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xF];
}

// A GUID's bytes: Data1 (32 bits), Data2 and Data3 (16 bits each) little-endian, then Data4's
// eight bytes in order; written in braces and in lower case, as partition tools show GPT types.
std::string GuidText(const unsigned char* g) {
  std::string text = "{";
  AppendHex(text, ReadU32(g), 8);
  text += '-';
  AppendHex(text, ReadU16(g + 4), 4);
  text += '-';
  AppendHex(text, ReadU16(g + 6), 4);
  for (int i = 8; i < 16; ++i) {
    if (i == 8 || i == 10) text += '-';
    AppendHex(text, g[i], 2);
  }
  return text + '}';
}

bool IsDriveRoot(const std::string& path) {
  if (path.size() != 3 || path.compare(1, 2, ":\\") != 0) return false;
  return (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
}

// Hands every call on to the report's DriveApi and keeps what CollectDriveAnswers leaves
// unused: the volume flags and the bytes free for the caller, of the same answers as the rest
// of the drive's facts. Given a volume path, it asks that path whatever would be asked of letter
// A's root, so that a volume without a letter is asked exactly as a letter is.
class VolumeAnswerTap final : public DriveApi {
 public:
  VolumeAnswerTap(DriveApi& inner, std::string volumePath) : inner_(inner), volumePath_(std::move(volumePath)) {}

  std::optional<uint32_t> flags;
  std::optional<uint64_t> freeForCaller;

  uint32_t GetLogicalDrives() override { return inner_.GetLogicalDrives(); }

  int GetVolumeInformationA(const std::string& rootPath, char* volumeName, uint32_t volumeNameSize,
                            uint32_t* serialNumber, uint32_t* maxComponentLength, uint32_t* fileSystemFlags,
                            char* fileSystemName, uint32_t fileSystemNameSize) override {
    uint32_t answered = 0;
    if (!inner_.GetVolumeInformationA(Path(rootPath), volumeName, volumeNameSize, serialNumber, maxComponentLength,
                                      &answered, fileSystemName, fileSystemNameSize))
      return 0;
    flags = answered;
    if (fileSystemFlags != nullptr) *fileSystemFlags = answered;
    return 1;
  }

  int GetDiskFreeSpaceA(const std::string& rootPath, uint32_t* sectorsPerCluster, uint32_t* bytesPerSector,
                        uint32_t* numberOfFreeClusters, uint32_t* totalNumberOfClusters) override {
    return inner_.GetDiskFreeSpaceA(Path(rootPath), sectorsPerCluster, bytesPerSector, numberOfFreeClusters,
                                    totalNumberOfClusters);
  }

  int GetDiskFreeSpaceExA(const std::string& directoryName, uint64_t* freeBytesAvailableToCaller,
                          uint64_t* totalNumberOfBytes, uint64_t* totalNumberOfFreeBytes) override {
    uint64_t available = 0;
    if (!inner_.GetDiskFreeSpaceExA(Path(directoryName), &available, totalNumberOfBytes, totalNumberOfFreeBytes))
      return 0;
    freeForCaller = available;
    if (freeBytesAvailableToCaller != nullptr) *freeBytesAvailableToCaller = available;
    return 1;
  }

  uint32_t GetDriveTypeA(const std::string& rootPath) override { return inner_.GetDriveTypeA(Path(rootPath)); }

 private:
  std::string Path(const std::string& path) const {
    if (volumePath_.empty() || path.size() < 3 || (path[0] != 'a' && path[0] != 'A') || path.compare(1, 2, ":\\") != 0)
      return path;
    return volumePath_ + path.substr(3);
  }

  DriveApi& inner_;
  std::string volumePath_;
};

std::optional<PartitionFacts> AskPartition(DiskApi& disks, const std::string& guidPath) {
  // The volume's device is its GUID path without the closing backslash; no access right is
  // needed to ask it, so a standard user gets the answer too.
  uint32_t error = 0;
  const ScopedDevice volume(disks, disks.CreateFileW(guidPath.substr(0, guidPath.size() - 1), 0, &error));
  if (!volume) return std::nullopt;
  unsigned char answer[partition_layout::kSize] = {};
  uint32_t returned = 0;
  if (!disks.DeviceIoControl(volume.get(), ioctl::kDiskGetPartitionInfoEx, nullptr, 0, answer, sizeof answer,
                             &returned, &error))
    return std::nullopt;
  return ParsePartitionInfo(answer, std::min<std::size_t>(returned, sizeof answer));
}

std::optional<uint32_t> ReadNumber(WmiObject& object, const std::string& property) {
  std::optional<uint32_t> value;
  if (object.GetNumber(property, value) < 0) return std::nullopt;
  return value;
}

// An object path's key value: a backslash or a quote in it is escaped.
std::string KeyValue(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '\\' || c == '\'') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

// Every service object is gone when this returns, before the caller leaves the apartment. The
// read is awaited no longer than the services' bound for one object, as a letter's partition
// style is: a volume that does not answer holds up only its own worker, and only that long.
std::optional<EncryptionFacts> AskEncryption(WmiApi& wmi, const std::string& guidPath) {
  std::unique_ptr<WmiLocator> locator;
  std::unique_ptr<WmiServices> services;
  if (wmi.CreateLocator(locator) < 0 || !locator || locator->ConnectServer(".", kEncryptionNameSpace, services) < 0 ||
      !services)
    return std::nullopt;
  std::unique_ptr<WmiObject> volume;
  if (services->Get("Win32_EncryptableVolume.DeviceID='" + KeyValue(guidPath) + "'", volume) < 0 || !volume)
    return std::nullopt;
  return ReadEncryption(*volume);
}

std::optional<EncryptionFacts> QueryEncryption(WmiApi& wmi, const std::string& guidPath) {
  std::unique_ptr<WmiApartment> apartment;
  if (wmi.JoinApartment(apartment) < 0) return std::nullopt;
  return AskEncryption(wmi, guidPath);
}

// The members that come from the volume's GUID path and from the tapped answers.
void FillVolume(VolumeCalls& calls, const VolumeAnswerTap& tap, bool elevated, VolumeFacts& volume) {
  if (tap.flags) {
    volume.readOnly = (*tap.flags & kFileReadOnlyVolume) != 0;
    volume.compressed = (*tap.flags & kFileVolumeIsCompressed) != 0;
  }
  volume.freeBytesForUser = tap.freeForCaller;
  if (!volume.guidPath) return;
  volume.mountPaths = ReadMountPaths(calls.volumes, *volume.guidPath);
  volume.partition = AskPartition(calls.disks, *volume.guidPath);
  if (elevated) volume.encryption = QueryEncryption(calls.wmi, *volume.guidPath);
}

}  // namespace

bool IsVolumeGuidPath(std::string_view path) {
  return path.size() == 49 && path.starts_with("\\\\?\\Volume{") && path.ends_with("}\\");
}

std::optional<EncryptionFacts> ReadEncryption(WmiObject& volume) {
  const std::optional<uint32_t> protection = ReadNumber(volume, "ProtectionStatus");
  if (!protection) return std::nullopt;
  return EncryptionFacts{*protection, ReadNumber(volume, "ConversionStatus")};
}

std::optional<std::vector<std::string>> ParsePathList(std::string_view list) {
  std::vector<std::string> paths;
  for (;;) {
    const std::size_t end = list.find('\0');
    if (end == std::string_view::npos) return std::nullopt;
    if (end == 0) return paths;
    paths.emplace_back(list.substr(0, end));
    list.remove_prefix(end + 1);
  }
}

std::optional<std::vector<std::string>> ReadMountPaths(VolumeApi& api, const std::string& guidPath) {
  uint32_t length = kPathListFirstAsk;
  for (int ask = 0; ask < kPathListAsks; ++ask) {
    std::string list;
    uint32_t asked = 0, error = 0;
    if (api.GetVolumePathNamesForVolumeNameW(guidPath, length, &list, &asked, &error)) return ParsePathList(list);
    if (error != ioctl::kErrorMoreData) return std::nullopt;
    // A length no longer than the last buffer's cannot be right: the buffer is doubled instead.
    length = asked > length ? asked : length * 2;
    if (length > kPathListLongest) return std::nullopt;
  }
  return std::nullopt;
}

std::optional<PartitionFacts> ParsePartitionInfo(const unsigned char* bytes, std::size_t size) {
  using namespace partition_layout;
  if (bytes == nullptr || size < kNumberAt + 4) return std::nullopt;
  PartitionFacts partition{ReadU32(bytes + kNumberAt), ReadU64(bytes + kOffsetAt), ReadU64(bytes + kLengthAt), {}, {}};
  switch (ReadU32(bytes + kStyleAt)) {
    case kStyleMbr:
      if (size < kMbrTypeAt + 1) return std::nullopt;
      partition.style = "MBR";
      partition.type = "0x";
      AppendHex(partition.type, bytes[kMbrTypeAt], 2);
      return partition;
    case kStyleGpt:
      if (size < kGptTypeAt + 16) return std::nullopt;
      partition.style = "GPT";
      partition.type = GuidText(bytes + kGptTypeAt);
      return partition;
    default:  // PARTITION_STYLE_RAW: the volume fills no entry of a partition table
      return std::nullopt;
  }
}

VolumeAnswers QueryLetterVolume(VolumeCalls& calls, int index, bool elevated) {
  if (index < 0 || index >= 26) return {};
  VolumeAnswerTap tap(calls.drives, {});
  VolumeAnswers result{CollectDriveAnswers(tap, index), {}};
  const std::string letter(1, static_cast<char>('A' + index));
  if (result.answers.typeCode == kDriveRemote) {
    // A share lies on no volume of this machine. Only a connected mapping counts: one that is
    // remembered but not connected (its server gone) names a share this run cannot reach.
    std::string remote;
    if (calls.volumes.WNetGetConnectionW(letter + ":", &remote) == kNoError && !remote.empty())
      result.volume.remotePath = remote;
  } else {
    std::string guid;
    uint32_t error = 0;
    if (calls.volumes.GetVolumeNameForVolumeMountPointW(letter + ":\\", &guid, &error) && IsVolumeGuidPath(guid))
      result.volume.guidPath = guid;
  }
  FillVolume(calls, tap, elevated, result.volume);
  return result;
}

VolumeAnswers QueryGuidVolume(VolumeCalls& calls, const std::string& guidPath, bool elevated) {
  if (!IsVolumeGuidPath(guidPath)) return {};
  VolumeAnswerTap tap(calls.drives, guidPath);
  VolumeAnswers result{CollectDriveAnswers(tap, 0), {}};
  result.volume.guidPath = guidPath;
  FillVolume(calls, tap, elevated, result.volume);
  return result;
}

std::vector<std::string> ListLetterlessVolumes(VolumeApi& api) {
  std::vector<std::string> seen, letterless;
  std::string name;
  uint32_t error = 0;
  const ScopedVolumeSearch search(api, api.FindFirstVolumeW(&name, &error));
  if (!search) return letterless;
  for (std::size_t count = 0; count < kMostVolumes; ++count) {
    if (IsVolumeGuidPath(name) && std::find(seen.begin(), seen.end(), name) == seen.end()) {
      seen.push_back(name);
      // Paths that cannot be read might hold a letter: leaving the volume out never lists a
      // lettered volume a second time.
      const auto paths = ReadMountPaths(api, name);
      if (paths && std::none_of(paths->begin(), paths->end(), IsDriveRoot)) letterless.push_back(name);
    }
    name.clear();
    if (!api.FindNextVolumeW(search.get(), &name, &error)) break;
  }
  return letterless;
}

}  // namespace tarnvik
