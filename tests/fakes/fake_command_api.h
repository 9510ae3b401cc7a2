// A process's command line, standard handles and files in memory.
#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "startup/command_api.h"

namespace tarnvik::testing {

struct FakeCommandApi : CommandApi {
  std::vector<std::string> arguments;
  uint32_t logicalDrives = 0;
  std::optional<std::string> out = "", err = "";  ///< nullopt: the process has no such handle
  std::map<std::string, std::string> files;
  std::map<std::string, uint32_t> failCreate, failMove;  ///< by path: the error of the call
  std::size_t diskFullAfter = 0;                         ///< bytes a file takes before the disk is full (0: never)
  int moveFailures = -1;  ///< renames failMove refuses before they succeed (-1: every one)
  uint32_t fullPathError = 0;  ///< GetFullPathNameW's error (0: FILE as it stands is full)
  std::map<std::string, std::string> fullPaths;  ///< what GetFullPathNameW makes of a path other than itself
  std::set<std::string> folders, flushed;        ///< folders that exist; files WriteNewFile made (it flushes)
  std::set<std::string> devices;                 ///< paths WriteDevice wrote
  std::vector<uint32_t> sleeps;

  std::vector<std::string> Arguments() override { return arguments; }
  uint32_t GetLogicalDrives() override { return logicalDrives; }
  uint32_t WriteStdHandle(StdStream stream, std::string_view bytes) override {
    std::optional<std::string>& handle = stream == StdStream::Output ? out : err;
    if (handle) *handle += bytes;
    return handle ? 0u : uint32_t{kErrorInvalidHandle};
  }
  uint32_t GetFullPathNameW(const std::string& path, std::string& full) override {
    return fullPathError != 0 ? fullPathError : (full = fullPaths.count(path) ? fullPaths[path] : path, 0);
  }
  uint32_t WriteNewFile(const std::string& path, std::string_view bytes, bool& created) override {
    if (failCreate.count(path) != 0) return failCreate[path];
    if (files.count(path) != 0) return kErrorFileExists;
    for (std::size_t at = 0, end = 0; at <= path.size(); at = end + 1)  // a name is at most 255 characters
      if ((end = std::min(path.find('\\', at), path.size())) - at > 255) return 206;
    const bool full = diskFullAfter != 0 && bytes.size() > diskFullAfter;
    files[path] = bytes.substr(0, full ? diskFullAfter : bytes.size());
    created = true, flushed.insert(path);
    return full ? 112 : 0;
  }
  uint32_t WriteDevice(const std::string& path, std::string_view bytes) override {
    return devices.insert(path), files[path] = bytes, 0;
  }
  uint32_t GetFileAttributesW(const std::string& path) override { return folders.count(path) ? 0x10u : kInvalidFileAttributes; }
  uint32_t MoveFileExW(const std::string& from, const std::string& to) override {
    if (failMove.count(to) != 0 && moveFailures-- != 0) return failMove[to];
    files[to] = files[from];
    return static_cast<uint32_t>(files.erase(from) - 1);
  }
  uint32_t DeleteFileW(const std::string& path) override { return files.erase(path) != 0 ? 0 : 2; }
  void Sleep(uint32_t milliseconds) override { sleeps.push_back(milliseconds); }
  std::string ErrorText(uint32_t error) override { return error == 5 ? "Access is denied." : ""; }
};

}  // namespace tarnvik::testing
