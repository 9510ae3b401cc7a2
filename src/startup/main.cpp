// The start-up sequence: name the application, learn where it runs, stamp the registry, refuse
// a second copy, open the windows and build the first report. Every refusal is silent.
#include "startup/main.h"

#include <array>
#include <string>

#include "base/text.h"
#include "report/report_builder.h"
#include "startup/environment.h"
#include "startup/process_scan.h"
#include "startup/program.h"
#include "startup/registry_store.h"
#include "ui/main_window/report_window.h"
#include "ui/menu_form/command_menu.h"

namespace tarnvik {

namespace {

struct StampedValue {
  std::string_view name;
  std::string_view expected;
};

constexpr std::array<StampedValue, 3> kStampedValues{{
    {"Version", kAppVersion},
    {"Author", kAppAuthor},
    {"HomePage", kAppHomePage},
}};

void ResetProgramState(ProgramState& state) {
  state.ScreenDpi = 0;
  state.UnloadRequested = false;
  state.Quitting = false;
  state.ReportIdle = false;
  state.SizedDriveCount = 0;
  state.ProcessList.clear();
  state.ProcessName.clear();
  state.MatchCount = 0;
  state.ScanIndex = 0;
  state.ScanStart = 0;
  state.DriveCount = 0;
}

bool SupportedWindows(const ProgramState& state) {
  return VersionNumber(state.OsVersion) >= kLowestWindowsVersion && state.OsFamily != kRefusedWindowsFamily;
}

// Rewrites only the values that differ, so a stamped machine sees no write at all.
void StampRegistry(Program& program) {
  ProgramState& state = program.state;
  RegistryApi& registry = program.os.registry;
  const std::string key(kRegistryKey);
  for (const StampedValue& value : kStampedValues) {
    const std::string name(value.name);
    if (RegGetString(registry, kHkeyLocalMachine, key, name) != value.expected) {
      RegEnsureKey(registry, kHkeyLocalMachine, key);
      RegSetString(registry, kHkeyLocalMachine, key, name, std::string(value.expected));
    }
  }
}

// True when the fixed name or the program's own executable name runs more than once.
bool AnotherCopyRuns(Program& program) {
  ProgramState& state = program.state;
  ScanProcesses(state, program.os.process);
  if (state.ProcessList.empty()) return false;  // nothing listed: nothing to count

  state.ProcessList.insert(state.ProcessList.begin(), '\r');
  if (CountNameMatches(state, std::string(kFixedProcessName)) > 1) return true;

  // The list went through the same UpperCase, so names outside ASCII agree too.
  const std::string ownName = UpperCase(Trim(program.tk.ExeName()));
  if (ownName.empty()) return false;
  return CountNameMatches(state, ownName + ".EXE") > 1;
}

void ResetWindowState(ProgramState& state) {
  state.DriveListed.fill(false);
  state.DragStartX = 0;
  state.DragStartY = 0;
  state.DragActive = false;
  state.DragLeft = 0;
  state.DragTop = 0;
}

}  // namespace

bool BeginRun(Program& program) {
  program.tk.SetTitle(kAppTitle);
  ResetProgramState(program.state);
  InitEnvironment(program);
  if (!SupportedWindows(program.state)) return false;
  StampRegistry(program);
  return true;
}

void Main(Program& program) {
  ProgramState& state = program.state;
  if (!BeginRun(program)) return;
  // A second instance still stamps the registry before it gives up.
  if (program.tk.PrevInstance()) return;
  if (AnotherCopyRuns(program)) return;
  ResetWindowState(state);

  program.Menu().Form().Hide();
  // Past every check: the drives are asked while the main window is made and shown.
  StartDriveQueries(program);
  toolkit::MainWindow& window = program.Window().Form();
  // The timer runs before the window shows and before the first report is built.
  window.WindowTimer().SetInterval(kTimerInterval);
  window.WindowTimer().SetEnabled(true);
  window.Show();
  RefreshDriveReport(program);
}

}  // namespace tarnvik
