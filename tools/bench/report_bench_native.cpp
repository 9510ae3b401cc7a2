// How long the report builder itself takes: a 26-drive report on the headless toolkit with
// operating-system answers that cost nothing, so what is measured is the text work (every
// line rewrites the whole box) plus the fact formatting. Prints microseconds per report.
//
//   report_bench_native [reports-per-run] [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fakes/test_program.h"
#include "ui/main_window/report_view.h"
#include "ui/main_window/report_window.h"

namespace {

using tarnvik::testing::FakeDrive;
using tarnvik::testing::TestProgram;

void SetUpMachine(TestProgram& t) {
  t.SetOsVersion("6.1");
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    FakeDrive d;
    d.label = std::string("VOLUME_") + letter;
    d.serial = 0x5A3C9E11u + static_cast<uint32_t>(letter);
    d.totalBytes = 499963170816ull + static_cast<uint64_t>(letter) * 1048577ull;
    d.freeBytes = 312538734592ull - static_cast<uint64_t>(letter) * 4097ull;
    t.drive.drives[letter] = d;
    t.wmi.disks[std::string(1, static_cast<char>(letter - 32)) + ":"].partitionTypes = {"GPT: Basic Data"};
  }
  t.drive.logicalDrives = (1u << 26) - 1;
  t.ui().OpenWindow();
  tarnvik::ShowWindowWithFirstReport(t.ui());
}

int IntArg(int argc, char** argv, int index, int fallback) {
  if (argc <= index) return fallback;
  const int value = std::atoi(argv[index]);
  return value > 0 ? value : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const int reportsPerRun = IntArg(argc, argv, 1, 200);
  const int runs = IntArg(argc, argv, 2, 15);

  TestProgram t;
  SetUpMachine(t);
  tarnvik::toolkit::TextBox& box = t.ui().Window()->Form().ReportBox();

  // One report to check the work is real before timing it.
  tarnvik::RefreshDriveReport(t.ui());
  const std::string sample = box.Text();
  if (sample.find(" Drives: \t  26  (26)\r\n") == std::string::npos) {
    std::fprintf(stderr, "the report is incomplete:\n%s\n", sample.c_str());
    return 1;
  }

  std::vector<double> perReport;
  std::size_t checksum = 0;
  for (int run = 0; run < runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < reportsPerRun; ++i) {
      tarnvik::RefreshDriveReport(t.ui());
      checksum += box.Text().size();
    }
    const auto stop = std::chrono::steady_clock::now();
    perReport.push_back(std::chrono::duration<double, std::micro>(stop - start).count() / reportsPerRun);
    // The fakes log every call; keep the logs from growing across runs.
    t.drive.calls.clear();
    t.drive.volumeBufferSizes.clear();
    t.wmi.objectPaths.clear();
    t.wmi.queries.clear();
    t.wmi.connects.clear();
  }

  std::sort(perReport.begin(), perReport.end());
  std::printf("26-drive report, %d runs of %d reports (%zu characters each)\n", runs, reportsPerRun, sample.size());
  std::printf("microseconds per report: median %.1f, min %.1f, max %.1f\n", perReport[perReport.size() / 2],
              perReport.front(), perReport.back());
  std::printf("checksum %zu\n", checksum);
  return 0;
}
