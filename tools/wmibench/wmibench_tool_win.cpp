// wmibench: what one drive's partition-style query costs next to the rest of that drive's
// block (volume, cluster, space and type calls), with the query split into its phases, so the
// slow part of start-up can be named.
//
//   wmibench [letter] [runs]     default: c 30
//
// Prints a table of median, minimum and maximum times in milliseconds. The first query of the
// process is shown on its own: it loads the service's libraries and is paid once at start-up.
// COM is set up the way the program's entry point does it.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/win32_win.h"
#include "report/drive_api_win.h"
#include "report/partition_style.h"
#include "report/wmi_api_win.h"


namespace {

using tarnvik::WmiLocator;
using tarnvik::WmiObject;
using tarnvik::WmiObjectWalk;
using tarnvik::WmiResult;
using tarnvik::WmiServices;

class Stopwatch {
 public:
  Stopwatch() { ::QueryPerformanceCounter(&start_); }
  double Ms() const {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
  }

 private:
  LARGE_INTEGER start_;
};

struct Samples {
  std::string name;
  std::vector<double> ms;
  double Median() const {
    if (ms.empty()) return 0;
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  }
  double Min() const { return ms.empty() ? 0 : *std::min_element(ms.begin(), ms.end()); }
  double Max() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
};

void PrintRow(const Samples& s) {
  std::printf("  %-34s %9.3f %9.3f %9.3f\n", s.name.c_str(), s.Median(), s.Min(), s.Max());
}

void PrintHeader(const char* title) {
  std::printf("\n%s\n  %-34s %9s %9s %9s\n", title, "step", "median", "min", "max");
}

// One query taken apart: the same calls, in the same order, as the partition-style query,
// timed one by one. Fills `times` (one entry per phase) and says whether every phase succeeded.
enum Phase { kCreate, kConnect, kGet, kDeviceId, kExecQuery, kWalk, kRelease, kPhaseCount };
const char* const kPhaseNames[kPhaseCount] = {
    "locator creation",  "connection (ConnectServer)", "Get (logical disk)", "DeviceID read",
    "ExecQuery (call)",  "walk (Next + Type reads)",   "release of all objects",
};

bool TimedQuery(tarnvik::WmiApi& wmi, const std::string& deviceId, double (&times)[kPhaseCount], int& partitions) {
  std::fill(std::begin(times), std::end(times), 0.0);
  partitions = 0;
  std::unique_ptr<WmiLocator> locator;
  std::unique_ptr<WmiServices> services;
  std::unique_ptr<WmiObject> disk;
  std::unique_ptr<WmiObjectWalk> walk;
  bool ok = true;
  {
    Stopwatch w;
    ok = wmi.CreateLocator(locator) >= 0 && locator;
    times[kCreate] = w.Ms();
  }
  if (ok) {
    Stopwatch w;
    ok = locator->ConnectServer(".", "root\\CIMV2", services) >= 0 && services;
    times[kConnect] = w.Ms();
  }
  if (ok) {
    Stopwatch w;
    ok = services->Get("Win32_LogicalDisk.DeviceID='" + deviceId + "'", disk) >= 0 && disk;
    times[kGet] = w.Ms();
  }
  std::optional<std::string> id;
  if (ok) {
    Stopwatch w;
    ok = disk->GetText("DeviceID", id) >= 0 && id;
    times[kDeviceId] = w.Ms();
  }
  if (ok) {
    Stopwatch w;
    ok = services->ExecQuery(
             "ASSOCIATORS OF {Win32_LogicalDisk.DeviceID='" + *id + "'} WHERE ResultClass = Win32_DiskPartition",
             walk) >= 0 &&
         walk;
    times[kExecQuery] = w.Ms();
  }
  if (ok) {
    Stopwatch w;
    for (;;) {
      std::unique_ptr<WmiObject> item;
      const WmiResult r = walk->Next(item);
      if (r == tarnvik::kWmiFalse) break;
      if (r != tarnvik::kWmiOk || !item) {
        ok = false;
        break;
      }
      std::optional<std::string> type;
      item->GetText("Type", type);
      ++partitions;
    }
    times[kWalk] = w.Ms();
  }
  Stopwatch w;
  walk.reset();
  disk.reset();
  services.reset();
  locator.reset();
  times[kRelease] = w.Ms();
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::string letter = "c";
  int runs = 30;
  if (argc > 1 && argv[1][0] != L'\0') letter = std::string(1, static_cast<char>(std::towlower(argv[1][0])));
  if (argc > 2) runs = std::max(1, static_cast<int>(std::wcstol(argv[2], nullptr, 10)));
  const std::string root = letter + ":\\";
  const std::string deviceId = std::string(1, static_cast<char>(std::toupper(letter[0]))) + ":";

  const tarnvik::win::ComApartment com;
  if (!com.ok()) {
    std::fprintf(stderr, "wmibench: COM could not be initialised\n");
    return 1;
  }

  tarnvik::win::WinWmiApi wmi;
  tarnvik::win::WinDriveApi drives;

  // The first query of the process, phase by phase.
  double cold[kPhaseCount];
  int partitions = 0;
  const bool coldOk = TimedQuery(wmi, deviceId, cold, partitions);

  std::vector<Samples> phases(kPhaseCount);
  for (int p = 0; p < kPhaseCount; ++p) phases[p].name = kPhaseNames[p];
  Samples wholeQuery{"whole query (QueryPartitionStyle)", {}};
  Samples batch{"every drive (QueryPartitionStyles)", {}};
  Samples volume{"GetVolumeInformation", {}}, cluster{"GetDiskFreeSpace", {}}, space{"GetDiskFreeSpaceEx", {}},
      type{"GetDriveType", {}}, rest{"rest of the block (sum of four)", {}};
  std::string style;
  int failures = 0;

  for (int run = 0; run < runs; ++run) {
    double times[kPhaseCount];
    int found = 0;
    if (!TimedQuery(wmi, deviceId, times, found)) ++failures;
    for (int p = 0; p < kPhaseCount; ++p) phases[p].ms.push_back(times[p]);

    {
      Stopwatch w;
      style = tarnvik::QueryPartitionStyle(wmi, letter);
      wholeQuery.ms.push_back(w.Ms());
    }
    {
      Stopwatch w;
      const tarnvik::PartitionStyles all = tarnvik::QueryPartitionStyles(wmi);
      batch.ms.push_back(w.Ms());
      if (all[static_cast<std::size_t>(deviceId[0] - 'A')] != style) ++failures;  // the two must agree
    }

    char label[256] = {}, fileSystem[256] = {};
    uint32_t serial = 0, maxComponent = 0, flags = 0, sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
    uint64_t available = 0, total = 0, totalFree = 0;
    double sum = 0;
    {
      Stopwatch w;
      drives.GetVolumeInformationA(root, label, 255, &serial, &maxComponent, &flags, fileSystem, 255);
      volume.ms.push_back(w.Ms());
      sum += volume.ms.back();
    }
    {
      Stopwatch w;
      drives.GetDiskFreeSpaceA(root, &sectors, &bytes, &freeClusters, &clusters);
      cluster.ms.push_back(w.Ms());
      sum += cluster.ms.back();
    }
    {
      Stopwatch w;
      drives.GetDiskFreeSpaceExA(std::string(1, letter[0]) + ":\\", &available, &total, &totalFree);
      space.ms.push_back(w.Ms());
      sum += space.ms.back();
    }
    {
      Stopwatch w;
      drives.GetDriveTypeA(root);
      type.ms.push_back(w.Ms());
      sum += type.ms.back();
    }
    rest.ms.push_back(sum);
  }

  std::printf("wmibench: drive %s, %d runs, answer \"%s\", %d partition(s), %d failed phase run(s)\n",
              deviceId.c_str(), runs, style.c_str(), partitions, failures);

  double coldTotal = 0;
  std::printf("\nfirst query of the process (ms)%s\n", coldOk ? "" : "  [a phase failed]");
  for (int p = 0; p < kPhaseCount; ++p) {
    std::printf("  %-34s %9.3f\n", kPhaseNames[p], cold[p]);
    coldTotal += cold[p];
  }
  std::printf("  %-34s %9.3f\n", "total", coldTotal);

  PrintHeader("partition query, later queries (ms)");
  for (const Samples& s : phases) PrintRow(s);
  PrintRow(wholeQuery);
  PrintRow(batch);

  PrintHeader("rest of the drive block (ms)");
  PrintRow(volume);
  PrintRow(cluster);
  PrintRow(space);
  PrintRow(type);
  PrintRow(rest);

  const double ratio = rest.Median() > 0 ? wholeQuery.Median() / rest.Median() : 0;
  std::printf("\npartition query / rest of block (medians): %.1fx\n", ratio);

  return 0;
}
