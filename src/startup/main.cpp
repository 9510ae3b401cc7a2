// The start-up sequence: name the application, learn where it runs, stamp the registry, refuse
// a second copy, open the windows and build the first report. Every refusal is silent.
#include "startup/main.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "base/start_trace.h"
#include "base/text.h"
#include "startup/begin_run.h"
#include "startup/environment.h"
#include "startup/process_scan.h"
#include "startup/program.h"
#include "ui/main_window/report_view.h"
#include "ui/main_window/report_window.h"
#include "ui/menu_form/command_menu.h"

namespace tarnvik {

namespace {

// A saving run is in the process list from its creation, but marks itself only once its entry
// point runs: copies this young are looked at once more before they count.
constexpr uint32_t kJustStartedMs = 2000;
constexpr uint32_t kSecondLookDelayMs = 250;

// True when the fixed name or the program's own executable name runs more than once; `copies`
// then holds the processes of each name that runs more than once, this one aside.
bool CopyListed(Program& program, std::vector<uint32_t>& copies) {
  std::vector<uint32_t> ids;
  const std::string scanned = ScanProcesses(program.env, program.os.process, &ids);
  if (scanned.empty()) return false;  // nothing listed: nothing to count

  // A carriage return before the first name makes every entry one to count.
  const std::string list = '\r' + scanned;
  // The list went through the same UpperCase, so names outside ASCII agree too.
  const std::string ownName = UpperCase(Trim(program.tk.ExeName()));
  std::vector<std::string> copyNames;
  for (std::string name : {std::string(kFixedProcessName), ownName.empty() ? ownName : ownName + ".EXE"}) {
    if (!name.empty() && CountNameMatches(list, name) > 1) copyNames.push_back(std::move(name));
  }
  copies.clear();
  const uint32_t ownId = program.os.process.GetCurrentProcessId();
  std::size_t entryStart = 1;
  for (const uint32_t id : ids) {
    const std::size_t entryEnd = list.find('\r', entryStart);
    if (entryEnd == std::string::npos) break;
    const std::string_view entry = std::string_view(list).substr(entryStart, entryEnd - entryStart);
    if (id != ownId && std::find(copyNames.begin(), copyNames.end(), entry) != copyNames.end()) copies.push_back(id);
    entryStart = entryEnd + 1;
  }
  return !copyNames.empty();
}

// True when another copy runs; one that may be a saving run not yet marked gets a second look.
bool AnotherCopyRuns(Program& program) {
  std::vector<uint32_t> copies;
  if (!CopyListed(program, copies)) return false;
  if (!AllStartedJustNow(program.os.process, copies, kJustStartedMs)) return true;
  program.os.process.Sleep(kSecondLookDelayMs);
  return CopyListed(program, copies);
}

}  // namespace

void Main(Program& program) {
  program.tk.SetTitle(kAppTitle);
  const bool supported = BeginRun(program.tk.Path(), program.os.version, program.os.registry, program.env);
  program.forms.appFolder = program.env.appFolder;
  program.forms.withPartitionStyles = program.env.PartitionStylesShown();
  if (!supported) return;
  // A second instance still stamps the registry before it gives up.
  if (program.tk.PrevInstance()) return;
  if (AnotherCopyRuns(program)) return;
  TraceStart("process scan");

  Forms& forms = program.forms;
  forms.Menu().Form().Hide();
  TraceStart("menu form loaded");
  // Past every check: the drives are asked while the main window is made and shown.
  StartDriveQueries(forms);
  TraceStart("queries started");
  toolkit::MainWindow& window = forms.Window().Form();
  TraceStart("main window loaded");
  // The timer runs before the window shows and before the first report is built.
  window.WindowTimer().SetInterval(kTimerInterval);
  window.WindowTimer().SetEnabled(true);
  window.Show();
  TraceStart("main window shown");
  RefreshDriveReport(forms);
}

}  // namespace tarnvik
