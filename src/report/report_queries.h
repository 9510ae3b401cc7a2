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
#include <vector>

#include "base/lock.h"
#include "base/workers.h"
#include "report/disk_api.h"
#include "report/drive_answers.h"
#include "report/partition_style.h"
#include "report/report.h"
#include "report/wmi_api.h"

namespace tarnvik {

/// How long a letter's disk questions may take before the letter is written without its disk:
/// a live disk answers in milliseconds, and a sleeping hard disk that the failure-prediction or
/// health questions wake spins up within about ten seconds; past that the disk is taken as hung.
inline constexpr uint32_t kDiskDeadlineMs = 10000;

/// What a run needs to ask each drive for the disk behind it: only the documents for scripts
/// show disks, so the window's report never asks and its timing stays as it was.
struct DiskQuestions {
  DiskApi& api;
  WindowsVersion windows;  ///< decides which questions this Windows has
  uint32_t deadlineMs = kDiskDeadlineMs;
};

class ReportQueries {
 public:
  /// Starts the workers for `letters`. With `wantPartitionStyles` (Windows 5 and later), the
  /// styles are asked of the management service, once, by the first worker whose drive has a
  /// file system. The workers share ownership of the result, so it outlives any of its holders
  /// on either side; `workers`, `drive` and `wmi` must outlive every worker. With `disks`, each
  /// worker then asks for the disk behind its letter, after handing over the other answers, so
  /// that a disk that hangs holds up no partition-style batch; `disks->api` must outlive them too.
  /// Each disk is asked once, and every letter on it gets its facts. A letter whose disk has not
  /// answered `disks->deadlineMs` after its disk questions began is handed over without a disk,
  /// and so is every other letter on that disk: a deadline worker wakes the waiting thread then.
  static std::shared_ptr<ReportQueries> Start(Workers& workers, DriveApi& drive, WmiApi& wmi,
                                              const LetterSet& letters, bool wantPartitionStyles,
                                              std::optional<DiskQuestions> disks = std::nullopt);

  const LetterSet& Letters() const { return letters_; }
  bool WantsPartitionStyles() const { return wantPartitionStyles_; }

  /// The facts of drive `index` once its answers and, where its block needs one, its partition
  /// style are in; nullopt until then. Called on the window's thread.
  std::optional<DriveReportFacts> Take(int index);

  ReportQueries(Workers& workers, WmiApi& wmi, const LetterSet& letters, bool wantPartitionStyles,
                std::optional<DiskQuestions> disks = std::nullopt);

 private:
  // The work each drive's worker and each disk's deadline runs. Named rather than lambdas: a
  // lambda's type name, which std::function keeps, would cost the x86 program twice the bytes.
  friend struct DriveWork;
  friend struct DiskDeadline;

  void Deliver(int index, DriveAnswers answers);
  /// `self` is this report's queries: the letter's deadline worker shares them.
  static void AskDisk(const std::shared_ptr<ReportQueries>& self, int index, uint32_t driveType);
  void AwaitDeadline(std::size_t letter, DeviceHandle event);
  /// Hands the letters over whose disk `from` asks: its facts or, when given up, none. Called
  /// with the lock held, as is Settle.
  void SettleFrom(int from);
  void Settle(std::size_t letter);

  Workers& workers_;
  WmiApi& wmi_;
  const LetterSet letters_;
  const bool wantPartitionStyles_;
  const std::optional<DiskQuestions> diskQuestions_;

  Lock mutex_;  // guards everything below
  std::array<std::optional<DriveAnswers>, 26> answers_;
  bool stylesAsked_ = false;
  std::array<std::optional<std::string>, 26> styles_;  // each letter's, once known
  struct LetterDisk {
    std::vector<uint32_t> numbers;      // the disks its volume lies on, once read
    DeviceHandle deadline = kNoDevice;  // the event its deadline worker waits on
    int from = -1;                      // the letter that asks its disk (itself, or one before)
    bool settled = false;               // may be handed over: with `from`'s facts, or none
    bool answered = false;              // as `from`: the disk answered, or was given up
    std::optional<DiskFacts> facts;     // as `from`: what the disk said
  };
  std::array<LetterDisk, 26> disks_;
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
