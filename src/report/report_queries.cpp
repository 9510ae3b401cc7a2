// One report's queries: the workers deliver, the window's thread takes, and one lock keeps
// the two apart. Nothing else is shared between them.
#include "report/report_queries.h"

#include <utility>

namespace tarnvik {

ReportQueries::ReportQueries(Workers& workers, WmiApi& wmi, const LetterSet& letters,
                             bool wantPartitionStyles)
    : workers_(workers), wmi_(wmi), letters_(letters), wantPartitionStyles_(wantPartitionStyles) {}

std::shared_ptr<ReportQueries> ReportQueries::Start(Workers& workers, DriveApi& drive, WmiApi& wmi,
                                                    const LetterSet& letters, bool wantPartitionStyles) {
  auto queries = std::make_shared<ReportQueries>(workers, wmi, letters, wantPartitionStyles);
  for (int index = 0; index < 26; ++index) {
    if (!letters[static_cast<std::size_t>(index)]) continue;
    const bool started = workers.RunInBackground([queries, &drive, index] {
      // A collector that throws (out of memory, say) still answers, as a drive whose every
      // call failed, so the report never waits for it.
      DriveAnswers answers;
      try {
        answers = CollectDriveAnswers(drive, index);
      } catch (...) {
        answers = DriveAnswers{};
      }
      queries->Deliver(index, std::move(answers));
    });
    // No thread to be had: the drive counts as failed rather than being asked here, on the
    // window's thread, where a drive that hangs would freeze the window. A failed drive has
    // no file system, so this never starts the batch here either.
    if (!started) queries->Deliver(index, DriveAnswers{});
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
  workers_.Wake();
  if (!askStyles) return;

  // Each style is handed over the moment it is known, so one letter's slow question holds up
  // only the blocks from that letter on. A batch that throws leaves "Unknown" to every letter
  // it had not delivered yet.
  const auto deliverStyle = [this](std::size_t letter, std::string style) {
    {
      const std::lock_guard lock(mutex_);
      if (!styles_[letter]) styles_[letter] = std::move(style);
    }
    workers_.Wake();
  };
  // A drive that has already shown no file system never shows a style: its letter is not
  // asked about, which spares a question that would touch its volume. One not in yet is asked.
  const auto stillWanted = [this](std::size_t letter) {
    const std::lock_guard lock(mutex_);
    return !answers_[letter] || answers_[letter]->HasFileSystem();
  };
  try {
    QueryPartitionStyles(wmi_, letters_, deliverStyle, stillWanted);
  } catch (...) {
    {
      const std::lock_guard lock(mutex_);
      for (std::size_t i = 0; i < letters_.size(); ++i) {
        if (letters_[i] && !styles_[i]) styles_[i] = "Unknown";
      }
    }
    workers_.Wake();
  }
}

std::optional<DriveReportFacts> ReportQueries::Take(int index) {
  const std::lock_guard lock(mutex_);
  const std::optional<DriveAnswers>& answers = answers_[static_cast<std::size_t>(index)];
  if (!answers) return std::nullopt;
  const bool needsStyle = wantPartitionStyles_ && answers->HasFileSystem();
  if (!needsStyle) return DriveReportFacts{*answers, "Unknown"};
  const std::optional<std::string>& style = styles_[static_cast<std::size_t>(index)];
  if (!style) return std::nullopt;
  return DriveReportFacts{*answers, *style};
}

}  // namespace tarnvik
