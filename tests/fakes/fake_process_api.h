// Running processes in memory, for both walks: the snapshot and the psapi identifiers.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "startup/process_api.h"

namespace tarnvik::testing {

class FakeProcessApi : public ProcessApi {
 public:
  // Snapshot walk: the raw szExeFile contents, in order (copied as they are, NULs included).
  std::vector<std::string> snapshotNames;
  bool snapshotFails = false;
  // psapi walk: identifiers in order; module path per identifier; identifiers that cannot be opened.
  std::vector<uint32_t> pids;
  std::map<uint32_t, std::string> modulePaths;
  std::vector<uint32_t> unopenable;
  std::set<uint32_t> moduleEnumFails;  ///< opened, but their modules cannot be listed
  bool enumProcessesFails = false;
  std::vector<uint32_t> enumSizesTried;  ///< the cb of each EnumProcesses call
  int openHandles = 0;
  int snapshotsOpen = 0;
  // What the calls were given.
  int snapshotCalls = 0;
  uint32_t entrySizeSeen = 0;          ///< dwSize of the entry given to Process32First
  std::vector<uint32_t> openAccessSeen;
  std::vector<int> openInheritSeen;
  std::vector<uint32_t> moduleTableBytesSeen;
  std::vector<ProcessHandle> moduleNameAskedOf;  ///< process handle of each GetModuleFileNameExA
  int zeroHandlesClosed = 0;
  // Session by process identifier (unlisted: cannot be read); snapshot entry i is kFirstSnapshotId + i.
  static constexpr uint32_t kOwnId = 4000, kFirstSnapshotId = 100;
  std::map<uint32_t, uint32_t> sessionOf;
  std::set<std::string> mutexes;  ///< named mutexes that exist
  std::set<std::string> deniedMutexes;  ///< named mutexes that exist but may not be opened
  std::map<std::string, uint32_t> mutexesFrom;  ///< named mutexes that exist once so many ms were slept
  std::map<uint32_t, uint64_t> createdAt;  ///< creation time by identifier (unlisted: cannot be read)
  std::set<uint32_t> lighterRightRefused;  ///< processes that refuse kProcessQueryLimitedInformation
  std::vector<uint32_t> sleeps;
  uint32_t sleptMs = 0;
  std::set<uint32_t> askedAbout;  ///< the other processes asked for their session or not-a-copy mark

  ProcessHandle CreateToolhelp32Snapshot(uint32_t flags, uint32_t processId) override {
    ++snapshotCalls;
    if (snapshotFails || flags != kTh32csSnapProcess || processId != 0) return kInvalidHandleValue;
    ++snapshotsOpen;
    cursor_ = 0;
    return kSnapshot;
  }
  int Process32First(ProcessHandle snapshot, ProcessEntry& entry) override {
    cursor_ = 0;
    entrySizeSeen = entry.dwSize;
    return Deliver(snapshot, entry);
  }
  int Process32Next(ProcessHandle snapshot, ProcessEntry& entry) override { return Deliver(snapshot, entry); }
  int EnumProcesses(uint32_t* ids, uint32_t cb, uint32_t* bytesReturned) override {
    enumSizesTried.push_back(cb);
    if (enumProcessesFails) return 0;
    const std::size_t n = std::min<std::size_t>(pids.size(), cb / 4);
    std::copy_n(pids.begin(), n, ids);
    *bytesReturned = static_cast<uint32_t>(n * 4);
    return 1;
  }
  ProcessHandle OpenProcess(uint32_t desiredAccess, int inheritHandle, uint32_t processId) override {
    openAccessSeen.push_back(desiredAccess);
    openInheritSeen.push_back(inheritHandle);
    if (std::find(unopenable.begin(), unopenable.end(), processId) != unopenable.end()) return 0;
    if (desiredAccess == kProcessQueryLimitedInformation && lighterRightRefused.count(processId) != 0) return 0;
    ++openHandles;
    return 0x1000 + static_cast<ProcessHandle>(processId);
  }
  int EnumProcessModules(ProcessHandle process, ModuleHandle* modules, uint32_t cb, uint32_t* cbNeeded) override {
    moduleTableBytesSeen.push_back(cb);
    if (process == 0 || cb < sizeof(ModuleHandle)) return 0;
    if (moduleEnumFails.count(static_cast<uint32_t>(process - 0x1000)) != 0) return 0;
    modules[0] = static_cast<ModuleHandle>(process);  // the first module names the process
    if (cbNeeded != nullptr) *cbNeeded = sizeof(ModuleHandle);
    return 1;
  }
  uint32_t GetModuleFileNameExA(ProcessHandle process, ModuleHandle module, char* fileName, uint32_t size) override {
    moduleNameAskedOf.push_back(process);
    // A module handle names a module of one process only.
    if (process == 0 || static_cast<ModuleHandle>(process) != module || size == 0) return 0;
    const auto it = modulePaths.find(static_cast<uint32_t>(module - 0x1000));
    if (it == modulePaths.end()) return 0;
    const std::size_t n = std::min<std::size_t>(it->second.size(), size - 1);
    std::memcpy(fileName, it->second.data(), n);
    fileName[n] = '\0';
    return static_cast<uint32_t>(n);
  }
  int CloseHandle(ProcessHandle handle) override {
    if (handle == kSnapshot) {
      --snapshotsOpen;
      return 1;
    }
    if (handle == 0) {
      ++zeroHandlesClosed;
      return 0;
    }
    --openHandles;
    return 1;
  }
  uint32_t GetCurrentProcessId() override { return kOwnId; }
  int ProcessIdToSessionId(uint32_t processId, uint32_t* sessionId) override {
    if (processId != kOwnId) askedAbout.insert(processId);
    const auto it = sessionOf.find(processId);
    if (it == sessionOf.end()) return 0;
    *sessionId = it->second;
    return 1;
  }

  int GetProcessTimes(ProcessHandle process, uint64_t* creation, uint64_t*, uint64_t*, uint64_t*) override {
    const auto id = static_cast<uint32_t>(process - 0x1000);
    return createdAt.count(id) != 0 ? (*creation = createdAt[id], 1) : 0;
  }
  void Sleep(uint32_t milliseconds) override {
    sleeps.push_back(milliseconds);
    sleptMs += milliseconds;
  }
  ProcessHandle CreateMutexA(int, const char* name) override {
    mutexes.insert(name);
    ++openHandles;
    return kMutex;
  }
  ProcessHandle OpenMutexA(uint32_t, int, const char* name) override {
    askedAbout.insert(static_cast<uint32_t>(std::stoul(std::string(name).substr(std::string(name).rfind('.') + 1))));
    lastError_ = deniedMutexes.count(name) != 0 ? kErrorAccessDenied : 2;  // else ERROR_FILE_NOT_FOUND
    const auto later = mutexesFrom.find(name);
    if (mutexes.count(name) == 0 && (later == mutexesFrom.end() || later->second > sleptMs)) return 0;
    ++openHandles;
    return kMutex;
  }
  uint32_t GetLastError() override { return lastError_; }

 private:
  static constexpr ProcessHandle kSnapshot = 0x77, kMutex = 0x99;
  int Deliver(ProcessHandle snapshot, ProcessEntry& entry) {
    if (snapshot != kSnapshot || cursor_ >= snapshotNames.size()) return 0;
    // Like the platform: the name and, where it fits, a NUL; the rest of the field is left alone.
    entry.th32ProcessID = kFirstSnapshotId + static_cast<uint32_t>(cursor_);
    const std::string& name = snapshotNames[cursor_++];
    const std::size_t n = std::min(name.size(), entry.szExeFile.size());
    std::memcpy(entry.szExeFile.data(), name.data(), n);
    if (n < entry.szExeFile.size()) entry.szExeFile[n] = '\0';
    return 1;
  }
  std::size_t cursor_ = 0;
  uint32_t lastError_ = 0;
};

}  // namespace tarnvik::testing
