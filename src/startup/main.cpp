// The start-up sequence: name the application, learn where it runs, stamp the registry, refuse
// a second copy while the window is made, and show the window with the first report. Every
// refusal is silent.
#include "startup/main.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/lock.h"
#include "base/start_trace.h"
#include "base/text.h"
#include "report/report_queries.h"
#include "startup/begin_run.h"
#include "startup/environment.h"
#include "startup/process_scan.h"
#include "startup/program.h"
#include "ui/main_window/report_view.h"
#include "ui/main_window/report_window.h"

namespace tarnvik {

namespace {

// A saving run is in the process list from its creation, but marks itself only once its entry
// point runs: unmarked copies this young are looked at again, every 250 ms, until each is
// marked, gone or older. The looks end after 2 s in any case: a copy started no later than
// this one is then older, and a clock that stands still cannot hold the start.
constexpr uint32_t kJustStartedMs = 2000;
constexpr uint32_t kLookAgainMs = 250;

// True when the fixed name or the program's own executable name runs more than once; `copies`
// then holds the processes of each name that runs more than once, this one aside.
bool CopyListed(const Environment& env, ProcessApi& process, const std::string& ownName,
                std::vector<uint32_t>& copies) {
  std::vector<uint32_t> ids;
  const std::string scanned = ScanProcesses(env, process, &ids);
  if (scanned.empty()) return false;  // nothing listed: nothing to count

  // The entries of either name that count, each after a carriage return, as the list has them;
  // the names compared went through the same UpperCase, so names outside ASCII agree too.
  const std::string names[] = {std::string(kFixedProcessName), ownName.empty() ? ownName : ownName + ".EXE"};
  const CopyFilter filter(process);
  std::string counted = "\r";
  std::vector<uint32_t> countedIds;
  std::size_t entryStart = 0;
  for (const uint32_t id : ids) {
    const std::size_t entryEnd = scanned.find('\r', entryStart);
    if (entryEnd == std::string::npos) break;
    const std::string_view entry = std::string_view(scanned).substr(entryStart, entryEnd - entryStart);
    entryStart = entryEnd + 1;
    if (std::find(std::begin(names), std::end(names), entry) == std::end(names) || !filter.Counts(id)) continue;
    counted.append(entry).push_back('\r');
    countedIds.push_back(id);
  }

  std::vector<std::string> copyNames;
  for (const std::string& name : names) {
    if (!name.empty() && CountNameMatches(counted, name) > 1) copyNames.push_back(name);
  }
  copies.clear();
  const uint32_t ownId = process.GetCurrentProcessId();
  entryStart = 1;
  for (const uint32_t id : countedIds) {
    const std::size_t entryEnd = counted.find('\r', entryStart);
    const std::string_view entry = std::string_view(counted).substr(entryStart, entryEnd - entryStart);
    entryStart = entryEnd + 1;
    if (id != ownId && std::find(copyNames.begin(), copyNames.end(), entry) != copyNames.end()) copies.push_back(id);
  }
  return !copyNames.empty();
}

// True when another copy runs; copies that may be saving runs not yet marked are looked at again.
bool AnotherCopyRuns(const Environment& env, ProcessApi& process, const std::string& ownName) {
  std::vector<uint32_t> copies;
  for (uint32_t waited = 0;; waited += kLookAgainMs) {
    if (!CopyListed(env, process, ownName, copies)) return false;
    if (waited >= kJustStartedMs || !AllStartedJustNow(process, copies, kJustStartedMs, waited)) return true;
    process.Sleep(kLookAgainMs);
  }
}

// The copy count runs on a worker while the window is made. When no copy runs, the same worker
// starts the first report's queries at once, so the drives are asked while the window is still
// being made; the window's thread takes the verdict and the queries when the window is ready.
class CopyCount {
 public:
  static std::shared_ptr<CopyCount> Start(Program& program) {
    auto count = std::make_shared<CopyCount>();
    // Everything the worker reads is its own copy or an interface that outlives it.
    const auto run = [count, env = program.env, ownName = UpperCase(Trim(program.tk.ExeName())),
                      &process = program.os.process, &workers = program.tk, &drive = program.os.drive,
                      &wmi = program.os.wmi, styles = program.ui.withPartitionStyles] {
      const bool copyRuns = AnotherCopyRuns(env, process, ownName);
      std::shared_ptr<ReportQueries> queries = copyRuns ? nullptr : StartDriveQueries(workers, drive, wmi, styles);
      {
        const std::lock_guard lock(count->lock_);
        count->done_ = true;
        count->copyRuns_ = copyRuns;
        count->queries_ = std::move(queries);
      }
      workers.Wake();
    };
    // No thread to be had: the count runs here, before the window is made.
    if (!program.tk.RunInBackground(run)) run();
    return count;
  }

  /// Waits with the messages flowing for the verdict: true when no other copy runs. False too
  /// when the window went meanwhile (a close from outside).
  bool NoCopyRuns(Controller& ui) {
    for (;;) {
      {
        const std::lock_guard lock(lock_);
        if (done_) {
          ui.SetStartedQueries(std::move(queries_));
          return !copyRuns_ && ui.Open();
        }
      }
      if (!ui.Open()) return false;
      ui.tk.WaitEvents();
    }
  }

 private:
  Lock lock_;  // guards everything below
  bool done_ = false;
  bool copyRuns_ = false;
  std::shared_ptr<ReportQueries> queries_;
};

}  // namespace

void Main(Program& program) {
  program.tk.SetTitle(kAppTitle);
  const bool supported = BeginRun(program.tk.Path(), program.os.version, program.os.registry, program.env);
  program.ui.appFolder = program.env.appFolder;
  program.ui.withPartitionStyles = program.env.PartitionStylesShown();
  if (!supported) return;
  // A second instance still stamps the registry before it gives up.
  if (program.tk.PrevInstance()) return;

  Controller& ui = program.ui;
  const std::shared_ptr<CopyCount> count = CopyCount::Start(program);
  ReportWindow& window = ui.OpenWindow();
  TraceStart("main window loaded");
  if (!count->NoCopyRuns(ui)) {
    // Made, never shown: the window goes as silently as a refused start that made none.
    window.Form().Unload();
    return;
  }
  TraceStart("copy count");
  // The timer runs before the window shows and before the first report is built.
  window.Form().WindowTimer().SetInterval(kTimerInterval);
  window.Form().WindowTimer().SetEnabled(true);
  ShowWindowWithFirstReport(ui);
}

}  // namespace tarnvik
