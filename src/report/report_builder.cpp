// The drive report. Text1 holds the report and grows drive by drive. The drives' questions are
// asked on workers (report_queries.h); this thread only turns their answers into text, in
// alphabetical order, and waits for them with its messages flowing, so no drive can freeze
// the window.
#include "report/report_builder.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/text.h"
#include "report/report_queries.h"
#include "report/report_text.h"
#include "startup/program.h"
#include "ui/main_window/fdfsg.h"
#include "ui/menu_form/fdfsf.h"

namespace tarnvik {
namespace {

/// Writes into Text1 while both forms are still there. A close from outside can arrive inside
/// a yield or a wait, where messages are handled; the unload then drops the form references,
/// and using an empty reference would load a fresh window. So every write looks first, and
/// once the forms are gone the writer refuses for good.
///
/// Lines are gathered and reach the box in one write at each Flush, which the build makes
/// before every yield or wait and at its end. The box therefore shows every finished block
/// whenever the window can paint or be read, but the blocks that are ready together cost one
/// write: every write lays the box out again and redraws both of its scroll bars, some twenty
/// milliseconds under Wine, more than a drive's own queries.
class ReportWriter {
 public:
  explicit ReportWriter(Program& program) : program_(program) {}

  bool FormsGone() {
    if (gone_) return true;
    gone_ = program_.FDFSM.UnloadRequested || !program_.FdfsgLoaded() || !program_.FDFSG().Window().Loaded() ||
            !program_.FdfsfLoaded() || !program_.FDFSF().Window().Loaded();
    return gone_;
  }

  /// The whole text becomes `text` at the next Flush.
  bool Replace(std::string_view text) {
    if (FormsGone()) return false;
    pending_.assign(text);
    replacing_ = true;
    return true;
  }

  /// `text` is added at the end of the box at the next Flush.
  bool Append(std::string_view text) {
    if (FormsGone()) return false;
    pending_ += text;
    return true;
  }

  /// Writes what was gathered since the last Flush. False (and the gathered text dropped) when
  /// the forms are gone.
  bool Flush() {
    const bool nothingToWrite = !replacing_ && pending_.empty();
    if (FormsGone() || nothingToWrite) {
      pending_.clear();
      replacing_ = false;
      return !gone_;
    }
    toolkit::TextBox& box = program_.FDFSG().Window().Text1();
    if (replacing_) {
      box.SetText(pending_);
    } else {
      box.AppendText(pending_);
    }
    pending_.clear();
    replacing_ = false;
    return true;
  }

 private:
  Program& program_;
  bool gone_ = false;
  std::string pending_;     // text gathered since the last Flush
  bool replacing_ = false;  // pending_ replaces the box rather than extending it
};

/// Yields to the event loop; false when the build must end: a quit was asked for, or the
/// windows are being or have been unloaded.
bool YieldAndGoOn(Program& program, ReportWriter& writer) {
  if (!writer.Flush()) return false;
  program.tk.DoEvents();
  return !program.FDFSM.Quitting && !writer.FormsGone();
}

/// Sleeps with the messages flowing until a worker has news or the user acts; false when the
/// build must end, as for a yield.
bool WaitAndGoOn(Program& program, ReportWriter& writer) {
  if (!writer.Flush()) return false;
  program.tk.WaitEvents();
  return !program.FDFSM.Quitting && !writer.FormsGone();
}

/// Marks in DriveListed every letter that begins an entry of Drive1.
void CollectLetters(Program& program) {
  Fdfsm& m = program.FDFSM;
  toolkit::DriveList& list = program.FDFSF().Drive1();
  const int count = list.ListCount();
  m.ScanIndex = count;
  for (int entry = 0; entry < count; ++entry) {
    m.ScanStart = entry;
    const std::string padded = Trim(list.List(entry)) + " ";
    m.ListedLetter = LowerAscii(Trim(padded.substr(0, 1)));
    if (m.ListedLetter.empty()) continue;
    const int index = static_cast<unsigned char>(m.ListedLetter[0]) - 'a';
    if (index >= 0 && index < 26) m.DriveListed[static_cast<std::size_t>(index)] = true;
  }
}

/// The queries of this report: those start-up began, when they are for the same letters, or
/// new ones.
std::shared_ptr<ReportQueries> QueriesFor(Program& program) {
  const Fdfsm& m = program.FDFSM;
  std::shared_ptr<ReportQueries> queries = std::exchange(program.startedQueries, nullptr);
  if (queries && queries->Letters() == m.DriveListed && queries->WantsPartitionStyles() == WantsPartitionStyles(m)) {
    return queries;
  }
  return ReportQueries::Start(program.tk, program.os.drive, program.os.wmi, m.DriveListed, WantsPartitionStyles(m));
}

void BuildReport(Program& program) {
  Fdfsm& m = program.FDFSM;
  ReportWriter writer(program);
  if (!writer.Replace(" Please wait...")) return;
  // Read before the list: a letter that changes between the two reads then gives the window
  // timer one rebuild more, never one less.
  m.ReportLetterMask = program.os.drive.GetLogicalDrives();
  program.FDFSF().Drive1().Refresh();
  m.SizedDriveCount = 0;
  bool headerWritten = false;
  for (m.ScanIndex = 0; m.ScanIndex < 26; ++m.ScanIndex) m.DriveListed[static_cast<std::size_t>(m.ScanIndex)] = false;
  // The letters are known at once, so the workers ask while the waiting text paints.
  CollectLetters(program);
  const std::shared_ptr<ReportQueries> queries = QueriesFor(program);

  if (!YieldAndGoOn(program, writer)) return;
  m.DriveCount = 0;

  for (int index = 0; index < 26; ++index) {
    m.ScanIndex = index;
    if (!m.DriveListed[static_cast<std::size_t>(index)]) continue;
    // Blocks that are ready one after another go to the box together, at the next wait.
    std::optional<DriveReportFacts> facts;
    while (!(facts = queries->Take(index))) {
      if (!WaitAndGoOn(program, writer)) return;
    }
    if (!headerWritten) {
      if (!writer.Replace(ReportHeaderText())) return;
      headerWritten = true;
    }
    if (!writer.Append(DriveBlockText(m, index, *facts))) return;
  }

  // With no letter at all, an honest empty report replaces the waiting text.
  if (!headerWritten && !writer.Replace(ReportHeaderText())) return;
  if (writer.Append(ReportSummaryText(m))) writer.Flush();
}

}  // namespace

void StartDriveQueries(Program& program) {
  // The same collection the report makes; the report resets and makes it again.
  Fdfsm& m = program.FDFSM;
  program.FDFSF().Drive1().Refresh();
  m.DriveListed.fill(false);
  CollectLetters(program);
  program.startedQueries =
      ReportQueries::Start(program.tk, program.os.drive, program.os.wmi, m.DriveListed, WantsPartitionStyles(m));
}

void RefreshDriveReport(Program& program) {
  // Idle again however the build ends, even by an exception, or F5 would stay dead.
  struct IdleAgain {
    Fdfsm& m;
    ~IdleAgain() { m.ReportIdle = true; }
  } idleAgain{program.FDFSM};
  program.FDFSM.ReportIdle = false;
  BuildReport(program);
  program.FDFSM.ReportIdle = true;
  // A drive that came or went while the report was built asks for one more.
  if (program.FdfsgLoaded()) program.FDFSG().DriveReportFinished();
}

}  // namespace tarnvik
