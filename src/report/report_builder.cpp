// The drive report. The report box holds the report and grows drive by drive. The drives' questions are
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
#include "ui/main_window/report_window.h"
#include "ui/menu_form/command_menu.h"

namespace tarnvik {
namespace {

/// Writes into the report box while both forms are still there. A close from outside can arrive inside
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
    gone_ = program_.state.UnloadRequested || !program_.WindowLoaded() || !program_.Window().Form().Loaded() ||
            !program_.MenuLoaded() || !program_.Menu().Form().Loaded();
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
    toolkit::TextBox& box = program_.Window().Form().ReportBox();
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
  return !program.state.Quitting && !writer.FormsGone();
}

/// Sleeps with the messages flowing until a worker has news or the user acts; false when the
/// build must end, as for a yield.
bool WaitAndGoOn(Program& program, ReportWriter& writer) {
  if (!writer.Flush()) return false;
  program.tk.WaitEvents();
  return !program.state.Quitting && !writer.FormsGone();
}

/// Marks in DriveListed every letter that begins an entry of the drive list.
void CollectLetters(Program& program) {
  ProgramState& state = program.state;
  toolkit::DriveList& list = program.Menu().Drives();
  const int count = list.ListCount();
  for (int entry = 0; entry < count; ++entry) {
    const std::string padded = Trim(list.List(entry)) + " ";
    const std::string letter = LowerAscii(Trim(padded.substr(0, 1)));
    if (letter.empty()) continue;
    const int index = static_cast<unsigned char>(letter[0]) - 'a';
    if (index >= 0 && index < 26) state.DriveListed[static_cast<std::size_t>(index)] = true;
  }
}

/// The queries of this report: those start-up began, when they are for the same letters, or
/// new ones.
std::shared_ptr<ReportQueries> QueriesFor(Program& program) {
  const ProgramState& state = program.state;
  std::shared_ptr<ReportQueries> queries = std::exchange(program.startedQueries, nullptr);
  if (queries && queries->Letters() == state.DriveListed &&
      queries->WantsPartitionStyles() == WantsPartitionStyles(state)) {
    return queries;
  }
  return ReportQueries::Start(program.tk, program.os.drive, program.os.wmi, state.DriveListed,
                              WantsPartitionStyles(state));
}

void BuildReport(Program& program) {
  ProgramState& state = program.state;
  ReportWriter writer(program);
  if (!writer.Replace(" Please wait...")) return;
  // Read before the list: a letter that changes between the two reads then gives the window
  // timer one rebuild more, never one less.
  state.ReportLetterMask = program.os.drive.GetLogicalDrives();
  program.Menu().Drives().Refresh();
  state.SizedDriveCount = 0;
  bool headerWritten = false;
  state.DriveListed.fill(false);
  // The letters are known at once, so the workers ask while the waiting text paints.
  CollectLetters(program);
  const std::shared_ptr<ReportQueries> queries = QueriesFor(program);

  if (!YieldAndGoOn(program, writer)) return;
  state.DriveCount = 0;

  for (int index = 0; index < 26; ++index) {
    if (!state.DriveListed[static_cast<std::size_t>(index)]) continue;
    // Blocks that are ready one after another go to the box together, at the next wait.
    std::optional<DriveReportFacts> facts;
    while (!(facts = queries->Take(index))) {
      if (!WaitAndGoOn(program, writer)) return;
    }
    if (!headerWritten) {
      if (!writer.Replace(ReportHeaderText())) return;
      headerWritten = true;
    }
    if (!writer.Append(DriveBlockText(state, index, *facts))) return;
  }

  // With no letter at all, an honest empty report replaces the waiting text.
  if (!headerWritten && !writer.Replace(ReportHeaderText())) return;
  if (writer.Append(ReportSummaryText(state))) writer.Flush();
}

}  // namespace

void StartDriveQueries(Program& program) {
  // The same collection the report makes; the report resets and makes it again.
  ProgramState& state = program.state;
  program.Menu().Drives().Refresh();
  state.DriveListed.fill(false);
  CollectLetters(program);
  program.startedQueries = ReportQueries::Start(program.tk, program.os.drive, program.os.wmi, state.DriveListed,
                                                WantsPartitionStyles(state));
}

void RefreshDriveReport(Program& program) {
  // Idle again however the build ends, even by an exception, or F5 would stay dead.
  struct IdleAgain {
    ProgramState& state;
    ~IdleAgain() { state.ReportIdle = true; }
  } idleAgain{program.state};
  program.state.ReportIdle = false;
  BuildReport(program);
  program.state.ReportIdle = true;
  // A drive that came or went while the report was built asks for one more.
  if (program.WindowLoaded()) program.Window().DriveReportFinished();
}

}  // namespace tarnvik
