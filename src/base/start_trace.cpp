#include "base/start_trace.h"

namespace tarnvik {

namespace {
StartTrace* processTrace = nullptr;
}  // namespace

void SetStartTrace(StartTrace* trace) { processTrace = trace; }

void TraceStart(std::string_view phase) {
  if (processTrace != nullptr) processTrace->Mark(phase);
}

void FinishStartTrace(std::string_view phase) {
  if (processTrace != nullptr) processTrace->Finish(phase);
}

StartTrace::StartTrace(TraceApi& api) : api_(api) {
  const std::string path = api_.GetEnvironmentVariableW(kStartTraceVariable);
  if (path.empty()) return;
  frequency_ = api_.QueryPerformanceFrequency();
  if (frequency_ <= 0 || !api_.CreateFileW(path)) return;
  on_ = true;
  // The system time moves in steps of up to 15.6 ms on Windows: it gives only the distance from
  // the creation to the anchor, and the counter spaces the phases. Without a creation time the
  // lines count from the anchor.
  const int64_t created = api_.GetProcessCreationTime();
  createdToAnchor_ = created > 0 ? api_.GetSystemTimeAsFileTime() - created : 0;
  anchorCount_ = api_.QueryPerformanceCounter();
}

void StartTrace::Finish(std::string_view phase) {
  if (!on_) return;
  Write(phase);
  api_.CloseFile();
  on_ = false;
}

void StartTrace::Write(std::string_view phase) {
  const int64_t counts = api_.QueryPerformanceCounter() - anchorCount_;
  const int64_t sinceCreated =  // 100 ns units
      createdToAnchor_ + counts / frequency_ * 10'000'000 + counts % frequency_ * 10'000'000 / frequency_;
  const int64_t micros = sinceCreated > 0 ? sinceCreated / 10 : 0;
  std::string fraction = std::to_string(micros % 1000);
  fraction.insert(0, 3 - fraction.size(), '0');
  std::string line = std::to_string(micros / 1000) + "." + fraction;
  line.insert(0, line.size() < 10 ? 10 - line.size() : 0, ' ');  // the figures in one column
  line.append(" ms  ").append(phase).append("\r\n");
  api_.WriteFile(line);
}

}  // namespace tarnvik
