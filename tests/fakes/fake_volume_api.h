// The volume calls as scripted: mount points' GUID paths, path lists, the search's order and network
// mappings. Safe to call from many threads but for the search, which one worker walks.
#pragma once

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "report/volume_api.h"

namespace tarnvik::testing {

struct FakeVolumeApi : VolumeApi {
  std::map<std::string, std::string> guidPaths;                    ///< by mount point; none: error 2
  std::map<std::string, std::vector<std::string>> pathLists;       ///< at each ask, the last kept
  std::map<std::string, std::pair<uint32_t, std::string>> shares;  ///< by "Z:": result, share
  std::vector<std::string> search;                                 ///< in the search's order
  std::map<std::string, std::size_t> pathAsks;
  std::size_t next = 0;
  int openSearches = 0;
  std::mutex mutex;

  int GetVolumeNameForVolumeMountPointW(const std::string& root, std::string* name, uint32_t* error) override {
    const std::lock_guard lock(mutex);
    *error = guidPaths.count(root) != 0 ? 0 : 2;
    if (*error == 0) *name = guidPaths[root];
    return *error == 0;
  }
  int GetVolumePathNamesForVolumeNameW(const std::string& guid, uint32_t length, std::string* list, uint32_t* asked,
                                       uint32_t* error) override {
    const std::lock_guard lock(mutex);
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
    const std::lock_guard lock(mutex);
    const auto [result, share] = shares.count(local) != 0 ? shares[local] : std::make_pair(2250u, std::string());
    if (result == 0 || result == 1201) *remote = share;  // a remembered share (1201) is named too
    return result;
  }
};

}  // namespace tarnvik::testing
