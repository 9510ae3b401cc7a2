// The report on real threads, under ThreadSanitizer: start-up, a hand-over to the first report
// and refreshes, with every drive's worker on a thread of its own and answers after random
// delays. Each report must read as the same program gives on the test's own thread, and every
// wait must end by a wake within its time limit.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <ostream>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_cursor_api.h"
#include "fakes/fake_process_api.h"
#include "fakes/fake_registry_api.h"
#include "fakes/fake_version_api.h"
#include "fakes/fake_wmi_api.h"
#include "report/report_builder.h"
#include "startup/program.h"
#include "ui/main_window/fdfsg.h"
#include "ui/menu_form/fdfsf.h"
#include "ui/toolkit/headless_toolkit.h"

namespace tarnvik {
namespace {

void Pause() {
  thread_local std::minstd_rand random(static_cast<unsigned>(std::hash<std::thread::id>{}(std::this_thread::get_id())));
  std::this_thread::sleep_for(std::chrono::microseconds(random() % 1000));
}

// Every letter a fixed drive whose figures come from the letter alone; one letter's collector throws.
struct Drives final : DriveApi {
  char throwing = 0;
  int GetVolumeInformationA(const std::string& root, char* label, uint32_t labelSize, uint32_t* serial, uint32_t*,
                            uint32_t*, char* fileSystem, uint32_t fileSystemSize) override {
    Pause();
    if (root[0] == throwing) throw std::bad_alloc();
    if (label != nullptr && labelSize > 1) std::strcpy(label, root.substr(0, 1).c_str());
    if (fileSystem != nullptr && fileSystemSize > 4) std::strcpy(fileSystem, "NTFS");
    if (serial != nullptr) *serial = static_cast<uint32_t>(root[0]) * 0x01010101u;
    return 1;
  }
  int GetDiskFreeSpaceA(const std::string&, uint32_t* sectors, uint32_t* bytes, uint32_t*, uint32_t*) override {
    Pause();
    *sectors = 8;
    *bytes = 512;
    return 1;
  }
  int GetDiskFreeSpaceExA(const std::string& root, uint64_t* available, uint64_t* total, uint64_t* free) override {
    Pause();
    *total = uint64_t{1} << (root[0] - 'a' + 20);
    *available = *free = *total / 3;
    return 1;
  }
  uint32_t GetDriveTypeA(const std::string&) override { return kDriveFixed; }
};

// Background work on threads of its own; a wait that no wake ends within its limit throws.
class ThreadedToolkit final : public toolkit::HeadlessToolkit {
 public:
  ~ThreadedToolkit() override {
    for (std::thread& worker : workers_) worker.join();
  }
  bool RunInBackground(std::function<void()> work) override {
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

// The fakes go last, after every worker has been joined.
template <class Tk>
struct Rig {
  Drives drive;
  testing::FakeWmiApi wmi;  // touched inside the batch only, so unguarded as Wine's provider
  testing::FakeVersionApi version;
  testing::FakeRegistryApi registry;
  testing::FakeProcessApi process;
  testing::FakeCursorApi cursor;
  Tk tk;
  Program program{tk, OsApis{drive, version, registry, process, wmi, cursor}};

  // Start-up for `first`, a first report for `second`, then refreshes: every report's text.
  std::vector<std::string> Run(const std::string& first, const std::string& second, int refreshes) {
    program.FDFSM.OsVersion = "6.1";
    for (char letter : std::string("cdefgh")) wmi.disks[std::string(1, letter & ~0x20) + ":"].partitionTypes = {"GPT"};
    wmi.onAsk = [](const std::string&) { Pause(); };
    for (char letter : first) tk.driveEntries.push_back(std::string(1, letter) + ":");
    program.FDFSF().Window().Hide();
    StartDriveQueries(program);
    tk.driveEntries.clear();
    for (char letter : second) tk.driveEntries.push_back(std::string(1, letter) + ":");
    program.FDFSG().Window().Show();
    std::vector<std::string> texts;
    for (int report = 0; report <= refreshes; ++report) {
      RefreshDriveReport(program);
      texts.push_back(program.FDFSG().Window().Text1().Text());
    }
    return texts;
  }
};

struct Case {
  const char* name;
  std::string first, second;
  char throwingDrive = 0;
  bool batchThrows = false;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ReportThreads : public ::testing::TestWithParam<Case> {};

TEST_P(ReportThreads, GiveTheReportOfOneThread) {
  const Case& c = GetParam();
  for (int round = 0; round < 6; ++round) {
    Rig<toolkit::HeadlessToolkit> reference;
    Rig<ThreadedToolkit> threaded;
    for (auto* drive : {&reference.drive, &threaded.drive}) drive->throwing = c.throwingDrive;
    reference.wmi.queryThrows = threaded.wmi.queryThrows = c.batchThrows;
    const std::vector<std::string> texts = threaded.Run(c.first, c.second, 2);
    EXPECT_EQ(texts, reference.Run(c.second, c.second, 2)) << "round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ReportThreads,
                         ::testing::Values(Case{"ManyDrives", "cdefghijklmnop", "cdefghijklmnop"},
                                           Case{"OneDrive", "c", "c"},
                                           Case{"LettersChangeAtHandOver", "cdefghij", "defghijkl"},
                                           Case{"DriveThrows", "cdefg", "cdefg", 'e'},
                                           Case{"BatchThrows", "cdef", "cdefg", 0, true}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace tarnvik
