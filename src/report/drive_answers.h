// One drive's answers from the operating system: everything its report block needs, asked in
// one go on a worker thread and handed to the window's thread as a plain value.
#pragma once

#include <cstdint>
#include <string>

#include "report/drive_api.h"
#include "report/drive_facts.h"

namespace tarnvik {

struct DriveAnswers {
  std::string label;               ///< cleaned volume label, may be empty
  std::string fileSystem = "?";    ///< cleaned file-system name, "?" when the volume gave none
  uint32_t serial = 0;             ///< 0 when the volume query failed
  uint32_t bytesPerSector = 0;     ///< cluster figures, 0 when the cluster query failed
  uint32_t sectorsPerCluster = 0;
  std::string serialText = "00000000";  ///< serial's digits, or GetVolumeSerialText when the volume failed
  DiskSpace space;
  std::string typeText = "?  (Unknown)";  ///< GetDriveTypeText
  uint32_t typeCode = kDriveUnknown;      ///< the GetDriveTypeA code behind typeText
  bool volumeAnswered = false;            ///< label, file system and serial came from the volume
  bool clusterAnswered = false;           ///< the cluster figures came from the volume
  uint32_t fileSystemFlags = 0;           ///< the volume query's flags, where volumeAnswered

  /// A volume without a file system did not answer; the management service would not either.
  bool HasFileSystem() const { return fileSystem != "?"; }
  bool operator==(const DriveAnswers&) const = default;
};

/// Asks every volume, cluster, space and type query of the drive with letter index `index`
/// (0 is A), in the order the report has always asked them. Touches no shared state, so it may
/// run on any thread; a failed call leaves its defaults.
DriveAnswers CollectDriveAnswers(DriveApi& api, int index);

/// The same questions of the volume whose root is `root`, a GUID path ("\\?\Volume{...}\"):
/// what a letter whose root were that path would answer.
DriveAnswers CollectVolumeAnswers(DriveApi& api, const std::string& root);

}  // namespace tarnvik
