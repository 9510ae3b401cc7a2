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
  std::size_t slot;
  void operator()() const {
    // A collector that throws (out of memory, say) still answers, as a drive whose every call
    // failed, so the report never waits for it: the answers keep their defaults, as nothing is
    // assigned from a collection that did not return.
    const std::string& guidPath = queries->SlotAt(slot).guidPath;  // a volume without a letter: its name
    DriveAnswers answers;
    try {
      answers = guidPath.empty() ? CollectDriveAnswers(*drive, static_cast<int>(slot))
                                 : CollectVolumeAnswers(*drive, guidPath);
    } catch (...) {
    }
    const uint32_t type = answers.typeCode;
    queries->Deliver(slot, answers);
    queries->AskVolume(slot, answers);
    ReportQueries::AskDisk(queries, slot, type);
  }
};

struct VolumeWalk {
  std::shared_ptr<ReportQueries> queries;
  DriveApi* drive;
  void operator()() const {
    // A walk that throws lists no volume rather than leaving the document waiting for it.
    std::unique_ptr<ReportQueries::Slot[]> slots;
    std::size_t count = 0;
    try {
      const std::vector<std::string> guidPaths = ListLetterlessVolumes(*queries->diskQuestions_->volumes);
      slots = std::make_unique<ReportQueries::Slot[]>(guidPaths.size());
      for (std::size_t at = 0; at < guidPaths.size(); ++at) slots[at].guidPath = guidPaths[at];
      count = guidPaths.size();
    } catch (...) {
    }
    ReportQueries::AddVolumes(queries, *drive, std::move(slots), count);
  }
};

struct DiskDeadline {
  std::shared_ptr<ReportQueries> queries;
  std::size_t slot;
  DeviceHandle event;
  void operator()() const { queries->AwaitDeadline(slot, event); }
};

ReportQueries::ReportQueries(Workers& workers, WmiApi& wmi, const LetterSet& letters,
                             bool wantPartitionStyles, std::optional<DiskQuestions> disks)
    : workers_(workers),
      wmi_(wmi),
      letters_(letters),
      wantPartitionStyles_(wantPartitionStyles),
      diskQuestions_(std::move(disks)),
      walked_(!AsksVolumes()) {}

std::shared_ptr<ReportQueries> ReportQueries::Start(Workers& workers, DriveApi& drive, WmiApi& wmi,
                                                    const LetterSet& letters, bool wantPartitionStyles,
                                                    std::optional<DiskQuestions> disks) {
  auto queries = std::make_shared<ReportQueries>(workers, wmi, letters, wantPartitionStyles, std::move(disks));
  for (std::size_t at = 0; at < kLetterSlots; ++at) {
    if (!letters[at]) continue;
    const bool started = workers.RunInBackground(DriveWork{queries, &drive, at});
    // No thread to be had: the drive counts as failed rather than being asked here, on the
    // window's thread, where a drive that hangs would freeze the window. A failed drive has
    // no file system, so this never starts the batch here either.
    if (!started) {
      queries->Deliver(at, DriveAnswers{});
      queries->HandOverVolume(at, std::nullopt);
      AskDisk(queries, at, kDriveNoRootDir);  // answered at once: no disk
    }
  }
  // The walk touches no volume but may take its time: it goes on a worker of its own, and
  // without one the document lists no volume rather than hang here.
  if (queries->AsksVolumes() && !workers.RunInBackground(VolumeWalk{queries, &drive})) AddVolumes(queries, drive, {}, 0);
  return queries;
}

ReportQueries::Slot& ReportQueries::SlotAt(std::size_t at) {
  const std::lock_guard lock(mutex_);
  return At(at);
}

void ReportQueries::AddVolumes(const std::shared_ptr<ReportQueries>& self, DriveApi& drive,
                               std::unique_ptr<Slot[]> volumes, std::size_t count) {
  ReportQueries& q = *self;
  {
    const std::lock_guard lock(q.mutex_);
    q.volumeSlots_ = std::move(volumes);
    q.volumeCount_ = count;
    q.walked_ = true;
  }
  q.workers_.Wake();
  for (std::size_t at = kLetterSlots; at < kLetterSlots + count; ++at) {
    if (q.workers_.RunInBackground(DriveWork{self, &drive, at})) continue;
    q.Deliver(at, DriveAnswers{});
    q.HandOverVolume(at, std::nullopt);
    AskDisk(self, at, kDriveNoRootDir);
  }
}

void ReportQueries::AskVolume(std::size_t at, const DriveAnswers& answers) {
  if (!AsksVolumes()) return;
  Slot& slot = SlotAt(at);
  std::optional<VolumeFacts> volume;
  // As with the answers, a question that throws leaves the volume unknown, never awaited.
  try {
    VolumeCalls calls{*diskQuestions_->volumes, wmi_};
    const bool elevated = diskQuestions_->elevated;
    volume = slot.guidPath.empty() ? QueryLetterVolume(calls, static_cast<int>(at), answers, elevated)
                                   : QueryGuidVolume(calls, slot.guidPath, answers, elevated);
  } catch (...) {
  }
  HandOverVolume(at, std::move(volume));
}

void ReportQueries::HandOverVolume(std::size_t at, std::optional<VolumeFacts> volume) {
  {
    const std::lock_guard lock(mutex_);
    At(at).volume = std::move(volume);
    At(at).volumeIn = true;
  }
  workers_.Wake();
}

void ReportQueries::AskDisk(const std::shared_ptr<ReportQueries>& self, std::size_t at, uint32_t driveType) {
  ReportQueries& q = *self;
  if (!q.diskQuestions_) return;
  Slot& slot = q.SlotAt(at);
  DiskApi& api = q.diskQuestions_->api;
  // Without a deadline (no event, no thread) a hung disk would hold the document back for good.
  std::optional<VolumeDevice> device;
  const DeviceHandle event = MayLieOnADisk(driveType) ? api.CreateEventW() : kNoDevice;
  if (event != kNoDevice) {
    {
      const std::lock_guard lock(q.mutex_);
      slot.deadline = event;
    }
    // A question that throws (memory running out) leaves the slot, and any other on its disk,
    // to the deadline.
    if (q.workers_.RunInBackground(DiskDeadline{self, at, event})) {
      // A letter's volume is "\\.\C:"; one without a letter is named by its GUID path.
      std::string letterVolume = "\\\\.\\?:";
      letterVolume[4] = static_cast<char>('A' + at);
      device = QueryVolumeDevice(api, at < kLetterSlots ? letterVolume : GuidVolumeDevice(slot.guidPath),
                                 q.AsksVolumes());
    } else {
      {
        const std::lock_guard lock(q.mutex_);
        slot.deadline = kNoDevice;
      }
      api.CloseHandle(event);
    }
  }
  bool asks = false;  // this slot asks the disk, for every slot on it
  {
    const std::lock_guard lock(q.mutex_);
    // The volume's facts are in by now (asked first on this worker); an answer that comes after
    // the deadline is dropped.
    if (device && slot.volume && !slot.settled) slot.volume->partition = std::move(device->partition);
    if (device && device->disks && !slot.settled) {
      slot.numbers = std::move(*device->disks);
      slot.from = static_cast<int>(at);
      for (std::size_t other = 0; other < q.SlotCount(); ++other) {
        const Slot& d = q.At(other);
        if (other != at && d.from == static_cast<int>(other) && d.numbers.front() == slot.numbers.front())
          slot.from = static_cast<int>(other);
      }
      asks = slot.from == static_cast<int>(at);
      if (!asks && q.At(static_cast<std::size_t>(slot.from)).answered) q.Settle(at);
    } else if (!slot.settled) {
      q.Settle(at);
    }
  }
  q.workers_.Wake();
  if (!asks) return;

  DiskFacts facts = QueryDiskDevice(api, slot.numbers.front(), q.diskQuestions_->windows);
  {
    const std::lock_guard lock(q.mutex_);
    if (!slot.answered) {  // else given up: the late answer is dropped
      slot.facts.emplace(std::move(facts));
      q.SettleFrom(static_cast<int>(at));
    }
  }
  q.workers_.Wake();
}

void ReportQueries::AwaitDeadline(std::size_t at, DeviceHandle event) {
  DiskApi& api = diskQuestions_->api;
  // Set as soon as the slot is settled; otherwise the wait ends at the deadline. A wait that
  // fails ends it at once.
  api.WaitForSingleObject(event, diskQuestions_->deadlineMs);
  {
    const std::lock_guard lock(mutex_);
    Slot& d = At(at);
    d.deadline = kNoDevice;  // closed below: nobody may set it any more
    // The disk is taken as hung: every slot on it goes without, and its late answer is dropped.
    if (!d.settled && d.from >= 0) SettleFrom(d.from);
    Settle(at);
  }
  api.CloseHandle(event);
  workers_.Wake();
}

void ReportQueries::SettleFrom(int from) {
  At(static_cast<std::size_t>(from)).answered = true;
  for (std::size_t at = 0; at < SlotCount(); ++at) {
    if (At(at).from == from) Settle(at);
  }
}

void ReportQueries::Settle(std::size_t at) {
  Slot& d = At(at);
  if (!d.settled && d.deadline != kNoDevice) diskQuestions_->api.SetEvent(d.deadline);
  d.settled = true;
}

void ReportQueries::Deliver(std::size_t at, DriveAnswers answers) {
  bool askStyles = false;
  {
    const std::lock_guard lock(mutex_);
    // The service knows nothing of a volume that showed no file system, so only a drive with
    // one starts the batch; a report of such drives alone never asks it. It knows volumes by
    // their letters alone.
    askStyles = at < kLetterSlots && wantPartitionStyles_ && !stylesAsked_ && answers.HasFileSystem();
    stylesAsked_ = stylesAsked_ || askStyles;
    At(at).answers = std::move(answers);
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
    const std::optional<DriveAnswers>& in = At(letter).answers;
    return !in || in->HasFileSystem();
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
  return TakeSlot(static_cast<std::size_t>(index));
}

std::optional<std::size_t> ReportQueries::VolumesWithoutLetter() {
  const std::lock_guard lock(mutex_);
  if (!walked_) return std::nullopt;
  return volumeCount_;
}

std::optional<DriveReportFacts> ReportQueries::TakeVolume(std::size_t n) {
  const std::lock_guard lock(mutex_);
  if (!walked_ || n >= volumeCount_) return std::nullopt;
  return TakeSlot(kLetterSlots + n);
}

std::optional<DriveReportFacts> ReportQueries::TakeSlot(std::size_t at) {
  const Slot& slot = At(at);
  const std::optional<DriveAnswers>& answers = slot.answers;
  if (!answers || (diskQuestions_ && !slot.settled) || (AsksVolumes() && !slot.volumeIn)) return std::nullopt;
  const bool styled = at < kLetterSlots && wantPartitionStyles_ && answers->HasFileSystem();
  if (styled && !styles_[at]) return std::nullopt;
  // Slots on one disk share its answer; each names the disks its own volume lies on.
  const std::optional<DiskFacts>& disk = slot.from >= 0 ? At(static_cast<std::size_t>(slot.from)).facts : slot.facts;
  std::optional<DriveReportFacts> facts{std::in_place, *answers, styled ? *styles_[at] : "Unknown", disk, slot.volume};
  if (facts->disk) facts->disk->numbers = slot.numbers;
  return facts;
}

}  // namespace tarnvik
