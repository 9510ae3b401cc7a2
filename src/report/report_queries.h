// The operating-system questions of one report, asked on worker threads. Each drive has a
// worker of its own, so a drive that hangs holds up nobody else's calls; the partition styles
// of all drives come from one batch, asked once the first drive has shown a file system, and
// arrive letter by letter. The window's thread takes each drive's answers by value when they
// are complete, and is woken through the workers whenever something arrives. Nothing a worker
// meets (a failed call, an exception, no thread at all) leaves a drive without an answer.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "base/lock.h"
#include "base/workers.h"
#include "report/drive_answers.h"
#include "report/partition_style.h"
#include "report/report.h"
#include "report/wmi_api.h"

namespace tarnvik {

class ReportQueries : public std::enable_shared_from_this<ReportQueries> {
 public:
  /// Starts the workers for `letters`. With `wantPartitionStyles` (Windows 5 and later), the
  /// styles are asked of the management service, once, by the first worker whose drive has a
  /// file system. The workers share ownership of the result, so it outlives any of its holders
  /// on either side; `workers`, `drive` and `wmi` must outlive every worker.
  static std::shared_ptr<ReportQueries> Start(Workers& workers, DriveApi& drive, WmiApi& wmi,
                                              const LetterSet& letters, bool wantPartitionStyles);

  const LetterSet& Letters() const { return letters_; }
  bool WantsPartitionStyles() const { return wantPartitionStyles_; }

  /// The facts of drive `index` once its answers and, where its block needs one, its partition
  /// style are in; nullopt until then. Called on the window's thread.
  std::optional<DriveReportFacts> Take(int index);

  ReportQueries(Workers& workers, WmiApi& wmi, const LetterSet& letters, bool wantPartitionStyles);

 private:
  void Deliver(int index, DriveAnswers answers);

  Workers& workers_;
  WmiApi& wmi_;
  const LetterSet letters_;
  const bool wantPartitionStyles_;

  Lock mutex_;  // guards everything below
  std::array<std::optional<DriveAnswers>, 26> answers_;
  bool stylesAsked_ = false;
  std::array<std::optional<std::string>, 26> styles_;  // each letter's, once known
};

/// Takes the drives of `queries` into `report`, in A-to-Z order: the window's report and a saved
/// one are collected alike. While the next drive is not in, calls `wait()`, which sleeps until a
/// worker has news; once it is in, calls `arrived(report)` with the drive at the end of
/// report.drives. Either returning false stops the collection at once. True when every drive
/// came. Templates rather than std::function: the callers' lambdas are inlined.
template <class Wait, class Arrived>
bool CollectDrives(ReportQueries& queries, Report& report, Wait&& wait, Arrived&& arrived) {
  for (int index = 0; index < 26; ++index) {
    if (!queries.Letters()[static_cast<std::size_t>(index)]) continue;
    std::optional<DriveReportFacts> facts;
    while (!(facts = queries.Take(index))) {
      if (!wait()) return false;
    }
    report.drives.push_back({index, std::move(*facts)});
    if (!arrived(static_cast<const Report&>(report))) return false;
  }
  return true;
}

}  // namespace tarnvik
