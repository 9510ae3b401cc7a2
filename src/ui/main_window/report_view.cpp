// The drive report. The report box holds the report and grows drive by drive. The drives' questions are
// asked on workers (report_queries.h); this thread only turns their answers into text, in
// alphabetical order, and waits for them with its messages flowing, so no drive can freeze
// the window.
#include "ui/main_window/report_view.h"

#include <memory>
#include <string>
#include <string_view>

#include "base/start_trace.h"
#include "report/report_queries.h"
#include "report/report_text.h"
#include "ui/controller.h"
#include "ui/main_window/report_window.h"

namespace tarnvik {
namespace {

/// Writes into the report box while the window is open. A quit, or a close from outside, can
/// arrive inside a yield or a wait, where messages are handled; from then on the writer refuses
/// for good, so a stopped build touches the window no more.
///
/// Lines are gathered and reach the box in one write at each Flush, which the build makes
/// before every yield or wait and at its end. The box therefore shows every finished block
/// whenever the window can paint or be read, but the blocks that are ready together cost one
/// write: every write lays the box out again and redraws both of its scroll bars, some twenty
/// milliseconds under Wine, more than a drive's own queries.
class ReportWriter {
 public:
  explicit ReportWriter(Controller& ui) : ui_(ui) {}

  bool Stopped() {
    if (stopped_) return true;
    ReportWindow* window = ui_.Window();
    stopped_ = window == nullptr || !ui_.Open() || !window->Form().Loaded();
    return stopped_;
  }

  /// The whole text becomes `text` at the next Flush.
  bool Replace(std::string_view text) {
    if (Stopped()) return false;
    pending_.assign(text);
    replacing_ = true;
    return true;
  }

  /// `text` is added at the end of the box at the next Flush.
  bool Append(std::string_view text) {
    if (Stopped()) return false;
    pending_ += text;
    return true;
  }

  /// Writes what was gathered since the last Flush. False (and the gathered text dropped) once
  /// the build must stop.
  bool Flush() {
    const bool nothingToWrite = !replacing_ && pending_.empty();
    if (Stopped() || nothingToWrite) {
      pending_.clear();
      replacing_ = false;
      return !stopped_;
    }
    toolkit::TextBox& box = ui_.Window()->Form().ReportBox();
    if (replacing_) {
      box.SetText(pending_);
    } else {
      box.AppendText(pending_);
    }
    TraceStart("report box written");
    pending_.clear();
    replacing_ = false;
    return true;
  }

 private:
  Controller& ui_;
  bool stopped_ = false;
  std::string pending_;     // text gathered since the last Flush
  bool replacing_ = false;  // pending_ replaces the box rather than extending it
};

/// Yields to the event loop; false when the build must end: a quit was asked for, or the
/// window is being or has been unloaded.
bool YieldAndGoOn(Controller& ui, ReportWriter& writer) {
  if (!writer.Flush()) return false;
  ui.tk.DoEvents();
  return !writer.Stopped();
}

/// Sleeps with the messages flowing until a worker has news or the user acts; false when the
/// build must end, as for a yield.
bool WaitAndGoOn(Controller& ui, ReportWriter& writer) {
  if (!writer.Flush()) return false;
  ui.tk.WaitEvents();
  return !writer.Stopped();
}

/// The queries of this report: those start-up began, when they are for the same letters, or
/// new ones.
std::shared_ptr<ReportQueries> QueriesFor(Controller& ui, const LetterSet& letters) {
  std::shared_ptr<ReportQueries> queries = ui.TakeStartedQueries();
  if (queries && queries->Letters() == letters && queries->WantsPartitionStyles() == ui.withPartitionStyles) {
    return queries;
  }
  return ReportQueries::Start(ui.tk, ui.os.drive, ui.os.wmi, letters, ui.withPartitionStyles);
}

void BuildReport(Controller& ui, bool firstShowing) {
  ReportWriter writer(ui);
  if (!writer.Replace(" Please wait...")) return;
  ReportWindow& window = *ui.Window();
  // One read gives the letters and the mask the window timer compares with, so a letter that
  // comes or goes after it gives one rebuild more, never one less.
  const uint32_t letterMask = ui.os.drive.GetLogicalDrives();
  window.ReportBegins(letterMask);
  // The letters are known at once, so the workers ask while the waiting text paints.
  const std::shared_ptr<ReportQueries> queries = QueriesFor(ui, LettersOfMask(letterMask));

  // The first showing comes where the collection first has to wait, or at its end: the box
  // holds what is in by then when the window first paints.
  bool shown = !firstShowing;
  const auto show = [&] {
    shown = true;
    if (!writer.Flush()) return false;
    window.Form().Show();
    TraceStart("main window shown");
    return true;
  };
  if (shown && !YieldAndGoOn(ui, writer)) return;

  // Blocks that are ready one after another go to the box together, at the next wait.
  Report report{queries->WantsPartitionStyles(), {}};
  bool headerWritten = false;
  const bool complete = CollectDrives(
      *queries, report,
      [&] { return shown ? WaitAndGoOn(ui, writer) : show() && YieldAndGoOn(ui, writer); },
      [&](const Report& sofar) {
        if (!headerWritten) {
          if (!writer.Replace(ReportHeaderText())) return false;
          headerWritten = true;
        }
        TraceStart(std::string("block ") + static_cast<char>('A' + sofar.drives.back().index) + ": gathered");
        return writer.Append(DriveBlockText(sofar.drives.back(), sofar.DriveCount(), sofar.withPartitionStyles));
      });
  if (!complete) return;

  // With no letter at all, an honest empty report replaces the waiting text.
  if (!headerWritten && !writer.Replace(ReportHeaderText())) return;
  if (!writer.Append(ReportSummaryText(report)) || !writer.Flush()) return;
  if (!shown) show();
  FinishStartTrace("summary written");
}

void Build(Controller& ui, bool firstShowing) {
  if (!ui.BeginBuild()) return;
  {
    // The build ends however it ends, even by an exception, or F5 would stay dead.
    struct BuildEnds {
      Controller& ui;
      ~BuildEnds() { ui.EndBuild(); }
    } buildEnds{ui};
    BuildReport(ui, firstShowing);
  }
  // A drive that came or went while the report was built asks for one more.
  if (ReportWindow* window = ui.Window()) window->DriveReportFinished();
}

}  // namespace

void RefreshDriveReport(Controller& ui) { Build(ui, false); }

void ShowWindowWithFirstReport(Controller& ui) { Build(ui, true); }

LetterSet LettersOfMask(uint32_t mask) {
  LetterSet letters{};
  for (std::size_t index = 0; index < letters.size(); ++index) letters[index] = ((mask >> index) & 1u) != 0;
  return letters;
}

std::shared_ptr<ReportQueries> StartDriveQueries(Workers& workers, DriveApi& drive, WmiApi& wmi,
                                                 bool withPartitionStyles) {
  return ReportQueries::Start(workers, drive, wmi, LettersOfMask(drive.GetLogicalDrives()), withPartitionStyles);
}

}  // namespace tarnvik
