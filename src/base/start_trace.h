// The start-up trace: with TARNVIK_TRACE_START naming a file, every phase of the start writes one
// line to it, the milliseconds since the process was created and the phase's name, up to the
// first report's summary. Off, which is the rule, a phase costs the test of one flag.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarnvik {

inline constexpr std::string_view kStartTraceVariable = "TARNVIK_TRACE_START";

/// The clock and the file of the trace, shaped like the kernel calls behind them.
class TraceApi {
 public:
  virtual ~TraceApi() = default;
  /// GetEnvironmentVariableW, as UTF-8; empty when the variable is not set.
  virtual std::string GetEnvironmentVariableW(std::string_view name) = 0;
  /// GetProcessTimes' creation time of this process, in 100 ns units; 0 when the call fails.
  virtual int64_t GetProcessCreationTime() = 0;
  /// GetSystemTimeAsFileTime, in 100 ns units, on the creation time's clock.
  virtual int64_t GetSystemTimeAsFileTime() = 0;
  /// QueryPerformanceCounter and QueryPerformanceFrequency; 0 when the call fails.
  virtual int64_t QueryPerformanceCounter() = 0;
  virtual int64_t QueryPerformanceFrequency() = 0;
  /// CreateFileW of a new, empty file (CREATE_ALWAYS); false when it cannot be made.
  virtual bool CreateFileW(const std::string& path) = 0;
  /// WriteFile of the bytes to the file CreateFileW made.
  virtual void WriteFile(std::string_view bytes) = 0;
  /// CloseHandle of that file.
  virtual void CloseFile() = 0;
};

class StartTrace {
 public:
  /// Reads the switch, once; on, makes the file and anchors the clock.
  explicit StartTrace(TraceApi& api);
  StartTrace(const StartTrace&) = delete;
  StartTrace& operator=(const StartTrace&) = delete;

  bool On() const { return on_; }
  /// One line for the phase.
  void Mark(std::string_view phase) {
    if (on_) Write(phase);
  }
  /// The last line: the trace closes and every later phase costs the flag alone.
  void Finish(std::string_view phase);

 private:
  void Write(std::string_view phase);

  TraceApi& api_;
  bool on_ = false;
  int64_t createdToAnchor_ = 0;  // 100 ns units from the process's creation to the anchor
  int64_t anchorCount_ = 0;      // the performance counter at the anchor
  int64_t frequency_ = 0;        // its counts a second
};

/// The process's trace, set once by the entry point before any phase; null: none. The phases
/// are marked on the user-interface thread alone.
void SetStartTrace(StartTrace* trace);
/// A line for the phase, when the process's trace is on.
void TraceStart(std::string_view phase);
/// The last line of the process's trace.
void FinishStartTrace(std::string_view phase);

}  // namespace tarnvik
