// Devices in memory: each path opens unless refused, and answers each control code as scripted.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "report/disk_api.h"
#include "report/disk_facts.h"

namespace tarnvik::testing {

/// The bytes a driver has, or an error. Bytes beyond the caller's buffer are cut off, and the
/// call then fails with `overflowError` unless it is 0 (ERROR_MORE_DATA for disk extents).
struct FakeIoAnswer {
  std::vector<unsigned char> bytes;
  uint32_t error = 0, overflowError = 0;
};

struct FakeDiskApi : DiskApi {
  std::map<std::string, uint32_t> openErrors;  ///< refused paths and their errors
  /// By path, control code and property asked (the property query only; else ~0u).
  std::map<std::tuple<std::string, uint32_t, uint32_t>, FakeIoAnswer> answers;
  std::vector<std::string> calls;  ///< "open P", "io P code property"
  std::vector<std::string> paths;  ///< by handle - 1
  std::set<DeviceHandle> open;

  DeviceHandle CreateFileW(const std::string& path, uint32_t, uint32_t* lastError) override {
    calls.push_back("open " + path);
    *lastError = openErrors.count(path) != 0 ? openErrors[path] : 0;
    if (*lastError != 0) return kNoDevice;
    paths.push_back(path);
    return *open.insert(paths.size()).first;
  }
  int DeviceIoControl(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                      uint32_t outSize, uint32_t* bytesReturned, uint32_t* lastError) override {
    uint32_t property = ~0u;
    if (code == ioctl::kStorageQueryProperty && inSize >= 4) std::memcpy(&property, in, 4);
    const std::string path = open.count(device) != 0 ? paths[device - 1] : "closed";
    calls.push_back("io " + path + " " + std::to_string(code) + " " + std::to_string(property));
    const auto it = answers.find({path, code, property});
    const FakeIoAnswer a = it != answers.end() ? it->second : FakeIoAnswer{{}, 1};  // ERROR_INVALID_FUNCTION
    *bytesReturned = a.error != 0 ? 0 : std::min<uint32_t>(outSize, static_cast<uint32_t>(a.bytes.size()));
    if (*bytesReturned > 0) std::memcpy(out, a.bytes.data(), *bytesReturned);
    *lastError = a.error != 0 ? a.error : *bytesReturned < a.bytes.size() ? a.overflowError : 0;
    return *lastError == 0;
  }
  int CloseHandle(DeviceHandle device) override { return static_cast<int>(open.erase(device)); }
};

}  // namespace tarnvik::testing
