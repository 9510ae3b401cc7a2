// The volume names, paths, search and network mappings, answered by kernel32 and mpr.
#pragma once

#include "report/volume_api.h"

namespace tarnvik::win {

/// The wide (W) calls with texts converted from and to UTF-8; GetLastError is read at once, on
/// the calling thread, and outputs are written only on success.
class WinVolumeApi final : public VolumeApi {
 public:
  int GetVolumeNameForVolumeMountPointW(const std::string& mountPoint, std::string* volumeName,
                                        uint32_t* lastError) override;
  int GetVolumePathNamesForVolumeNameW(const std::string& volumeName, uint32_t bufferLength, std::string* list,
                                       uint32_t* returnLength, uint32_t* lastError) override;
  VolumeSearch FindFirstVolumeW(std::string* volumeName, uint32_t* lastError) override;
  int FindNextVolumeW(VolumeSearch search, std::string* volumeName, uint32_t* lastError) override;
  int FindVolumeClose(VolumeSearch search) override;
  uint32_t WNetGetConnectionW(const std::string& localName, std::string* remoteName) override;
};

}  // namespace tarnvik::win
