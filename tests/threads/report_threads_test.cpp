// The report on real threads, under ThreadSanitizer: start-up, the hand-over to the first report
// and refreshes, every worker on a thread of its own and every answer after a random delay. Each
// report must read as on one thread, and every wait must end by a wake within its time limit.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <random>
#include <stdexcept>
#include <thread>

#include "fakes/fake_volume_api.h"
#include "fakes/test_program.h"
#include "report/report_queries.h"
#include "startup/main.h"
#include "startup/process_scan.h"
#include "ui/main_window/report_view.h"
#include "ui/main_window/report_window.h"

namespace tarnvik {
namespace {

using namespace std::string_literals;

void Pause() {
  thread_local std::minstd_rand random(static_cast<unsigned>(std::hash<std::thread::id>{}(std::this_thread::get_id())));
  std::this_thread::sleep_for(std::chrono::microseconds(random() % 1000));
}

// Background work on threads of its own; a wait that no wake ends within its limit throws.
class ThreadedToolkit final : public toolkit::HeadlessToolkit {
 public:
  ~ThreadedToolkit() override {
    // A worker may start another (a disk question its deadline): join until none is left.
    for (std::unique_lock lock(workersLock_); !workers_.empty(); lock.lock()) {
      std::thread worker = std::move(workers_.back());
      workers_.pop_back(), lock.unlock(), worker.join();
    }
  }
  // A worker may start workers, as start-up's copy count starts the first report's queries.
  bool RunInBackground(std::function<void()> work) override {
    const std::lock_guard lock(workersLock_);
    workers_.emplace_back([work = std::move(work)] {
      try {
        work();
      } catch (...) {
      }
    });
    return true;
  }
  void Wake() override {
    const std::lock_guard lock(mutex_);
    woken_ = true;
    wake_.notify_one();
  }
  void WaitEvents() override {
    std::unique_lock lock(mutex_);
    if (!wake_.wait_for(lock, std::chrono::seconds(5), [this] { return woken_; })) throw std::runtime_error("no wake");
    woken_ = false;
    lock.unlock();
    DoEvents();
  }

 private:
  std::mutex workersLock_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool woken_ = false;
};

struct Case {
  const char* name;
  std::string first, second;  ///< the letters at start-up and at the first report
  char throwingDrive = 0;
  bool batchThrows = false;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// Start-up, the first report and two refreshes: every report's text. The service's fake is
// touched only inside a batch, so it is left unguarded, as Wine's provider is.
template <class Toolkit>
std::vector<std::string> Reports(testing::BasicTestProgram<Toolkit>& t, const Case& c, const std::string& first) {
  t.SetOsVersion("6.1");
  t.drive.recording = false;
  t.drive.onCall = [](const std::string&) { Pause(); };
  t.drive.throwingLetter = c.throwingDrive;
  t.wmi.onAsk = [](const std::string&) { Pause(); };
  t.wmi.queryThrows = c.batchThrows;
  for (char letter : first + c.second) {
    t.drive.drives[letter].totalBytes = uint64_t{1} << (letter - 'a' + 20);
    if (letter < 'i') t.wmi.disks[std::string(1, static_cast<char>(letter - 32)) + ":"].partitionTypes = {"GPT"};
  }
  t.drive.logicalDrives = testing::LetterMask(first);
  t.ui().SetStartedQueries(StartDriveQueries(t.tk, t.drive, t.wmi, t.ui().withPartitionStyles));
  t.drive.logicalDrives = testing::LetterMask(c.second);
  t.ui().OpenWindow().Form().Show();
  std::vector<std::string> texts;
  for (int report = 0; report < 3; ++report) {
    RefreshDriveReport(t.program.ui);
    texts.push_back(t.ui().Window()->Form().ReportBox().Text());
  }
  return texts;
}

class ReportThreads : public ::testing::TestWithParam<Case> {};

TEST_P(ReportThreads, GiveTheReportOfOneThread) {
  for (int round = 0; round < 6; ++round) {
    testing::BasicTestProgram<ThreadedToolkit> threaded;
    testing::TestProgram reference;
    const std::vector<std::string> texts = Reports(threaded, GetParam(), GetParam().first);
    EXPECT_EQ(texts, Reports(reference, GetParam(), GetParam().second)) << "round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ReportThreads,
                         ::testing::Values(Case{"ManyDrives", "cdefghijklmnop", "cdefghijklmnop"},
                                           Case{"OneDrive", "c", "c"},
                                           Case{"LettersChangeAtHandOver", "cdefghij", "defghijkl"},
                                           Case{"DriveThrows", "cdefg", "cdefg", 'e'},
                                           Case{"BatchThrows", "cdef", "cdefg", 0, true}),
                         [](const auto& p) { return std::string(p.param.name); });

// A /json run's disks on real threads and fakes. Letters as "c3:0" (letter, drive type, the disks
// its volume lies on); disk N calls itself "MN". Each disk is asked once, for every letter on it; a
// hung disk (0, the only one given a short deadline) leaves its letters without once their
// deadline's worker wakes the waiting thread, and its late answer is dropped.
TEST(DiskThreads, EachDiskAskedOnceForEveryLetterOnItWithinItsDeadline) {
  const struct { const char* name; std::vector<std::string> letters; std::string disks; std::size_t volumes, disks_;
                 bool hung = false, noEvents = false; } cases[] = {
      {"two letters on each disk ask it once; a spanned volume takes its first disk's facts",
       {"c3:0", "d3:0", "e3:1", "f3:1", "g2:2,1"}, "00M0,00M0,11M1,11M1,21M2,", 5, 3},
      {"optical, network, RAM-disk and rootless letters open nothing", {"c3:1", "d5:1", "e4:1", "f6:1", "g1:1"},
       "11M1,-,-,-,-,", 1, 1},
      {"a disk that never answers leaves its letters null, the rest whole", {"c3:0", "d3:0", "e3:1", "f3:1"},
       "-,-,11M1,11M1,", 4, 2, true},
      {"no event for a deadline: nothing asked", {"c3:0"}, "-,", 0, 0, false, true},
  };
  for (int round = 0; round < 3; ++round) {
    for (const auto& c : cases) {
      testing::FakeDriveApi drive;
      testing::FakeWmiApi wmi;
      testing::FakeDiskApi disk;
      const DeviceHandle gate = disk.CreateEventW();  // the hung question waits for it
      std::shared_ptr<ReportQueries> queries;
      {
        ThreadedToolkit tk;  // joins its workers at the end of the block, the late answer's too
        const std::shared_ptr<void> release(nullptr, [&](void*) { disk.SetEvent(gate), disk.CloseHandle(gate); });
        drive.recording = false, drive.onCall = [](const std::string&) { Pause(); };
        disk.eventsFail = c.noEvents;
        disk.onIo = [&](const std::string& call) {
          if ((Pause(), call) == "io \\\\.\\PhysicalDrive0 2954240 0" && c.hung) disk.WaitForSingleObject(gate, 60000);
        };
        LetterSet letters{};
        for (const std::string& l : c.letters) {
          letters[l[0] - 'a'] = true, drive.drives[l[0]].type = static_cast<uint32_t>(l[1] - '0');
          std::vector<unsigned char> extents(8 + 24 * (l.size() - 2) / 2);
          extents[0] = static_cast<unsigned char>((l.size() - 2) / 2);
          for (std::size_t i = 0; 3 + 2 * i < l.size(); ++i)
            extents[8 + 24 * i] = static_cast<unsigned char>(l[3 + 2 * i] - '0');
          disk.answers[{std::string("\\\\.\\") + static_cast<char>(l[0] - 32) + ":",
                        ioctl::kVolumeGetVolumeDiskExtents, ~0u}] = {extents, 0, ioctl::kErrorMoreData};
        }
        for (const unsigned char n : {'0', '1', '2'}) {  // a descriptor with a product id, at 40
          std::vector<unsigned char> descriptor{40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40};
          descriptor.resize(40), descriptor.insert(descriptor.end(), {'M', n, 0});
          disk.answers[{std::string("\\\\.\\PhysicalDrive") + static_cast<char>(n), ioctl::kStorageQueryProperty, 0}] =
              {descriptor};
        }
        queries = ReportQueries::Start(tk, drive, wmi, letters, false, {{disk, {10, 0}, c.hung ? 200 : kDiskDeadlineMs}});
        Report report;
        CollectDrives(*queries, report, [&] { return tk.WaitEvents(), true; }, [](const Report&) { return true; });
        std::string disks;  // each letter's first and last disk and its model, "21M2", or "-"
        for (const ReportedDrive& r : report.drives) {
          const std::optional<DiskFacts>& d = r.facts.disk;
          disks += (d ? std::to_string(d->numbers.front()) + std::to_string(d->numbers.back()) + d->model : "-") + ",";
        }
        std::size_t volumes = 0, disks_ = 0;
        for (const std::string& call : disk.calls)
          (call.starts_with("open \\\\.\\P") ? disks_ : volumes) += call[0] == 'o';
        EXPECT_EQ(disks, c.disks) << c.name;
        EXPECT_EQ(std::pair(volumes, disks_), std::pair(c.volumes, c.disks_)) << c.name << ": devices opened";
      }
      EXPECT_TRUE(!c.hung || !queries->Take(2)->disk) << c.name << ": a late answer is dropped";
      EXPECT_TRUE(disk.open.empty()) << c.name << ": every device and event closed";
    }
  }
}

// Volumes without a letter on real threads: the walk and each volume on workers of their own, each disk asked once
// (C: and a on "M0", e on "M1"), BitLocker beside the batch on the unguarded service, and a hung volume (b) alone waits.
TEST(VolumeThreads, EachVolumeOnAWorkerOfItsOwnAndAHungOneHoldsUpOnlyItself) {
  const auto guid = [](char c) { return "\\\\?\\Volume{00000000-0000-0000-0000-00000000000" + std::string(1, c) + "}\\"; };
  for (int round = 0; round < 3; ++round) {
    testing::FakeDriveApi drive;
    testing::FakeWmiApi wmi;
    testing::FakeDiskApi disk;
    testing::FakeVolumeApi volumes;
    const DeviceHandle gate = disk.CreateEventW();  // volume b's calls wait for it
    Report report;
    {
      ThreadedToolkit tk;  // joins its workers at the end of the block
      const std::shared_ptr<void> release(nullptr, [&](void*) { disk.SetEvent(gate), disk.CloseHandle(gate); });
      drive.recording = false, wmi.onAsk = [](const std::string&) { Pause(); };
      drive.onCall = [&](const std::string& call) { (Pause(), call) != "vol " + guid('b') || disk.WaitForSingleObject(gate, 60000); };
      drive.drives['c'] = drive.drives['\\'] = {}, wmi.disks["C:"].partitionTypes = {"GPT"}, volumes.guidPaths["C:\\"] = guid('c');
      volumes.pathLists = {{guid('c'), {"C:\\\0\0"s}}, {guid('a'), {"\0"s}}, {guid('b'), {"\0"s}}, {guid('e'), {"\0"s}}};
      volumes.search = {guid('c'), guid('a'), guid('b'), guid('a'), guid('e')};
      for (const auto& [device, n] :
           {std::pair("\\\\.\\C:"s, '0'), {GuidVolumeDevice(guid('a')), '0'}, {GuidVolumeDevice(guid('e')), '1'}}) {
        std::vector<unsigned char> extents(32), descriptor(43);  // one extent, on disk n; a product id at 40
        extents[0] = 1, extents[8] = static_cast<unsigned char>(n - '0'), descriptor[16] = 40, descriptor[40] = 'M', descriptor[41] = n;
        disk.answers[{device, ioctl::kVolumeGetVolumeDiskExtents, ~0u}] = {extents};
        disk.answers[{"\\\\.\\PhysicalDrive"s + n, ioctl::kStorageQueryProperty, 0}] = {descriptor};
      }
      const auto queries = ReportQueries::Start(tk, drive, wmi, {false, false, true}, true, {{disk, {10, 0}, kDiskDeadlineMs, &volumes, true}});
      while (!(queries->Take(2) && queries->TakeVolume(0) && queries->TakeVolume(2))) tk.WaitEvents();  // or throws
      EXPECT_EQ(queries->TakeVolume(1), std::nullopt) << "the hung volume";
      disk.SetEvent(gate);
      const auto wait = [&] { return tk.WaitEvents(), true; };  // or throws
      CollectDrives(*queries, report, wait, [](const Report&) { return true; }), CollectVolumes(*queries, report, wait);
    }
    std::string listed = report.drives[0].facts.disk->model + report.drives[0].facts.partitionStyle;
    for (const ReportedDrive& v : report.volumesWithoutLetter)  // each volume's name's last digit and its disk
      listed += "," + v.facts.volume->guidPath->substr(46, 1) + (v.facts.disk ? v.facts.disk->model : "-");
    EXPECT_EQ(listed, "M0GPT,aM0,b-,eM1");
    EXPECT_EQ(disk.Count("open \\\\.\\PhysicalDrive0") + disk.Count("open \\\\.\\PhysicalDrive1"), 2u) << "each disk once";
    EXPECT_TRUE(disk.open.empty()) << "every device and event closed";
  }
}

// Start-up on real threads: the copy count on a worker while the window is made, its verdict
// handed to the window's thread, where only the count's own wake ends the wait when a copy
// refuses the start. A young copy marked after the first look is looked at twice.
TEST(StartUpThreads, TheCopyCountHandsOverAsOnOneThread) {
  using Fake = testing::FakeProcessApi;
  for (const bool marked : {true, false}) {
    for (int round = 0; round < 6; ++round) {
      testing::BasicTestProgram<ThreadedToolkit> t;
      t.drive.recording = false;  // the drives' workers share the fake
      t.drive.logicalDrives = testing::LetterMask("cd");
      t.process.snapshotNames = {"explorer.exe", "tarnvik.exe", "tarnvik.exe"};
      for (const uint32_t id : {Fake::kOwnId, Fake::kFirstSnapshotId + 1, Fake::kFirstSnapshotId + 2})
        t.process.createdAt[id] = 1'000'000'000;
      if (marked) t.process.mutexesFrom[NotACopyMarkName(Fake::kFirstSnapshotId + 2)] = 250;
      Main(t.program);
      EXPECT_EQ(t.tk.mainWindowsShown, marked ? 1 : 0) << "round " << round;
      EXPECT_EQ(t.process.sleeps.size(), marked ? 1u : 8u);
    }
  }
}

}  // namespace
}  // namespace tarnvik
