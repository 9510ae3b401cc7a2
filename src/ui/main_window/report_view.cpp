// The drive report. The report box holds the report and grows drive by drive. The drives' questions are
// asked on workers (report_queries.h); this thread only turns their answers into text, in
// alphabetical order, and waits for them with its messages flowing, so no drive can freeze
// the window.
#include "ui/main_window/report_view.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "base/start_trace.h"
#include "base/text.h"
#include "report/report.h"
#include "report/report_queries.h"
#include "report/report_text.h"
#include "ui/forms.h"
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
  explicit ReportWriter(Forms& forms) : forms_(forms) {}

  bool FormsGone() {
    if (gone_) return true;
    gone_ = !forms_.WindowLoaded() || forms_.Window().UnloadRequested() || !forms_.Window().Form().Loaded() ||
            !forms_.MenuLoaded() || !forms_.Menu().Form().Loaded();
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
    toolkit::TextBox& box = forms_.Window().Form().ReportBox();
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
  Forms& forms_;
  bool gone_ = false;
  std::string pending_;     // text gathered since the last Flush
  bool replacing_ = false;  // pending_ replaces the box rather than extending it
};

/// Yields to the event loop; false when the build must end: a quit was asked for, or the
/// windows are being or have been unloaded.
bool YieldAndGoOn(Forms& forms, ReportWriter& writer) {
  if (!writer.Flush()) return false;
  forms.tk.DoEvents();
  return !forms.quitting && !writer.FormsGone();
}

/// Sleeps with the messages flowing until a worker has news or the user acts; false when the
/// build must end, as for a yield.
bool WaitAndGoOn(Forms& forms, ReportWriter& writer) {
  if (!writer.Flush()) return false;
  forms.tk.WaitEvents();
  return !forms.quitting && !writer.FormsGone();
}

/// The letters that begin an entry of the drive list.
LetterSet ListedLetters(toolkit::DriveList& list) {
  LetterSet letters{};
  const int count = list.ListCount();
  for (int entry = 0; entry < count; ++entry) {
    const std::string padded = Trim(list.List(entry)) + " ";
    const std::string letter = LowerAscii(Trim(padded.substr(0, 1)));
    if (letter.empty()) continue;
    const int index = static_cast<unsigned char>(letter[0]) - 'a';
    if (index >= 0 && index < 26) letters[static_cast<std::size_t>(index)] = true;
  }
  return letters;
}

/// The queries of this report: those start-up began, when they are for the same letters, or
/// new ones.
std::shared_ptr<ReportQueries> QueriesFor(Forms& forms, const LetterSet& letters) {
  std::shared_ptr<ReportQueries> queries = std::exchange(forms.startedQueries, nullptr);
  if (queries && queries->Letters() == letters && queries->WantsPartitionStyles() == forms.withPartitionStyles) {
    return queries;
  }
  return ReportQueries::Start(forms.tk, forms.os.drive, forms.os.wmi, letters, forms.withPartitionStyles);
}

void BuildReport(Forms& forms) {
  ReportWriter writer(forms);
  if (!writer.Replace(" Please wait...")) return;
  // Read before the list: a letter that changes between the two reads then gives the window
  // timer one rebuild more, never one less.
  forms.Window().ReportBegins(forms.os.drive.GetLogicalDrives());
  forms.Menu().Drives().Refresh();
  // The letters are known at once, so the workers ask while the waiting text paints.
  const std::shared_ptr<ReportQueries> queries = QueriesFor(forms, ListedLetters(forms.Menu().Drives()));

  if (!YieldAndGoOn(forms, writer)) return;

  // Blocks that are ready one after another go to the box together, at the next wait.
  Report report{queries->WantsPartitionStyles(), {}};
  bool headerWritten = false;
  const bool complete = CollectDrives(
      *queries, report, [&] { return WaitAndGoOn(forms, writer); },
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
  if (writer.Append(ReportSummaryText(report)) && writer.Flush()) FinishStartTrace("summary written");
}

}  // namespace

void StartDriveQueries(Forms& forms) {
  // The same letters the report collects; the report reads them again.
  forms.Menu().Drives().Refresh();
  forms.startedQueries = ReportQueries::Start(forms.tk, forms.os.drive, forms.os.wmi,
                                              ListedLetters(forms.Menu().Drives()), forms.withPartitionStyles);
}

void RefreshDriveReport(Forms& forms) {
  // Idle again however the build ends, even by an exception, or F5 would stay dead.
  struct IdleAgain {
    Forms& forms;
    ~IdleAgain() { forms.reportIdle = true; }
  } idleAgain{forms};
  forms.reportIdle = false;
  BuildReport(forms);
  forms.reportIdle = true;
  // A drive that came or went while the report was built asks for one more.
  if (forms.WindowLoaded()) forms.Window().DriveReportFinished();
}

}  // namespace tarnvik
