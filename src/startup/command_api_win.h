// The command line, the drive letters, the standard handles and the report file, through
// kernel32 and shell32.
#pragma once

#include "startup/command_api.h"

namespace tarnvik::win {

class WinCommandApi final : public CommandApi {
 public:
  std::vector<std::string> Arguments() override;
  uint32_t GetLogicalDrives() override;
  uint32_t WriteStdHandle(StdStream stream, std::string_view bytes) override;
  uint32_t GetFullPathNameW(const std::string& path, std::string& full) override;
  uint32_t WriteNewFile(const std::string& path, std::string_view bytes, bool& created) override;
  uint32_t WriteDevice(const std::string& path, std::string_view bytes) override;
  uint32_t GetFileAttributesW(const std::string& path) override;
  uint32_t MoveFileExW(const std::string& from, const std::string& to) override;
  uint32_t DeleteFileW(const std::string& path) override;
  void Sleep(uint32_t milliseconds) override;
  std::string ErrorText(uint32_t error) override;
};

}  // namespace tarnvik::win
