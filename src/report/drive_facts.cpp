// The facts of one drive as report texts. Every procedure presets its outputs and keeps them
// when a query fails, so a drive without a medium still yields a complete block.
#include "report/drive_facts.h"

#include "base/text.h"
#include "report/format_byte_size.h"

namespace tarnvik {

std::string EightHexDigits(uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i) {
    text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    value >>= 4;
  }
  return text;
}

DiskSpace QueryDriveSpace(DriveApi& api, const std::string& letter) { return QueryRootSpace(api, letter + ":\\"); }

DiskSpace QueryRootSpace(DriveApi& api, const std::string& root) {
  uint64_t available = 0, total = 0, free = 0;
  const int answered = api.GetDiskFreeSpaceExA(root, &available, &total, &free);
  return {total, free, answered != 0, available};
}

uint64_t UsedBytes(const DiskSpace& space) {
  // A volume that reports more free than total space shows nothing used, never a wrapped count.
  return space.freeBytes > space.totalBytes ? 0 : space.totalBytes - space.freeBytes;
}

DriveSpaceTexts SpaceTexts(const DiskSpace& space) {
  // Counts beyond the fixed-point range are written in full rather than dropped.
  DriveSpaceTexts texts;
  texts.totalSize = FormatByteCount(space.totalBytes);
  texts.totalBytes = std::to_string(space.totalBytes);

  texts.freeSize = FormatByteCount(space.freeBytes);
  texts.freeBytes = std::to_string(space.freeBytes);

  const uint64_t used = UsedBytes(space);
  texts.usedSize = FormatByteCount(used);
  texts.usedBytes = std::to_string(used);
  return texts;
}

std::string GetDriveTypeText(DriveApi& api, const std::string& letter) {
  return DriveTypeName(QueryDriveType(api, letter));
}

uint32_t QueryDriveType(DriveApi& api, const std::string& letter) {
  const std::string upper = Trim(UpperCase(letter));
  if (upper.empty()) return kDriveUnknown;
  const char first = upper[0];
  if (first < 'A' || first > 'Z') return kDriveUnknown;
  return api.GetDriveTypeA(std::string(1, first) + ":\\");
}

std::string DriveTypeName(uint32_t code) {
  switch (code) {
    case kDriveRemovable: return "FDD/FLASH  (Removable)";
    case kDriveFixed: return "HDD/VHD  (Fixed)";
    case kDriveRemote: return "NET/RDD  (Remote)";
    case kDriveCdrom: return "CD/DVD/Blue-Ray  (Optical)";
    case kDriveRamdisk: return "RAM/VRD  (Virtual)";
    default: return "?  (Unknown)";
  }
}

std::string GetVolumeSerialText(DriveApi& api, const std::string& letter) {
  return RootSerialText(api, letter + ":\\");
}

std::string RootSerialText(DriveApi& api, const std::string& root) {
  uint32_t serial = 0, maxComponentLength = 0, fileSystemFlags = 0;
  if (api.GetVolumeInformationA(root, nullptr, 0, &serial, &maxComponentLength, &fileSystemFlags,
                                nullptr, 0) == 0) {
    return "00000000";
  }
  return EightHexDigits(serial);
}

double UnsignedToDouble(int32_t value) {
  if (value >= 0) return value;
  return static_cast<double>(value) + 1.0 + 4294967295.0;
}

}  // namespace tarnvik
