// The start-up trace's clock and file on Windows.
#pragma once

#include "base/scoped_win.h"
#include "base/start_trace.h"

namespace tarnvik::win {

class WinTraceApi final : public TraceApi {
 public:
  std::string GetEnvironmentVariableW(std::string_view name) override;
  int64_t GetProcessCreationTime() override;
  int64_t GetSystemTimeAsFileTime() override;
  int64_t QueryPerformanceCounter() override;
  int64_t QueryPerformanceFrequency() override;
  bool CreateFileW(const std::string& path) override;
  void WriteFile(std::string_view bytes) override;
  void CloseFile() override;

 private:
  ScopedKernelHandle file_;
};

}  // namespace tarnvik::win
