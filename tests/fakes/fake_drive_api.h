// A machine's drives in memory: each letter, and '\\' for any "\\?\Volume{...}\", answers as configured.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "report/drive_api.h"

namespace tarnvik::testing {

struct FakeDrive {
  bool volumeOk = true;
  std::vector<bool> volumeOkByCall;  ///< each volume call in turn; past its end, volumeOk
  std::string label;
  std::string fileSystem = "NTFS";
  uint32_t serial = 0;
  bool clusterOk = true;
  uint32_t bytesPerSector = 512;
  uint32_t sectorsPerCluster = 8;
  bool spaceOk = true;
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;
  uint32_t type = kDriveFixed;
  uint32_t flags = 0;                       ///< the volume's file-system flags
  uint64_t quotaLeft = UINT64_MAX;          ///< caps the bytes free to the caller
};

/// The GetLogicalDrives mask of lower-case `letters`: "cd" for C: and D:.
inline uint32_t LetterMask(const std::string& letters) {
  uint32_t mask = 0;
  for (const char letter : letters) mask |= 1u << (letter - 'a');
  return mask;
}

class FakeDriveApi : public DriveApi {
 public:
  std::map<char, FakeDrive> drives;  ///< by lower-case letter
  std::vector<std::string> calls;    ///< "vol c:\", "space c:\", ...
  /// The two buffer sizes (volume name, file-system name) of each volume call, in order.
  std::vector<std::pair<uint32_t, uint32_t>> volumeBufferSizes;
  /// Runs after each call is recorded, before it answers: lets a test act "during" a query.
  std::function<void(const std::string&)> onCall;
  char throwingLetter = 0;  ///< its volume call throws, as a failed allocation would
  bool recording = true;    ///< off: nothing is written, so workers on many threads may call
  uint32_t logicalDrives = 0;  ///< what GetLogicalDrives answers (0: the call failed); not recorded
  /// volumeOkByCall counts from its first entry again: a second report meets the same answers.
  void RestartTurns() { volumeCalls_.clear(); }

  uint32_t GetLogicalDrives() override { return logicalDrives; }

  int GetVolumeInformationA(const std::string& rootPath, char* volumeName, uint32_t volumeNameSize,
                            uint32_t* serialNumber, uint32_t*, uint32_t* flags, char* fileSystemName,
                            uint32_t fileSystemNameSize) override {
    if (recording) volumeBufferSizes.emplace_back(volumeName == nullptr ? 0 : volumeNameSize,
                                   fileSystemName == nullptr ? 0 : fileSystemNameSize);
    Record("vol " + rootPath);
    if (!rootPath.empty() && rootPath[0] == throwingLetter) throw std::bad_alloc();
    const FakeDrive* d = Find(rootPath);
    if (d == nullptr) return 0;
    bool ok = d->volumeOk;
    if (!d->volumeOkByCall.empty()) {  // counted only where asked for: threads share the fake
      const std::size_t turn = volumeCalls_[rootPath[0]]++;
      if (turn < d->volumeOkByCall.size()) ok = d->volumeOkByCall[turn];
    }
    if (!ok) return 0;
    CopyText(d->label, volumeName, volumeNameSize);
    CopyText(d->fileSystem, fileSystemName, fileSystemNameSize);
    if (serialNumber != nullptr) *serialNumber = d->serial;
    if (flags != nullptr) *flags = d->flags;
    return 1;
  }

  int GetDiskFreeSpaceA(const std::string& rootPath, uint32_t* sectorsPerCluster, uint32_t* bytesPerSector,
                        uint32_t*, uint32_t*) override {
    Record("cluster " + rootPath);
    const FakeDrive* d = Find(rootPath);
    if (d == nullptr || !d->clusterOk) return 0;
    *sectorsPerCluster = d->sectorsPerCluster;
    *bytesPerSector = d->bytesPerSector;
    return 1;
  }

  int GetDiskFreeSpaceExA(const std::string& directoryName, uint64_t* available, uint64_t* total,
                          uint64_t* totalFree) override {
    Record("space " + directoryName);
    const FakeDrive* d = Find(directoryName);
    if (d == nullptr || !d->spaceOk) return 0;
    *available = std::min(d->freeBytes, d->quotaLeft);
    *total = d->totalBytes;
    *totalFree = d->freeBytes;
    return 1;
  }

  uint32_t GetDriveTypeA(const std::string& rootPath) override {
    Record("type " + rootPath);
    const FakeDrive* d = Find(rootPath);
    return d == nullptr ? kDriveNoRootDir : d->type;
  }

 private:
  std::map<char, std::size_t> volumeCalls_;
  void Record(const std::string& call) {
    if (recording) calls.push_back(call);
    if (onCall) onCall(call);
  }
  const FakeDrive* Find(const std::string& path) const {
    if (path.empty()) return nullptr;
    char c = path[0];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    const auto it = drives.find(c);
    return it == drives.end() ? nullptr : &it->second;
  }
  static void CopyText(const std::string& text, char* buffer, uint32_t size) {
    if (buffer == nullptr || size == 0) return;
    const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
  }
};

}  // namespace tarnvik::testing
