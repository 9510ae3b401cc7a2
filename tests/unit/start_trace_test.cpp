// The start-up trace: silent unless switched on, then one line per phase up to its last.
#include <gtest/gtest.h>

#include "base/start_trace.h"
#include "fakes/fake_trace_api.h"

namespace tarnvik {
namespace {

TEST(StartTraceTest, WritesOnlyWhenSwitchedOnAndStopsAtItsLastPhase) {
  struct Case {
    const char* name;
    std::string variable;
    int64_t created;  // 100 ns units; the system time at the anchor is 50 ms later
    std::string expected;
  };
  const Case cases[] = {
      {"off", "", 1'000'000, ""},
      {"on", "trace.txt", 1'000'000, "    50.000 ms  checks\r\n    62.045 ms  window shown\r\n  1050.000 ms  summary\r\n"},
      {"no creation time", "trace.txt", 0, "     0.000 ms  checks\r\n    12.045 ms  window shown\r\n  1000.000 ms  summary\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::FakeTraceApi api;
    api.variable = c.variable;
    api.created = c.created;
    api.systemTime = 1'500'000;
    StartTrace trace(api);
    trace.Mark("checks");
    api.counter = 12'045;
    trace.Mark("window shown");
    api.counter = 1'000'000;
    trace.Finish("summary");
    trace.Mark("a later refresh");
    EXPECT_EQ(api.file, c.expected);
    EXPECT_EQ(api.fileMade, !c.variable.empty());
    EXPECT_EQ(api.fileClosed, !c.variable.empty());
  }
}

}  // namespace
}  // namespace tarnvik
