// FakeDriveApi's drives with their volume flags and quotas (a GUID path "\\?\..." is its drive
// '\'), and the volume calls as scripted.
#pragma once

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_drive_api.h"
#include "report/volume_api.h"

namespace tarnvik::testing {

struct FakeVolumeApi : VolumeApi, FakeDriveApi {
  std::map<char, uint32_t> flags;                                  ///< by drive, lower case
  std::map<char, uint64_t> quotaLeft;                              ///< caps the caller's free bytes
  std::map<std::string, std::string> guidPaths;                    ///< by mount point; none: error 2
  std::map<std::string, std::vector<std::string>> pathLists;       ///< at each ask, the last kept
  std::map<std::string, std::pair<uint32_t, std::string>> shares;  ///< by "Z:": result, share
  std::vector<std::string> search;                                 ///< in the search's order
  std::map<std::string, std::size_t> pathAsks;
  std::size_t next = 0;
  int openSearches = 0;

  static char Key(const std::string& root) { return static_cast<char>(std::tolower(root[0])); }
  int GetVolumeInformationA(const std::string& root, char* label, uint32_t labelSize, uint32_t* serial, uint32_t* max,
                            uint32_t* flagsOut, char* fileSystem, uint32_t fileSystemSize) override {
    if (!FakeDriveApi::GetVolumeInformationA(root, label, labelSize, serial, max, flagsOut, fileSystem, fileSystemSize))
      return 0;
    if (flagsOut != nullptr) *flagsOut = flags[Key(root)];
    return 1;
  }
  int GetDiskFreeSpaceExA(const std::string& root, uint64_t* available, uint64_t* total, uint64_t* free) override {
    if (!FakeDriveApi::GetDiskFreeSpaceExA(root, available, total, free)) return 0;
    if (quotaLeft.count(Key(root)) != 0) *available = std::min(*available, quotaLeft[Key(root)]);
    return 1;
  }

  int GetVolumeNameForVolumeMountPointW(const std::string& root, std::string* name, uint32_t* error) override {
    *error = guidPaths.count(root) != 0 ? 0 : 2;
    if (*error == 0) *name = guidPaths[root];
    return *error == 0;
  }
  int GetVolumePathNamesForVolumeNameW(const std::string& guid, uint32_t length, std::string* list, uint32_t* asked,
                                       uint32_t* error) override {
    *error = pathLists[guid].empty() ? 2 : 0;  // ERROR_FILE_NOT_FOUND: the volume is gone
    if (*error != 0) return 0;
    const std::string& now = pathLists[guid][std::min(pathAsks[guid]++, pathLists[guid].size() - 1)];
    *asked = static_cast<uint32_t>(now.size());
    *error = now.size() > length ? 234 : 0;  // ERROR_MORE_DATA
    if (*error == 0) *list = now;
    return *error == 0;
  }
  VolumeSearch FindFirstVolumeW(std::string* name, uint32_t* error) override {
    next = 0;
    if (!FindNextVolumeW(1, name, error)) return kNoVolumeSearch;
    ++openSearches;
    return 1;
  }
  int FindNextVolumeW(VolumeSearch, std::string* name, uint32_t* error) override {
    *error = next < search.size() ? 0 : 18;  // ERROR_NO_MORE_FILES
    if (*error == 0) *name = search[next++];
    return *error == 0;
  }
  int FindVolumeClose(VolumeSearch) override {
    --openSearches;
    return 1;
  }
  uint32_t WNetGetConnectionW(const std::string& local, std::string* remote) override {
    const auto [result, share] = shares.count(local) != 0 ? shares[local] : std::make_pair(2250u, std::string());
    if (result == 0 || result == 1201) *remote = share;  // a remembered share (1201) is named too
    return result;
  }
};

}  // namespace tarnvik::testing
