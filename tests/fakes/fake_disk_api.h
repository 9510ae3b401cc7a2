// Devices in memory: each path opens unless refused, and answers each control code as scripted.
// Safe to call from many threads: a report asks its letters' disks on workers.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
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
  template <class F>
  auto Locked(F f) {  ///< what `f` gives, under the fake's lock
    const std::lock_guard lock(mutex_);
    return f();
  }
  std::map<std::string, uint32_t> openErrors;  ///< refused paths and their errors
  /// By path, control code and property asked (the property query only; else ~0u).
  std::map<std::tuple<std::string, uint32_t, uint32_t>, FakeIoAnswer> answers;
  std::vector<std::string> calls;  ///< "open P", "io P code property"
  std::vector<std::string> paths;  ///< by handle - 1; events are "event"
  std::set<DeviceHandle> open, setEvents;
  /// Runs as a device control is asked, outside the lock: a test acts "during" it, or holds it.
  std::function<void(const std::string& call)> onIo;
  bool eventsFail = false;  ///< CreateEventW fails

  DeviceHandle CreateFileW(const std::string& path, uint32_t, uint32_t* lastError) override {
    const std::lock_guard lock(mutex_);
    calls.push_back("open " + path);
    *lastError = openErrors.count(path) != 0 ? openErrors[path] : 0;
    if (*lastError != 0) return kNoDevice;
    return Open(path);
  }
  int DeviceIoControl(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                      uint32_t outSize, uint32_t* bytesReturned, uint32_t* lastError) override {
    uint32_t property = ~0u;
    if (code == ioctl::kStorageQueryProperty && inSize >= 4) std::memcpy(&property, in, 4);
    const auto [call, a] = Locked([&] {
      const std::string path = open.count(device) != 0 ? paths[device - 1] : "closed";
      calls.push_back("io " + path + " " + std::to_string(code) + " " + std::to_string(property));
      const auto it = answers.find({path, code, property});
      return std::pair(calls.back(), it != answers.end() ? it->second : FakeIoAnswer{{}, 1});  // ERROR_INVALID_FUNCTION
    });
    if (onIo) onIo(call);
    *bytesReturned = a.error != 0 ? 0 : std::min<uint32_t>(outSize, static_cast<uint32_t>(a.bytes.size()));
    if (*bytesReturned > 0) std::memcpy(out, a.bytes.data(), *bytesReturned);
    *lastError = a.error != 0 ? a.error : *bytesReturned < a.bytes.size() ? a.overflowError : 0;
    return *lastError == 0;
  }
  int CloseHandle(DeviceHandle device) override { return Locked([&] { return static_cast<int>(open.erase(device)); }); }
  DeviceHandle CreateEventW() override { return Locked([&] { return eventsFail ? kNoDevice : Open("event"); }); }
  int SetEvent(DeviceHandle event) override {
    const int set = Locked([&] { return open.count(event) != 0 ? (setEvents.insert(event), 1) : 0; });
    return eventSet_.notify_all(), set;
  }
  uint32_t WaitForSingleObject(DeviceHandle event, uint32_t milliseconds) override {
    std::unique_lock lock(mutex_);
    if (open.count(event) == 0) return ~0u;  // WAIT_FAILED
    const auto set = [&] { return setEvents.count(event) != 0; };
    return eventSet_.wait_for(lock, std::chrono::milliseconds(milliseconds), set) ? kWaitObject0 : kWaitTimeout;
  }
  std::size_t Count(const std::string& call) {  ///< how many calls equal `call`
    return Locked([&] { return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), call)); });
  }

 private:
  DeviceHandle Open(const std::string& path) {
    paths.push_back(path);
    return *open.insert(paths.size()).first;
  }
  std::mutex mutex_;
  std::condition_variable eventSet_;
};

}  // namespace tarnvik::testing
