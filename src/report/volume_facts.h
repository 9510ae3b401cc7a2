// The volume behind a drive letter, and the volumes no letter reaches: the paths a volume is
// reached by, the partition it fills, the share a network letter maps and BitLocker's state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/disk_api.h"
#include "report/disk_facts.h"
#include "report/drive_answers.h"
#include "report/volume_api.h"
#include "report/wmi_api.h"

namespace tarnvik {

/// The one partition a volume fills.
struct PartitionFacts {
  uint32_t number = 0;  ///< the partition's number on its disk, from 1
  uint64_t offsetBytes = 0;
  uint64_t lengthBytes = 0;
  bool gpt = false;  ///< its table's style: GPT, else MBR
  /// GPT: the type GUID, "{ebd0a0a2-b9e5-4433-87c0-68b6b72699c7}"; MBR: the type byte, "0x07".
  std::string type;
  bool operator==(const PartitionFacts&) const = default;
};

/// BitLocker's codes for a volume, as Win32_EncryptableVolume holds them. protection
/// (ProtectionStatus): 0 off, 1 on, 2 unknown (a locked volume). conversion (ConversionStatus, a
/// property from Windows 8 on, empty before): 0 fully decrypted, 1 fully encrypted, 2 encrypting,
/// 3 decrypting, 4 encryption paused, 5 decryption paused.
struct EncryptionFacts {
  uint32_t protection = 0;
  std::optional<uint32_t> conversion;
  bool operator==(const EncryptionFacts&) const = default;
};

/// Each member is empty where its call failed or does not apply; never a guess.
struct VolumeFacts {
  std::optional<std::string> guidPath = {};  ///< "\\?\Volume{...}\"
  /// Every path the volume is reached by, letters ("C:\") and folders ("D:\Data\"), in
  /// Windows' order, each ended by a line feed (no path holds one); "" for a volume mounted
  /// nowhere.
  std::optional<std::string> mountPaths = {};
  std::optional<uint64_t> freeBytesForUser = {};  ///< what this user may still write: quotas make it less than free
  std::optional<bool> readOnly = {};
  std::optional<bool> compressed = {};
  std::optional<PartitionFacts> partition = {};  ///< empty for a volume that fills no single partition
  std::optional<std::string> remotePath = {};    ///< the share a network letter is mapped to
  std::optional<EncryptionFacts> encryption = {};
  bool operator==(const VolumeFacts&) const = default;
};

/// The system calls behind a volume's facts other than its report answers and its device.
struct VolumeCalls {
  VolumeApi& volumes;
  WmiApi& wmi;
};

/// The volume of drive letter `index` (0 is A) whose report answers are `answers`: the free bytes
/// for the user and the flags are read from them, so they come from the same calls as the free
/// bytes and the file system. A network letter gets its share and nothing of a volume; BitLocker
/// is asked only when `elevated` (the class needs administrator rights). The partition is left
/// to QueryVolumeDevice, which asks it with the volume's disks. Touches no shared state, so it
/// runs on any worker.
VolumeFacts QueryLetterVolume(VolumeCalls& calls, int index, const DriveAnswers& answers, bool elevated);

/// The same for the volume named by `guidPath`, such as one without a letter, whose answers are
/// CollectVolumeAnswers'.
VolumeFacts QueryGuidVolume(VolumeCalls& calls, const std::string& guidPath, const DriveAnswers& answers,
                            bool elevated);

/// What a volume's device says, opened with no access right (so a standard user is told too):
/// the disks it lies on (QueryDiskNumbers) and, when asked for, the partition it fills.
struct VolumeDevice {
  std::optional<std::vector<uint32_t>> disks;
  std::optional<PartitionFacts> partition;
};
VolumeDevice QueryVolumeDevice(DiskApi& api, const std::string& device, bool withPartition);

/// The device of a volume named by its GUID path: the path without its closing backslash.
std::string GuidVolumeDevice(const std::string& guidPath);

/// The GUID paths of the volumes no drive letter reaches, in the search's order, each once. A
/// volume whose paths cannot be read (one that went during the search) is left out.
std::vector<std::string> ListLetterlessVolumes(VolumeApi& api);

/// The paths of a volume, as VolumeFacts::mountPaths holds them, asked again at the length
/// Windows names while the list outgrows the buffer (it may grow between two asks), four asks at
/// most; empty when none succeeds.
std::optional<std::string> ReadMountPaths(VolumeApi& api, const std::string& guidPath);

/// The paths of a GetVolumePathNamesForVolumeNameW list (each ended by a NUL, the list by a
/// second), each ended by a line feed instead; empty when the list is not ended within `list`.
std::optional<std::string> ParsePathList(std::string_view list);

/// BitLocker's codes as a Win32_EncryptableVolume object holds them; none without its
/// ProtectionStatus.
std::optional<EncryptionFacts> ReadEncryption(WmiObject& volume);

/// "\\?\Volume{" a GUID of 8-4-4-4-12 hexadecimal digits "}\": the only shape Windows gives a volume.
bool IsVolumeGuidPath(std::string_view path);

/// What a PARTITION_INFORMATION_EX of `size` bytes says; empty when it is cut before a field
/// that is read or the volume lies in no partition table (PARTITION_STYLE_RAW).
std::optional<PartitionFacts> ParsePartitionInfo(const unsigned char* bytes, std::size_t size);

/// PARTITION_INFORMATION_EX: PartitionStyle @0, StartingOffset @8, PartitionLength @16,
/// PartitionNumber @24, RewritePartition @28, then the style's part @32: the MBR type byte or the
/// GPT type GUID first; 144 bytes on x86 and x64 alike.
namespace partition_layout {
inline constexpr std::size_t kStyleAt = 0;
inline constexpr std::size_t kOffsetAt = 8;
inline constexpr std::size_t kLengthAt = 16;
inline constexpr std::size_t kNumberAt = 24;
inline constexpr std::size_t kMbrTypeAt = 32;
inline constexpr std::size_t kGptTypeAt = 32;
inline constexpr std::size_t kSize = 144;
inline constexpr uint32_t kStyleMbr = 0;
inline constexpr uint32_t kStyleGpt = 1;
}  // namespace partition_layout

namespace ioctl {
inline constexpr uint32_t kDiskGetPartitionInfoEx = Code(0x07, 0x012);
static_assert(kDiskGetPartitionInfoEx == 0x00070048);
}  // namespace ioctl

/// The volume flags read here (GetVolumeInformation's file-system flags).
inline constexpr uint32_t kFileVolumeIsCompressed = 0x00008000;
inline constexpr uint32_t kFileReadOnlyVolume = 0x00080000;

}  // namespace tarnvik
