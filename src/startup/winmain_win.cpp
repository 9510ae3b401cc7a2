// The window program's entry point: what every run sets up (RunSetup); then, without a switch,
// the toolkit and the program, the message loop until no form remains, and an exit that never
// waits for a worker.
#include "base/win32_win.h"

#include "base/start_trace.h"
#include "startup/main.h"
#include "startup/program.h"
#include "startup/run_setup_win.h"
#include "ui/main_window/cursor_api_win.h"
#include "ui/toolkit/toolkit_win.h"

namespace {

int RunProgram() {
  tarnvik::win::RunSetup run;
  if (run.Request().action != tarnvik::CommandAction::Window) return run.RunSavingCommand();

  tarnvik::win::WinCursorApi cursor;
  tarnvik::win::Win32Toolkit toolkit;
  tarnvik::TraceStart("toolkit");
  // Declared after the toolkit: the window goes before the toolkit that made it.
  tarnvik::Program program(toolkit, tarnvik::OsApis{run.drive, run.version, run.registry, run.process, run.wmi, cursor,
                                                    run.disk, run.machine});
  int exitCode = 1;
  // An exception that gets this far ends the program by the same rule as a normal end, while
  // every adapter a worker may still use is alive.
  try {
    tarnvik::Main(program);
    exitCode = toolkit.Run();
  } catch (...) {
    exitCode = 1;
  }
  // The instance mutex goes with a process that cannot end at once, so that a new start is not
  // refused meanwhile.
  return run.End(exitCode, [&toolkit] { toolkit.ReleaseInstance(); });
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Nothing may unwind out of the entry point into the runtime.
  try {
    return RunProgram();
  } catch (...) {
    return 1;
  }
}
