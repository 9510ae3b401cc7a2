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

TEST(CollectDrives, TakesTheDrivesInOrderOneCallEachAndStopsWhenTold) {
  struct Case {
    const char* name;
    std::vector<std::size_t> runFirst;  ///< held workers (C, D, E at first) run before collecting
    int stopAtWait;                     ///< the wait that says stop (from 1); 0 for none
    char stopAtArrival;                 ///< the drive whose arrival says stop; 0 for none
    std::string collected;
  };
  const std::vector<Case> cases = {
      {"in order", {}, 0, 0, "CDE"},
      {"a late drive still comes in its place", {2, 0}, 0, 0, "CDE"},  // E and C first: D is late
      {"a stop while waiting keeps the drives before it", {}, 2, 0, "C"},
      {"a stop on an arrival keeps that drive and those before it", {2, 0, 0}, 0, 'D', "CD"},
  };
  for (const Case& c : cases) {
    testing::FakeDriveApi drive;
    testing::FakeWmiApi wmi;
    toolkit::HeadlessToolkit workers;
    workers.holdBackgroundWork = true;
    LetterSet letters{};
    for (const char letter : std::string("cde")) drive.drives[letter] = {}, letters[letter - 'a'] = true;
    const auto queries = ReportQueries::Start(workers, drive, wmi, letters, false);
    for (const std::size_t index : c.runFirst) workers.RunBackgroundWork(index);
    Report report;
    int waits = 0;
    std::string arrivals;
    const auto wait = [&] { return ++waits != c.stopAtWait && (workers.RunBackgroundWork(0), true); };
    const auto arrived = [&](const Report& sofar) {
      arrivals += static_cast<char>('A' + sofar.drives.back().index);
      return arrivals.back() != c.stopAtArrival;
    };
    const bool complete = CollectDrives(*queries, report, wait, arrived);
    std::string collected;
    for (const ReportedDrive& d : report.drives) collected += static_cast<char>('A' + d.index);
    EXPECT_EQ(collected, c.collected) << c.name;
    EXPECT_EQ(arrivals, c.collected) << c.name << ": one call per drive, as it arrives";
    EXPECT_EQ(complete, c.collected == "CDE" && c.stopAtArrival == 0) << c.name;
  }
}

TEST(ReportJson, MadeBeforeAnyTextCarriesTheCounts) {
  ReportedDrive sized{2, {}};
  sized.facts.answers.space = {1, 0, true};
  const std::string json = ReportJson(Report{true, {sized, ReportedDrive{3, {}}, sized}});
  EXPECT_NE(json.find("\"driveCount\": 3,\r\n  \"sizedDriveCount\": 2\r\n}"), std::string::npos) << json;
}

}  // namespace
}  // namespace tarnvik
