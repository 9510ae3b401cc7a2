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
#include "ui/main_window/fdfsg.h"
#include "ui/menu_form/fdfsf.h"

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

void ResetModuleState(Fdfsm& m) {
  m.ScreenDpi = 0;
  m.UnloadRequested = false;
  m.Quitting = false;
  m.ReportIdle = false;
  m.SizedDriveCount = 0;
  m.FreeSizeText.clear();
  m.UsedSizeText.clear();
  m.TotalBytesText.clear();
  m.FreeBytesText.clear();
  m.UsedBytesText.clear();
  m.ProcessList.clear();
  m.ProcessName.clear();
  m.PartitionStyle.clear();
  m.DiskDeviceId.clear();
  m.ListedLetter.clear();
  m.WorkText.clear();
  m.MatchCount = 0;
  m.ScanIndex = 0;
  m.ScanStart = 0;
  m.DriveCount = 0;
}

bool SupportedWindows(const Fdfsm& m) {
  return VersionNumber(m.OsVersion) >= kLowestWindowsVersion && m.OsFamily != kRefusedWindowsFamily;
}

// Rewrites only the values that differ, so a stamped machine sees no write at all.
void StampRegistry(Program& program) {
  Fdfsm& m = program.FDFSM;
  RegistryApi& registry = program.os.registry;
  const std::string key(kRegistryKey);
  for (const StampedValue& value : kStampedValues) {
    const std::string name(value.name);
    m.WorkText.clear();
    m.WorkText = RegGetString(registry, kHkeyLocalMachine, key, name);
    if (m.WorkText != value.expected) {
      RegEnsureKey(registry, kHkeyLocalMachine, key);
      RegSetString(registry, kHkeyLocalMachine, key, name, std::string(value.expected));
    }
  }
}

// True when the fixed name or the program's own executable name runs more than once.
bool AnotherCopyRuns(Program& program) {
  Fdfsm& m = program.FDFSM;
  ScanProcesses(m, program.os.process);
  if (m.ProcessList.empty()) return false;  // nothing listed: nothing to count

  m.ProcessList.insert(m.ProcessList.begin(), '\r');
  if (CountNameMatches(m, std::string(kFixedProcessName)) > 1) return true;

  // The list went through the same UpperCase, so names outside ASCII agree too.
  m.WorkText = UpperCase(Trim(program.tk.ExeName()));
  if (m.WorkText.empty()) return false;
  m.WorkText += ".EXE";
  return CountNameMatches(m, m.WorkText) > 1;
}

void ResetWindowState(Fdfsm& m) {
  for (m.ScanIndex = 0; m.ScanIndex <= 25; ++m.ScanIndex) m.DriveListed[static_cast<std::size_t>(m.ScanIndex)] = false;
  m.DragStartX = 0;
  m.DragStartY = 0;
  m.DragActive = false;
  m.DragLeft = 0;
  m.DragTop = 0;
}

}  // namespace

bool BeginRun(Program& program) {
  program.tk.SetTitle(kAppTitle);
  ResetModuleState(program.FDFSM);
  InitEnvironment(program);
  if (!SupportedWindows(program.FDFSM)) return false;
  StampRegistry(program);
  return true;
}

void Main(Program& program) {
  Fdfsm& m = program.FDFSM;
  if (!BeginRun(program)) return;
  // A second instance still stamps the registry before it gives up.
  if (program.tk.PrevInstance()) return;
  if (AnotherCopyRuns(program)) return;
  ResetWindowState(m);

  program.FDFSF().Window().Hide();
  // Past every check: the drives are asked while the main window is made and shown.
  StartDriveQueries(program);
  toolkit::MainWindow& window = program.FDFSG().Window();
  // The timer runs before the window shows and before the first report is built.
  window.Timer1().SetInterval(kTimerInterval);
  window.Timer1().SetEnabled(true);
  window.Show();
  RefreshDriveReport(program);
}

}  // namespace tarnvik
