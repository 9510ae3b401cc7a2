// What the window program and its console twin share around their own part: the process-wide
// settings, the command line, COM on the entry thread and the operating-system adapters; the
// saving runs, which need no window; and an end of the process that never waits for a worker.
#pragma once

#include <optional>
#include <string>

#include "base/start_trace_win.h"
#include "base/workers_win.h"
#include "report/disk_api_win.h"
#include "report/drive_api_win.h"
#include "report/machine_api_win.h"
#include "report/volume_api_win.h"
#include "report/wmi_api_win.h"
#include "startup/command_api_win.h"
#include "startup/command_line.h"
#include "startup/process_api_win.h"
#include "startup/registry_api_win.h"
#include "startup/version_api_win.h"

namespace tarnvik::win {

class RunSetup {
 public:
  /// In this order: the command line, the start trace (of a windowed run only), the error mode of drive probes, the mark
  /// of a saving run (before COM, so that a window started meanwhile already sees it), COM in a
  /// single-threaded apartment.
  RunSetup();
  RunSetup(const RunSetup&) = delete;
  RunSetup& operator=(const RunSetup&) = delete;

  const CommandRequest& Request() const { return request_; }

  /// Carries out a request other than Window without a window (RunCommand, on workers of the
  /// process's own) and returns End's answer for its exit code.
  int RunSavingCommand();

  /// The exit code for the entry point to return when no worker still runs. Otherwise the
  /// process ends here, at once, with `exitCode`: the workers' stuck calls are cancelled, the
  /// process marks itself as no running copy, and `beforeEnd` runs.
  template <class BeforeEnd>
  int End(int exitCode, BeforeEnd beforeEnd) {
    if (BackgroundWorkRunning()) {
      LetWorkersGo();
      beforeEnd();
      ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(exitCode));
    }
    return exitCode;
  }
  int End(int exitCode) {
    return End(exitCode, [] {});
  }

  // The adapters, which make no call when they are made.
  WinCommandApi command;
  WinProcessApi process;
  WinDriveApi drive;
  WinVersionApi version;
  WinRegistryApi registry;
  WinWmiApi wmi;
  WinDiskApi disk;
  WinMachineApi machine;
  WinVolumeApi volume;

 private:
  /// Cancels the workers' stuck calls and marks the process as no running copy.
  void LetWorkersGo();

  WinTraceApi traceApi_;
  CommandRequest request_;  ///< read through `command`, declared before it
  std::optional<StartTrace> trace_;
  std::optional<ComApartment> com_;
  ThreadWorkers workers_;
};

}  // namespace tarnvik::win
