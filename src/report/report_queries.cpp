// One report's queries: the workers deliver, the window's thread takes, and one lock keeps
// the two apart. Nothing else is shared between them.
#include "report/report_queries.h"

#include <utility>

namespace tarnvik {

namespace {

// A network letter, a RAM disk, an optical drive and a letter without a root lie on no disk of
// this machine that their volume could name: an optical driver that answered the extents call
// would give the letter another disk's facts.
bool MayLieOnADisk(uint32_t driveType) {
  return driveType != kDriveRemote && driveType != kDriveRamdisk && driveType != kDriveNoRootDir &&
         driveType != kDriveCdrom;
}

}  // namespace

struct DriveWork {
  std::shared_ptr<ReportQueries> queries;
  DriveApi* drive;
  int index;
  void operator()() const {
    // A collector that throws (out of memory, say) still answers, as a drive whose every call
    // failed, so the report never waits for it: the answers keep their defaults, as nothing is
    // assigned from a collection that did not return.
    DriveAnswers answers;
    try {
      answers = CollectDriveAnswers(*drive, index);
    } catch (...) {
    }
    const uint32_t type = answers.typeCode;
    queries->Deliver(index, std::move(answers));
    ReportQueries::AskDisk(queries, index, type);
  }
};

struct DiskDeadline {
  std::shared_ptr<ReportQueries> queries;
  std::size_t letter;
  DeviceHandle event;
  void operator()() const { queries->AwaitDeadline(letter, event); }
};

ReportQueries::ReportQueries(Workers& workers, WmiApi& wmi, const LetterSet& letters,
                             bool wantPartitionStyles, std::optional<DiskQuestions> disks)
    : workers_(workers),
      wmi_(wmi),
      letters_(letters),
      wantPartitionStyles_(wantPartitionStyles),
      diskQuestions_(std::move(disks)) {}

std::shared_ptr<ReportQueries> ReportQueries::Start(Workers& workers, DriveApi& drive, WmiApi& wmi,
                                                    const LetterSet& letters, bool wantPartitionStyles,
                                                    std::optional<DiskQuestions> disks) {
  auto queries = std::make_shared<ReportQueries>(workers, wmi, letters, wantPartitionStyles, std::move(disks));
  for (int index = 0; index < 26; ++index) {
    if (!letters[static_cast<std::size_t>(index)]) continue;
    const bool started = workers.RunInBackground(DriveWork{queries, &drive, index});
    // No thread to be had: the drive counts as failed rather than being asked here, on the
    // window's thread, where a drive that hangs would freeze the window. A failed drive has
    // no file system, so this never starts the batch here either.
    if (!started) {
      queries->Deliver(index, DriveAnswers{});
      AskDisk(queries, index, kDriveNoRootDir);  // answered at once: no disk
    }
  }
  return queries;
}

void ReportQueries::AskDisk(const std::shared_ptr<ReportQueries>& self, int index, uint32_t driveType) {
  ReportQueries& q = *self;
  if (!q.diskQuestions_) return;
  const auto at = static_cast<std::size_t>(index);
  LetterDisk& letter = q.disks_[at];
  DiskApi& api = q.diskQuestions_->api;
  // Without a deadline (no event, no thread) a hung disk would hold the document back for good.
  std::optional<std::vector<uint32_t>> numbers;
  const DeviceHandle event = MayLieOnADisk(driveType) ? api.CreateEventW() : kNoDevice;
  if (event != kNoDevice) {
    {
      const std::lock_guard lock(q.mutex_);
      letter.deadline = event;
    }
    // A question that throws (memory running out) leaves the letter, and any other on its disk,
    // to the deadline.
    if (q.workers_.RunInBackground(DiskDeadline{self, at, event})) {
      numbers = QueryDiskNumbers(api, static_cast<char>('A' + index));
    } else {
      {
        const std::lock_guard lock(q.mutex_);
        letter.deadline = kNoDevice;
      }
      api.CloseHandle(event);
    }
  }
  bool asks = false;  // this letter asks the disk, for every letter on it
  {
    const std::lock_guard lock(q.mutex_);
    if (numbers && !letter.settled) {
      letter.numbers = std::move(*numbers);
      letter.from = index;
      for (int other = 0; other < 26; ++other) {
        const LetterDisk& d = q.disks_[static_cast<std::size_t>(other)];
        if (other != index && d.from == other && d.numbers.front() == letter.numbers.front()) letter.from = other;
      }
      asks = letter.from == index;
      if (!asks && q.disks_[static_cast<std::size_t>(letter.from)].answered) q.Settle(at);
    }
    if (!numbers) q.Settle(at);
  }
  q.workers_.Wake();
  if (!asks) return;

  DiskFacts facts = QueryDiskDevice(api, letter.numbers.front(), q.diskQuestions_->windows);
  {
    const std::lock_guard lock(q.mutex_);
    if (!letter.answered) {  // else given up: the late answer is dropped
      letter.facts.emplace(std::move(facts));
      q.SettleFrom(index);
    }
  }
  q.workers_.Wake();
}

void ReportQueries::AwaitDeadline(std::size_t letter, DeviceHandle event) {
  DiskApi& api = diskQuestions_->api;
  // Set as soon as the letter is settled; otherwise the wait ends at the deadline. A wait that
  // fails ends it at once.
  api.WaitForSingleObject(event, diskQuestions_->deadlineMs);
  {
    const std::lock_guard lock(mutex_);
    LetterDisk& d = disks_[letter];
    d.deadline = kNoDevice;  // closed below: nobody may set it any more
    // The disk is taken as hung: every letter on it goes without, and its late answer is dropped.
    if (!d.settled && d.from >= 0) SettleFrom(d.from);
    Settle(letter);
  }
  api.CloseHandle(event);
  workers_.Wake();
}

void ReportQueries::SettleFrom(int from) {
  disks_[static_cast<std::size_t>(from)].answered = true;
  for (std::size_t letter = 0; letter < disks_.size(); ++letter) {
    if (disks_[letter].from == from) Settle(letter);
  }
}

void ReportQueries::Settle(std::size_t letter) {
  LetterDisk& d = disks_[letter];
  if (!d.settled && d.deadline != kNoDevice) diskQuestions_->api.SetEvent(d.deadline);
  d.settled = true;
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
  const auto at = static_cast<std::size_t>(index);
  const std::optional<DriveAnswers>& answers = answers_[at];
  const LetterDisk& letter = disks_[at];
  if (!answers || (diskQuestions_ && !letter.settled)) return std::nullopt;
  const bool styled = wantPartitionStyles_ && answers->HasFileSystem();
  if (styled && !styles_[at]) return std::nullopt;
  std::optional<DriveReportFacts> facts{std::in_place, *answers, styled ? *styles_[at] : "Unknown"};
  // Letters on one disk share its answer; each names the disks its own volume lies on.
  if (letter.from >= 0 && disks_[static_cast<std::size_t>(letter.from)].facts) {
    facts->disk.emplace(*disks_[static_cast<std::size_t>(letter.from)].facts);
    facts->disk->numbers = letter.numbers;
  }
  return facts;
}

}  // namespace tarnvik
