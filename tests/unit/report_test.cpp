// A report as a value: its drives collected in order, and a JSON document made from it alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fake_drive_api.h"
#include "fakes/fake_wmi_api.h"
#include "report/report_json.h"
#include "report/report_queries.h"
#include "ui/toolkit/headless_toolkit.h"

namespace tarnvik {
namespace {

struct CollectCase {
  const char* name;
  std::vector<std::size_t> runFirst;  ///< held workers (C, D, E at first) run before the collection
  int stopAtWait;             ///< the wait that says stop (from 1); 0 for none
  char stopAtArrival;         ///< the letter whose arrival says stop; 0 for none
  std::string collected;
  bool complete;
};

TEST(CollectDrives, TakesTheDrivesInOrderOneCallEachAndStopsWhenTold) {
  const std::vector<CollectCase> cases = {
      {"in order", {}, 0, 0, "CDE", true},
      {"a late drive still comes in its place", {2, 0}, 0, 0, "CDE", true},  // E, C: D is late
      {"a stop while waiting keeps the drives before it", {}, 2, 0, "C", false},
      {"a stop on an arrival keeps that drive and those before it", {2, 0, 0}, 0, 'D', "CD", false},
  };
  for (const CollectCase& c : cases) {
    testing::FakeDriveApi drive;
    testing::FakeWmiApi wmi;
    toolkit::HeadlessToolkit workers;
    workers.holdBackgroundWork = true;
    LetterSet letters{};
    for (const char letter : std::string("cde")) {
      drive.drives[letter] = {};
      letters[static_cast<std::size_t>(letter - 'c' + 2)] = true;
    }
    const auto queries = ReportQueries::Start(workers, drive, wmi, letters, false);
    for (const std::size_t index : c.runFirst) workers.RunBackgroundWork(index);
    Report report{false, {}};
    int waits = 0;
    std::string arrivals;
    const bool complete = CollectDrives(
        *queries, report,
        [&] {
          if (++waits == c.stopAtWait) return false;
          workers.RunBackgroundWork(0);
          return true;
        },
        [&](const Report& sofar) {
          const char letter = static_cast<char>('A' + sofar.drives.back().index);
          arrivals += letter;
          return letter != c.stopAtArrival;
        });
    std::string collected;
    for (const ReportedDrive& d : report.drives) collected += static_cast<char>('A' + d.index);
    EXPECT_EQ(collected, c.collected) << c.name;
    EXPECT_EQ(arrivals, c.collected) << c.name << ": one call per drive, as it arrives";
    EXPECT_EQ(complete, c.complete) << c.name;
  }
}

TEST(ReportJson, MadeBeforeAnyTextCarriesTheCounts) {
  ReportedDrive sized{2, {}};
  sized.facts.answers.space = {1, 0, true};
  const ReportedDrive failed{3, {}};
  const std::string json = ReportJson(Report{true, {sized, failed, sized}});
  EXPECT_NE(json.find("\"driveCount\": 3,\r\n  \"sizedDriveCount\": 2\r\n}"), std::string::npos) << json;
}

}  // namespace
}  // namespace tarnvik
