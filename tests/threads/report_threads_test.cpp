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

#include "fakes/test_program.h"
#include "report/report_queries.h"
#include "ui/main_window/report_view.h"
#include "ui/main_window/report_window.h"
#include "ui/menu_form/command_menu.h"

namespace tarnvik {
namespace {

void Pause() {
  thread_local std::minstd_rand random(static_cast<unsigned>(std::hash<std::thread::id>{}(std::this_thread::get_id())));
  std::this_thread::sleep_for(std::chrono::microseconds(random() % 1000));
}

// Background work on threads of its own; a wait that no wake ends within its limit throws.
class ThreadedToolkit final : public toolkit::HeadlessToolkit {
 public:
  ~ThreadedToolkit() override {
    // A worker may start another (a disk question its deadline): join until none is left.
    for (;;) {
      std::vector<std::thread> started;
      {
        const std::lock_guard lock(mutex_);
        started.swap(workers_);
      }
      if (started.empty()) return;
      for (std::thread& worker : started) worker.join();
    }
  }
  bool RunInBackground(std::function<void()> work) override {
    const std::lock_guard lock(mutex_);
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
  for (char letter : first) t.tk.driveEntries.push_back(std::string(1, letter) + ":");
  t.program.forms.Menu().Form().Hide();
  StartDriveQueries(t.program.forms);
  t.tk.driveEntries.clear();
  for (char letter : c.second) t.tk.driveEntries.push_back(std::string(1, letter) + ":");
  t.program.forms.Window().Form().Show();
  std::vector<std::string> texts;
  for (int report = 0; report < 3; ++report) {
    RefreshDriveReport(t.program.forms);
    texts.push_back(t.program.forms.Window().Form().ReportBox().Text());
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

// A /json run's disk questions on real threads: two letters on each disk, which is asked once;
// the first disk never answers, so its letters go without once their deadline's worker wakes
// the waiting thread, and the other letters keep their disks.
TEST(DiskThreads, EachDiskAskedOnceAndAHungOneLeftOutAtItsDeadline) {
  for (int round = 0; round < 4; ++round) {
    testing::FakeDriveApi drive;
    testing::FakeWmiApi wmi;
    testing::FakeDiskApi disk;
    std::mutex hold;
    std::condition_variable released;
    bool release = false;
    const std::string hungAsk = "io \\\\.\\PhysicalDrive0 2954240 0";
    ThreadedToolkit tk;  // joins its workers first, while everything above still stands
    const std::shared_ptr<void> releaseAtEnd(nullptr, [&](void*) {  // before the join, even on a throw
      const std::lock_guard lock(hold);
      release = true;
      released.notify_all();
    });
    drive.recording = false;
    drive.onCall = [](const std::string&) { Pause(); };
    disk.realWaits = true;
    disk.onIo = [&](const std::string& call) {
      Pause();
      std::unique_lock lock(hold);
      if (call == hungAsk) released.wait(lock, [&] { return release; });
    };
    LetterSet letters{};
    for (int index = 2; index < 8; ++index) {
      letters[static_cast<std::size_t>(index)] = true;
      drive.drives[static_cast<char>('a' + index)] = {};
      std::vector<unsigned char> extents(32);
      extents[0] = 1, extents[8] = static_cast<unsigned char>(index / 2 - 1);  // C D on 0, E F on 1, G H on 2
      disk.answers[{std::string("\\\\.\\") + static_cast<char>('A' + index) + ":",
                    ioctl::kVolumeGetVolumeDiskExtents, ~0u}] = {extents};
    }
    const auto queries = ReportQueries::Start(tk, drive, wmi, letters, false, DiskQuestions{disk, {10, 0}, 200});
    Report report;
    CollectDrives(*queries, report, [&] { return tk.WaitEvents(), true; }, [](const Report&) { return true; });
    std::string disks;
    for (const ReportedDrive& d : report.drives) disks += d.facts.disk ? std::to_string(d.facts.disk->numbers[0]) : "-";
    EXPECT_EQ(disks, "--1122") << "round " << round;
    for (const char n : std::string("012"))
      EXPECT_EQ(disk.Count(std::string("open \\\\.\\PhysicalDrive") + n), 1u) << n << ", round " << round;
  }
}

}  // namespace
}  // namespace tarnvik
