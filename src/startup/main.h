// The start-up sequence.
#pragma once

#include <string_view>

#include "base/program_identity.h"

namespace tarnvik {

class Program;

/// Windows older than this version number, or of this family, are refused.
inline constexpr double kLowestWindowsVersion = 4;
inline constexpr std::string_view kRefusedWindowsFamily = "DOS";

/// The first steps of every run, with a window or without: names the application, reads the
/// environment, checks the Windows version and stamps the registry.
/// False, with nothing stamped, on a Windows the program does not run on.
bool BeginRun(Program& program);

/// Runs once before the event loop. Returns with no form loaded when the program must not run.
void Main(Program& program);

}  // namespace tarnvik
