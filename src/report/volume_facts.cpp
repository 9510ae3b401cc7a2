// The volume behind a drive letter and the volumes without one. Answers Windows gives in bytes
// are read from their documented layout (little-endian), never past what came back; a call that
// fails leaves its member empty.
#include "report/volume_facts.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <utility>

#include "report/partition_style.h"

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

// `digits` hexadecimal digits of `value`, in lower case, from `to` on; returns the end.
char* PutHex(char* to, uint32_t value, int digits) {
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) *to++ = "0123456789abcdef"[(value >> shift) & 0xF];
  return to;
}

// A GUID's bytes: Data1 (32 bits), Data2 and Data3 (16 bits each) little-endian, then Data4's
// eight bytes in order; written in braces and in lower case, as partition tools show GPT types.
std::string GuidText(const unsigned char* g) {
  char text[38];
  char* at = PutHex(text + 1, ReadU32(g), 8);
  *at++ = '-';
  at = PutHex(at, ReadU16(g + 4), 4);
  *at++ = '-';
  at = PutHex(at, ReadU16(g + 6), 4);
  for (int i = 8; i < 16; ++i) {
    if (i == 8 || i == 10) *at++ = '-';
    at = PutHex(at, g[i], 2);
  }
  text[0] = '{', *at = '}';
  return std::string(text, sizeof text);
}

// A letter's root ("C:\") among the paths of ReadMountPaths.
bool HasDriveRoot(const std::string& paths) {
  for (std::size_t at = 0; at < paths.size();) {
    const std::size_t end = std::min(paths.find('\n', at), paths.size());
    const char letter = static_cast<char>(paths[at] | 0x20);
    if (end - at == 3 && letter >= 'a' && letter <= 'z' && paths.compare(at + 1, 2, ":\\") == 0) return true;
    at = end + 1;
  }
  return false;
}

std::optional<PartitionFacts> ReadPartition(DiskApi& api, DeviceHandle volume) {
  unsigned char answer[partition_layout::kSize] = {};
  uint32_t returned = 0, error = 0;
  if (!api.DeviceIoControl(volume, ioctl::kDiskGetPartitionInfoEx, nullptr, 0, answer, sizeof answer, &returned,
                           &error))
    return std::nullopt;
  return ParsePartitionInfo(answer, std::min<std::size_t>(returned, sizeof answer));
}

std::optional<uint32_t> ReadNumber(WmiObject& object, const std::string& property) {
  std::optional<uint32_t> value;
  if (object.GetNumber(property, value) < 0) return std::nullopt;
  return value;
}

// Appends an object path's key value: a backslash or a quote in it is escaped.
void AppendKeyValue(std::string& path, const std::string& value) {
  for (const char c : value) {
    if (c == '\\' || c == '\'') path += '\\';
    path += c;
  }
}

// BitLocker's codes of one volume. Every service object is gone when this returns, before the
// caller leaves the apartment. The service is asked under its lock, by the same rule as the
// partition styles (Wine's provider takes one caller at a time), which is let go only while
// the answer is awaited: that wait touches the volume and may last up to the services' bound,
// and holds up no other question meanwhile.
std::optional<EncryptionFacts> AskEncryption(WmiApi& wmi, const std::string& guidPath,
                                             std::unique_lock<Lock>& lock) {
  std::unique_ptr<WmiLocator> locator;
  std::unique_ptr<WmiServices> services;
  if (wmi.CreateLocator(locator) < 0 || !locator || locator->ConnectServer(".", kEncryptionNameSpace, services) < 0 ||
      !services)
    return std::nullopt;
  std::unique_ptr<WmiPendingObject> pending;
  std::string path = "Win32_EncryptableVolume.DeviceID='";
  AppendKeyValue(path, guidPath);
  path += '\'';
  if (services->StartGet(path, pending) < 0 || !pending) return std::nullopt;
  std::unique_ptr<WmiObject> volume;
  lock.unlock();
  const WmiResult waited = pending->Wait(volume);
  lock.lock();
  if (waited < 0 || !volume) return std::nullopt;
  return ReadEncryption(*volume);
}

std::optional<EncryptionFacts> QueryEncryption(WmiApi& wmi, const std::string& guidPath) {
  std::unique_lock lock(ManagementServiceLock());
  std::unique_ptr<WmiApartment> apartment;
  if (wmi.JoinApartment(apartment) < 0) return std::nullopt;
  return AskEncryption(wmi, guidPath, lock);
}

// The members that come from the volume's answers and, where it has one, from its GUID path
// in `volume`.
void FillVolume(VolumeCalls& calls, const DriveAnswers& answers, bool elevated, VolumeFacts& volume) {
  if (answers.volumeAnswered) {
    volume.readOnly = (answers.fileSystemFlags & kFileReadOnlyVolume) != 0;
    volume.compressed = (answers.fileSystemFlags & kFileVolumeIsCompressed) != 0;
  }
  if (answers.space.answered) volume.freeBytesForUser = answers.space.freeBytesForCaller;
  if (!volume.guidPath) return;
  volume.mountPaths = ReadMountPaths(calls.volumes, *volume.guidPath);
  if (elevated) volume.encryption = QueryEncryption(calls.wmi, *volume.guidPath);
}

}  // namespace

bool IsVolumeGuidPath(std::string_view path) {
  if (path.size() != 49 || !path.starts_with("\\\\?\\Volume{") || !path.ends_with("}\\")) return false;
  // 8-4-4-4-12 hexadecimal digits: any other byte is no name Windows gave.
  for (std::size_t i = 0; i < 36; ++i) {
    const char c = path[11 + i];
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (i == 8 || i == 13 || i == 18 || i == 23 ? c != '-' : !hex) return false;
  }
  return true;
}

std::optional<EncryptionFacts> ReadEncryption(WmiObject& volume) {
  const std::optional<uint32_t> protection = ReadNumber(volume, "ProtectionStatus");
  if (!protection) return std::nullopt;
  return EncryptionFacts{*protection, ReadNumber(volume, "ConversionStatus")};
}

std::optional<std::string> ParsePathList(std::string_view list) {
  const std::size_t end = list.find(std::string_view("\0\0", 2));
  if (list.starts_with('\0')) return std::string();
  if (end == std::string_view::npos) return std::nullopt;
  std::string paths(list.substr(0, end + 1));
  std::replace(paths.begin(), paths.end(), '\0', '\n');
  return paths;
}

std::optional<std::string> ReadMountPaths(VolumeApi& api, const std::string& guidPath) {
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
  PartitionFacts partition{ReadU32(bytes + kNumberAt), ReadU64(bytes + kOffsetAt), ReadU64(bytes + kLengthAt), false, {}};
  switch (ReadU32(bytes + kStyleAt)) {
    case kStyleMbr: {
      if (size < kMbrTypeAt + 1) return std::nullopt;
      char type[4] = {'0', 'x'};
      PutHex(type + 2, bytes[kMbrTypeAt], 2);
      partition.type.assign(type, sizeof type);
      return partition;
    }
    case kStyleGpt:
      if (size < kGptTypeAt + 16) return std::nullopt;
      partition.gpt = true;
      partition.type = GuidText(bytes + kGptTypeAt);
      return partition;
    default:  // PARTITION_STYLE_RAW: the volume fills no entry of a partition table
      return std::nullopt;
  }
}

VolumeFacts QueryLetterVolume(VolumeCalls& calls, int index, const DriveAnswers& answers, bool elevated) {
  VolumeFacts volume;
  if (index < 0 || index >= 26) return volume;
  char root[] = "?:\\";
  root[0] = static_cast<char>('A' + index);
  std::string name;
  if (answers.typeCode == kDriveRemote) {
    // A share lies on no volume of this machine. Only a connected mapping counts: one that is
    // remembered but not connected (its server gone) names a share this run cannot reach.
    if (calls.volumes.WNetGetConnectionW(std::string(root, 2), &name) == kNoError && !name.empty())
      volume.remotePath = std::move(name);
  } else {
    uint32_t error = 0;
    if (calls.volumes.GetVolumeNameForVolumeMountPointW(root, &name, &error) && IsVolumeGuidPath(name))
      volume.guidPath = std::move(name);
  }
  FillVolume(calls, answers, elevated, volume);
  return volume;
}

VolumeFacts QueryGuidVolume(VolumeCalls& calls, const std::string& guidPath, const DriveAnswers& answers,
                            bool elevated) {
  VolumeFacts volume;
  if (!IsVolumeGuidPath(guidPath)) return volume;
  volume.guidPath = guidPath;
  FillVolume(calls, answers, elevated, volume);
  return volume;
}

std::string GuidVolumeDevice(const std::string& guidPath) { return guidPath.substr(0, guidPath.size() - 1); }

VolumeDevice QueryVolumeDevice(DiskApi& api, const std::string& device, bool withPartition) {
  VolumeDevice answers;
  uint32_t error = 0;
  const ScopedDevice volume(api, api.CreateFileW(device, 0, &error));
  if (!volume) return answers;
  answers.disks = ReadDiskNumbers(api, volume.get());
  if (withPartition) answers.partition = ReadPartition(api, volume.get());
  return answers;
}

std::vector<std::string> ListLetterlessVolumes(VolumeApi& api) {
  std::vector<std::string> letterless;
  std::string name;
  uint32_t error = 0;
  const ScopedVolumeSearch search(api, api.FindFirstVolumeW(&name, &error));
  if (!search) return letterless;
  for (std::size_t count = 0; count < kMostVolumes; ++count) {
    if (IsVolumeGuidPath(name) && std::find(letterless.begin(), letterless.end(), name) == letterless.end()) {
      // Paths that cannot be read might hold a letter: leaving the volume out never lists a
      // lettered volume a second time.
      const auto paths = ReadMountPaths(api, name);
      if (paths && !HasDriveRoot(*paths)) letterless.push_back(std::move(name));
    }
    name.clear();
    if (!api.FindNextVolumeW(search.get(), &name, &error)) break;
  }
  return letterless;
}

}  // namespace tarnvik
