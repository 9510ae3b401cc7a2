// The console twin's entry point (tarnvik.com): the window program's saving runs for shells and
// scripts, which wait for a console program and read its exit code. It shares RunSetup with the
// window program and links no window toolkit. Without a switch it starts the window program.
#include "base/win32_win.h"

#include <string>

#include "base/module_path_win.h"
#include "base/scoped_win.h"
#include "base/utf_win.h"
#include "startup/run_setup_win.h"

namespace {

// tarnvik.exe from the twin's own folder, not waited for: 0. When it cannot be started, 1, and
// the reason on the standard error.
int StartWindowProgram(tarnvik::win::RunSetup& run) {
  std::wstring path = tarnvik::win::FolderOfModulePath(tarnvik::win::ModulePath());
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  path += L"tarnvik.exe";
  std::wstring commandLine = L"\"" + path + L"\"";  // CreateProcessW may write into it
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
    const DWORD error = ::GetLastError();
    const std::string reason = run.command.ErrorText(error);
    run.command.WriteStdHandle(tarnvik::StdStream::Error, "tarnvik: \"" + tarnvik::win::WideToUtf8(path) +
                                                              "\" could not be started: " + reason + " (" +
                                                              std::to_string(error) + ")\r\n");
    return 1;
  }
  const tarnvik::win::ScopedKernelHandle process(started.hProcess);
  const tarnvik::win::ScopedKernelHandle thread(started.hThread);
  return 0;
}

int RunTwin() {
  tarnvik::win::RunSetup run;
  if (run.Request().action != tarnvik::CommandAction::Window) return run.RunSavingCommand();
  return run.End(StartWindowProgram(run));
}

}  // namespace

int wmain() {
  // Nothing may unwind out of the entry point into the runtime.
  try {
    return RunTwin();
  } catch (...) {
    return 1;
  }
}
