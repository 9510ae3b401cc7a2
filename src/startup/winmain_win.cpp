// The process entry point: process-wide settings, COM for the user-interface thread, the
// operating-system adapters, the toolkit and the program; then the message loop until no
// form remains, and an exit that never waits for a worker.
#include "base/win32_win.h"

#include <cstdlib>

#include "base/start_trace_win.h"
#include "report/disk_api_win.h"
#include "report/drive_api_win.h"
#include "report/machine_api_win.h"
#include "report/wmi_api_win.h"
#include "startup/command_api_win.h"
#include "startup/command_line.h"
#include "startup/main.h"
#include "startup/process_api_win.h"
#include "startup/process_scan.h"
#include "startup/program.h"
#include "startup/registry_api_win.h"
#include "startup/version_api_win.h"
#include "ui/main_window/cursor_api_win.h"
#include "ui/toolkit/toolkit_win.h"

namespace {

int RunProgram() {
  // The switch is read once: off, every phase costs the test of one pointer.
  tarnvik::win::WinTraceApi traceApi;
  tarnvik::StartTrace trace(traceApi);
  if (trace.On()) tarnvik::SetStartTrace(&trace);
  tarnvik::TraceStart("entry point");
  // Probing an empty card reader or floppy drive must not stop the report with a
  // "no disk" box: failed probes are answered as errors instead.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

  // With /save, /json or /csv the run writes its report and ends: no window, no instance check.
  tarnvik::win::WinCommandApi command;
  const tarnvik::CommandRequest request = tarnvik::ParseCommandLine(command.Arguments());
  const bool windowed = request.action == tarnvik::CommandAction::Window;
  // A window started while this run sets up COM and the toolkit must already see the mark.
  tarnvik::win::WinProcessApi process;
  tarnvik::MarkIfSaving(process, request);

  const tarnvik::win::ComApartment com;

  tarnvik::win::WinDriveApi drive;
  tarnvik::win::WinVersionApi version;
  tarnvik::win::WinRegistryApi registry;
  tarnvik::win::WinWmiApi wmi;
  tarnvik::win::WinCursorApi cursor;
  tarnvik::win::WinDiskApi disk;
  tarnvik::win::WinMachineApi machine;
  tarnvik::win::Win32Toolkit toolkit(windowed ? tarnvik::win::InstanceCheck::Take
                                              : tarnvik::win::InstanceCheck::Skip);
  tarnvik::TraceStart("COM, adapters and toolkit");
  // Declared after the toolkit: the window goes before the toolkit that made it.
  tarnvik::Program program(toolkit, tarnvik::OsApis{drive, version, registry, process, wmi, cursor, disk, machine});

  int exitCode = 1;
  // An exception that gets this far ends the program by the same rule as a normal end, while
  // every adapter a worker may still use is alive.
  try {
    if (windowed) {
      tarnvik::Main(program);
      exitCode = toolkit.Run();
    } else {
      exitCode = tarnvik::RunCommand(program, command, request);
    }
  } catch (...) {
    exitCode = 1;
  }
  // A drive call can stay stuck in the system long after the user quit (a share whose server
  // is gone), or after a saving run wrote its file. Nothing waits for it, and nothing it still
  // uses is torn down under it: the process ends here, at once. A call stuck in the redirector
  // would hold the dying process until it returns, so it is cancelled first; where it cannot
  // be, the instance mutex at least goes now, so that a new start is not refused meanwhile; and
  // since the ended process stays in the process list until the drivers are done with it, it
  // marks itself first as no running copy, a mark that lasts exactly as long as it does.
  if (tarnvik::win::Win32Toolkit::BackgroundWorkRunning()) {
    tarnvik::win::CancelBackgroundCalls();
    tarnvik::MarkNotACopy(process);
    toolkit.ReleaseInstance();
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(exitCode));
  }
  return exitCode;
}

}  // namespace

// The runtime's default terminate handler prints the demangled name of the exception's type,
// which drags the whole C++ demangler into the program; a windowed program has nowhere to
// print it, so it ends at once instead.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Nothing may unwind out of the entry point into the runtime.
  try {
    return RunProgram();
  } catch (...) {
    return 1;
  }
}
