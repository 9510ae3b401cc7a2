#include "startup/run_setup_win.h"

#include <cstdlib>

#include "base/module_path_win.h"
#include "startup/process_scan.h"

namespace tarnvik::win {

// The command line is read first of all; the trace's first phase is still the start of the
// process to here, which that costs nothing measurable of.
RunSetup::RunSetup() : request_(ParseCommandLine(command.Arguments())) {
  // The trace times the window's start: a saving run neither reads its switch nor takes its
  // file from the window it may run beside. The switch is read once: off, every phase costs
  // the test of one pointer.
  if (request_.action == CommandAction::Window) trace_.emplace(traceApi_);
  if (trace_ && trace_->On()) SetStartTrace(&*trace_);
  TraceStart("entry point");
  // Probing an empty card reader or floppy drive must not stop the report with a
  // "no disk" box: failed probes are answered as errors instead.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // With /save, /json or /csv the run writes its report and ends: no window, no instance check.
  MarkIfSaving(process, request_);
  com_.emplace();
  TraceStart("COM and adapters");
}

int RunSetup::RunSavingCommand() {
  int exitCode = 1;
  // An exception that gets this far ends the run by End's rule, while every adapter a worker may
  // still use is alive.
  try {
    const SavingRun run{workers_, [](Workers& workers) { static_cast<ThreadWorkers&>(workers).WaitForWake(); },
                        SavingApis{drive, version, registry, process, wmi, disk, machine, volume}, ProgramFolder()};
    exitCode = RunCommand(run, command, request_);
  } catch (...) {
    exitCode = 1;
  }
  return End(exitCode);
}

// A drive call can stay stuck in the system long after the user quit (a share whose server is
// gone), or after a saving run wrote its file. Nothing waits for it, and nothing it still uses
// is torn down under it: the process ends at once. A call stuck in the redirector would hold the
// dying process until it returns, so it is cancelled first; where it cannot be, the window's
// instance mutex at least goes before the end, so that a new start is not refused meanwhile; and
// since the ended process stays in the process list until the drivers are done with it, it
// marks itself first as no running copy, a mark that lasts exactly as long as it does.
void RunSetup::LetWorkersGo() {
  CancelBackgroundCalls();
  MarkNotACopy(process);
}

}  // namespace tarnvik::win

// The runtime's default terminate handler prints the demangled name of the exception's type,
// which drags the whole C++ demangler into the program; neither entry has a place to show it,
// so the process ends at once instead.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
