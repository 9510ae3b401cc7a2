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
#include "startup/main.h"
#include "startup/process_scan.h"
#include "ui/main_window/report_view.h"
#include "ui/main_window/report_window.h"

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
    for (std::thread& worker : workers_) worker.join();
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
