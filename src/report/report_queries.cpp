// One report's queries: the workers deliver, the window's thread takes, and one lock keeps
// the two apart. Nothing else is shared between them.
#include "report/report_queries.h"

#include <utility>

namespace tarnvik {

ReportQueries::ReportQueries(toolkit::Toolkit& toolkit, WmiApi& wmi, const LetterSet& letters,
                             bool wantPartitionStyles)
    : toolkit_(toolkit), wmi_(wmi), letters_(letters), wantPartitionStyles_(wantPartitionStyles) {}

std::shared_ptr<ReportQueries> ReportQueries::Start(toolkit::Toolkit& toolkit, DriveApi& drive, WmiApi& wmi,
                                                    const LetterSet& letters, bool wantPartitionStyles) {
  auto queries = std::make_shared<ReportQueries>(toolkit, wmi, letters, wantPartitionStyles);
  for (int index = 0; index < 26; ++index) {
    if (!letters[static_cast<std::size_t>(index)]) continue;
    toolkit.RunInBackground([queries, &drive, index] { queries->Deliver(index, CollectDriveAnswers(drive, index)); });
  }
  return queries;
}

void ReportQueries::Deliver(int index, DriveAnswers answers) {
  bool askStyles = false;
  {
    const std::lock_guard lock(mutex_);
    // The service knows nothing of a volume that showed no file system, so only a drive with
    // one starts the batch; a report of such drives alone never asks it.
    askStyles = wantPartitionStyles_ && !stylesAsked_ && answers.HasFileSystem();
    stylesAsked_ = stylesAsked_ || askStyles;
    answers_[static_cast<std::size_t>(index)] = std::move(answers);
  }
  toolkit_.Wake();
  if (!askStyles) return;

  PartitionStyles styles = QueryPartitionStyles(wmi_, letters_);
  {
    const std::lock_guard lock(mutex_);
    styles_ = std::move(styles);
  }
  toolkit_.Wake();
}

std::optional<DriveReportFacts> ReportQueries::Take(int index) {
  const std::lock_guard lock(mutex_);
  const std::optional<DriveAnswers>& answers = answers_[static_cast<std::size_t>(index)];
  if (!answers) return std::nullopt;
  const bool needsStyle = wantPartitionStyles_ && answers->HasFileSystem();
  if (!needsStyle) return DriveReportFacts{*answers, "Unknown"};
  if (!styles_) return std::nullopt;
  return DriveReportFacts{*answers, (*styles_)[static_cast<std::size_t>(index)]};
}

}  // namespace tarnvik
