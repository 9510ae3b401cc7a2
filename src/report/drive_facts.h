// The facts of one drive as the report writes them: space, type, serial.
#pragma once

#include <cstdint>
#include <string>

#include "report/drive_api.h"

namespace tarnvik {

/// The byte counts of a drive's space query; all 0 when the query failed.
struct DiskSpace {
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;
  bool answered = false;  ///< the query succeeded; a saved report shows no counts otherwise
  uint64_t freeBytesForCaller = 0;  ///< what this user may still write: quotas make it less than free
  bool operator==(const DiskSpace&) const = default;
};

/// Asks GetDiskFreeSpaceExA for the letter's root. Touches no shared state, so it may run on
/// any thread.
DiskSpace QueryDriveSpace(DriveApi& api, const std::string& letter);

/// The same for a volume's root path: "c:\" or a GUID path "\\?\Volume{...}\".
DiskSpace QueryRootSpace(DriveApi& api, const std::string& root);

/// The used bytes of `space`: total less free, and 0 when a volume reports more free than total.
uint64_t UsedBytes(const DiskSpace& space);

/// A drive's total, free and used space, each as a size text ("465,627 GB") and as a plain
/// decimal byte count.
struct DriveSpaceTexts {
  std::string totalSize, totalBytes;
  std::string freeSize, freeBytes;
  std::string usedSize, usedBytes;
};

/// The size texts of a drive with `space`.
DriveSpaceTexts SpaceTexts(const DiskSpace& space);

/// "HDD/VHD  (Fixed)" and the like; "?  (Unknown)" for anything else.
std::string GetDriveTypeText(DriveApi& api, const std::string& letter);

/// GetDriveTypeA of the letter's root; kDriveUnknown, without a call, for anything but A to Z.
uint32_t QueryDriveType(DriveApi& api, const std::string& letter);

/// The text of a drive-type code, as GetDriveTypeText gives it.
std::string DriveTypeName(uint32_t code);

/// `value` as eight upper-case hexadecimal digits.
std::string EightHexDigits(uint32_t value);

/// The volume serial as eight upper-case hexadecimal digits; "00000000" when it cannot be read.
std::string GetVolumeSerialText(DriveApi& api, const std::string& letter);

/// The same for a volume's root path.
std::string RootSerialText(DriveApi& api, const std::string& root);

/// A 32-bit signed integer read as unsigned.
double UnsignedToDouble(int32_t value);

}  // namespace tarnvik
