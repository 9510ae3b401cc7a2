// The start-up sequence.
#pragma once

#include <string_view>

#include "tarnvik_version.h"

namespace tarnvik {

class Program;

inline constexpr std::string_view kAppName = "Tarnvik";
inline constexpr std::string_view kAppTitle = "QELM Tarnvik " TARNVIK_DISPLAY_VERSION;
inline constexpr std::string_view kAppVersion = TARNVIK_DISPLAY_VERSION;
inline constexpr std::string_view kAppAuthor = "Orvald, QELM Soft";
/// The maker's home page (a reserved .example domain: never anybody's real site).
inline constexpr std::string_view kAppHomePage = "http://qelmsoft.example/tarnvik";
inline constexpr std::string_view kRegistryKey = "SOFTWARE\\QELM Soft\\Tarnvik";
/// The executable name whose running copies are counted, besides the program's own name.
inline constexpr std::string_view kFixedProcessName = "TARNVIK.EXE";
/// Windows older than this version number, or of this family, are refused.
inline constexpr double kLowestWindowsVersion = 4;
inline constexpr std::string_view kRefusedWindowsFamily = "DOS";

/// The first steps of every run, with a window or without: names the application, resets the
/// module state, learns the environment, checks the Windows version and stamps the registry.
/// False, with nothing stamped, on a Windows the program does not run on.
bool BeginRun(Program& program);

/// Runs once before the event loop. Returns with no form loaded when the program must not run.
void Main(Program& program);

}  // namespace tarnvik
