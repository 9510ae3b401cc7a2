// The kernel32 volume calls the drive report makes, one method per call.
#pragma once

#include <cstdint>
#include <string>

namespace tarnvik {

/// Drive-type codes that GetDriveTypeA answers.
enum : uint32_t {
  kDriveUnknown = 0,
  kDriveNoRootDir = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdrom = 5,
  kDriveRamdisk = 6,
};

/// Mirrors GetLogicalDrives, GetVolumeInformationA, GetDiskFreeSpaceA, GetDiskFreeSpaceExA and GetDriveTypeA:
/// same arguments, same result codes. Contract of every method: on failure each output keeps
/// exactly what the caller preset. Texts are UTF-8 (the Windows adapter asks the wide calls,
/// so labels outside the ANSI code page survive).
class DriveApi {
 public:
  virtual ~DriveApi() = default;

  /// The letters present as a bit mask, bit 0 for A; 0 when the call fails. Touches no volume.
  virtual uint32_t GetLogicalDrives() = 0;

  /// Non-zero on success. A null buffer or a size of 0 skips that text; on success the texts
  /// stand NUL-terminated in the buffers and *serialNumber holds the serial.
  virtual int GetVolumeInformationA(const std::string& rootPath, char* volumeName, uint32_t volumeNameSize,
                                    uint32_t* serialNumber, uint32_t* maxComponentLength,
                                    uint32_t* fileSystemFlags, char* fileSystemName,
                                    uint32_t fileSystemNameSize) = 0;

  /// Non-zero on success.
  virtual int GetDiskFreeSpaceA(const std::string& rootPath, uint32_t* sectorsPerCluster,
                                uint32_t* bytesPerSector, uint32_t* numberOfFreeClusters,
                                uint32_t* totalNumberOfClusters) = 0;

  /// Non-zero on success.
  virtual int GetDiskFreeSpaceExA(const std::string& directoryName, uint64_t* freeBytesAvailableToCaller,
                                  uint64_t* totalNumberOfBytes, uint64_t* totalNumberOfFreeBytes) = 0;

  /// One of the kDrive* codes.
  virtual uint32_t GetDriveTypeA(const std::string& rootPath) = 0;
};

}  // namespace tarnvik
