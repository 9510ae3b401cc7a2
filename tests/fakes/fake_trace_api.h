// The trace's clock, set by the test, and its file, kept as a string.
#pragma once

#include "base/start_trace.h"

namespace tarnvik::testing {

class FakeTraceApi : public TraceApi {
 public:
  std::string variable;  // the switch's value; empty: not set
  int64_t created = 0, systemTime = 0, counter = 0, frequency = 1'000'000;
  bool fileMade = false, fileClosed = false;
  std::string file;

  std::string GetEnvironmentVariableW(std::string_view) override { return variable; }
  int64_t GetProcessCreationTime() override { return created; }
  int64_t GetSystemTimeAsFileTime() override { return systemTime; }
  int64_t QueryPerformanceCounter() override { return counter; }
  int64_t QueryPerformanceFrequency() override { return frequency; }
  bool CreateFileW(const std::string&) override { return fileMade = true; }
  void WriteFile(std::string_view bytes) override { file += bytes; }
  void CloseFile() override { fileClosed = true; }
};

}  // namespace tarnvik::testing
