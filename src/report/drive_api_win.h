// The volume calls of the drive report, answered by kernel32's wide functions.
#pragma once

#include "report/drive_api.h"

namespace tarnvik::win {

/// Asks the wide (W) calls with the root path converted from UTF-8 and hands texts back as
/// UTF-8, cut on a character boundary to fit the caller's buffer. Every call fills locals
/// first and copies out only on success, so a failure leaves the caller's presets alone.
class WinDriveApi final : public DriveApi {
 public:
  uint32_t GetLogicalDrives() override;
  int GetVolumeInformationA(const std::string& rootPath, char* volumeName, uint32_t volumeNameSize,
                            uint32_t* serialNumber, uint32_t* maxComponentLength, uint32_t* fileSystemFlags,
                            char* fileSystemName, uint32_t fileSystemNameSize) override;
  int GetDiskFreeSpaceA(const std::string& rootPath, uint32_t* sectorsPerCluster, uint32_t* bytesPerSector,
                        uint32_t* numberOfFreeClusters, uint32_t* totalNumberOfClusters) override;
  int GetDiskFreeSpaceExA(const std::string& directoryName, uint64_t* freeBytesAvailableToCaller,
                          uint64_t* totalNumberOfBytes, uint64_t* totalNumberOfFreeBytes) override;
  uint32_t GetDriveTypeA(const std::string& rootPath) override;
};

}  // namespace tarnvik::win
