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
#include "report/volume_api.h"
#include "report/volume_facts.h"
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
  /// With it, each drive's volume is asked too (its partition with its disk, under the same
  /// deadline), and the volumes no letter reaches are listed and asked as drives are.
  VolumeApi* volumes = nullptr;
  bool elevated = false;  ///< the run has administrator rights: BitLocker is asked
};

class ReportQueries {
 public:
  /// Starts the workers for `letters`. With `wantPartitionStyles` (Windows 5 and later), the
  /// styles are asked of the management service, once, by the first worker whose drive has a
  /// file system. The workers share ownership of the result, so it outlives any of its holders
  /// on either side; `workers`, `drive` and `wmi` must outlive every worker. With `disks`, each
  /// worker then asks for the disk behind its letter, after handing over the other answers, so
  /// that a disk that hangs holds up no partition-style batch; `disks->api` (and
  /// `disks->volumes`) must outlive them too. Each disk is asked once, and every letter on it
  /// gets its facts. A letter whose disk has not answered `disks->deadlineMs` after its disk
  /// questions began is handed over without a disk, and so is every other letter on that disk:
  /// a deadline worker wakes the waiting thread then. With `disks->volumes`, a worker of its own
  /// lists the volumes no letter reaches, and each of those is asked on a worker of its own as a
  /// letter is, its disk among every letter's disks.
  static std::shared_ptr<ReportQueries> Start(Workers& workers, DriveApi& drive, WmiApi& wmi,
                                              const LetterSet& letters, bool wantPartitionStyles,
                                              std::optional<DiskQuestions> disks = std::nullopt);

  const LetterSet& Letters() const { return letters_; }
  bool WantsPartitionStyles() const { return wantPartitionStyles_; }

  /// The facts of drive `index` once its answers and, where its block needs one, its partition
  /// style are in; nullopt until then. Called on the window's thread.
  std::optional<DriveReportFacts> Take(int index);

  /// How many volumes no letter reaches, once they are listed; nullopt until then (0 where
  /// they are not asked for).
  std::optional<std::size_t> VolumesWithoutLetter();
  /// The facts of the `n`th of them (in the order Windows lists them) once they are in.
  std::optional<DriveReportFacts> TakeVolume(std::size_t n);

  ReportQueries(Workers& workers, WmiApi& wmi, const LetterSet& letters, bool wantPartitionStyles,
                std::optional<DiskQuestions> disks = std::nullopt);

 private:
  // The work each drive's worker, the volumes' walk and each disk's deadline run. Named rather
  // than lambdas: a lambda's type name, which std::function keeps, would cost the x86 program
  // twice the bytes.
  friend struct DriveWork;
  friend struct VolumeWalk;
  friend struct DiskDeadline;

  // A letter (slot 0 to 25) or a volume no letter reaches (from 26, in walk order).
  struct Slot {
    std::string guidPath;  // a volume without a letter: its name
    std::optional<DriveAnswers> answers;
    bool volumeIn = false;  // its volume's facts are in, or not asked
    std::optional<VolumeFacts> volume;  // its partition asked with its disks
    std::vector<uint32_t> numbers;      // the disks its volume lies on, once read
    DeviceHandle deadline = kNoDevice;  // the event its deadline worker waits on
    int from = -1;                      // the slot that asks its disk (itself, or one before)
    bool settled = false;               // may be handed over: with `from`'s facts, or none
    bool answered = false;              // as `from`: the disk answered, or was given up
    std::optional<DiskFacts> facts;     // as `from`: what the disk said
  };
  static constexpr std::size_t kLetterSlots = 26;

  bool AsksVolumes() const { return diskQuestions_ && diskQuestions_->volumes != nullptr; }
  /// With the lock held, as are SlotCount, Settle, SettleFrom and TakeSlot.
  Slot& At(std::size_t at) { return at < kLetterSlots ? letterSlots_[at] : volumeSlots_[at - kLetterSlots]; }
  std::size_t SlotCount() const { return kLetterSlots + volumeCount_; }
  /// Takes the lock: the slot stays where it is for the report's life.
  Slot& SlotAt(std::size_t at);
  void Deliver(std::size_t at, DriveAnswers answers);
  /// The slot's volume, asked where the documents want it, and handed over.
  void AskVolume(std::size_t at, const DriveAnswers& answers);
  void HandOverVolume(std::size_t at, std::optional<VolumeFacts> volume);
  /// Takes the `count` slots of the volumes without a letter and starts a worker for each.
  static void AddVolumes(const std::shared_ptr<ReportQueries>& self, DriveApi& drive, std::unique_ptr<Slot[]> volumes,
                         std::size_t count);
  /// `self` is this report's queries: the slot's deadline worker shares them.
  static void AskDisk(const std::shared_ptr<ReportQueries>& self, std::size_t at, uint32_t driveType);
  void AwaitDeadline(std::size_t at, DeviceHandle event);
  /// Hands the slots over whose disk `from` asks: its facts or, when given up, none.
  void SettleFrom(int from);
  void Settle(std::size_t at);
  std::optional<DriveReportFacts> TakeSlot(std::size_t at);

  Workers& workers_;
  WmiApi& wmi_;
  const LetterSet letters_;
  const bool wantPartitionStyles_;
  const std::optional<DiskQuestions> diskQuestions_;

  Lock mutex_;  // guards everything below
  std::array<Slot, kLetterSlots> letterSlots_;
  std::unique_ptr<Slot[]> volumeSlots_;  // set once, by the walk
  std::size_t volumeCount_ = 0;
  bool walked_ = false;  // the volumes without a letter have their slots
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
    for (;;) {  // each answer taken into a value of its own: no assignment to compile
      std::optional<DriveReportFacts> facts = queries.Take(index);
      if (facts) {
        report.drives.push_back({index, std::move(*facts)});
        break;
      }
      if (!wait()) return false;
    }
    if (!arrived(static_cast<const Report&>(report))) return false;
  }
  return true;
}

/// Takes the volumes no letter reaches of `queries` into `report`, in the order Windows lists
/// them, waiting as CollectDrives does; a volume that hangs holds the collection back as a
/// letter does. False when `wait()` said stop.
template <class Wait>
bool CollectVolumes(ReportQueries& queries, Report& report, Wait&& wait) {
  std::optional<std::size_t> count;
  while (!(count = queries.VolumesWithoutLetter())) {
    if (!wait()) return false;
  }
  for (std::size_t n = 0; n < *count; ++n) {
    for (;;) {
      std::optional<DriveReportFacts> facts = queries.TakeVolume(n);
      if (facts) {
        report.volumesWithoutLetter.push_back({kNoLetter, std::move(*facts)});
        break;
      }
      if (!wait()) return false;
    }
  }
  return true;
}

}  // namespace tarnvik
