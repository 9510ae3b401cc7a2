// Who the program is: its name, version, title and maker, where it keeps its registry values,
// and the executable name its copies are counted by. The report, the About box and start-up
// all read these.
#pragma once

#include <string_view>

#include "tarnvik_version.h"

namespace tarnvik {

inline constexpr std::string_view kAppName = "Tarnvik";
inline constexpr std::string_view kAppTitle = "QELM Tarnvik " TARNVIK_DISPLAY_VERSION;
inline constexpr std::string_view kAppVersion = TARNVIK_DISPLAY_VERSION;
inline constexpr std::string_view kAppAuthor = "Orvald, QELM Soft";
/// The maker's home page (a reserved .example domain: never anybody's real site).
inline constexpr std::string_view kAppHomePage = "http://qelmsoft.example/tarnvik";
inline constexpr std::string_view kRegistryKey = "SOFTWARE\\QELM Soft\\Tarnvik";
/// The executable name whose running copies are counted, besides the program's own name.
inline constexpr std::string_view kFixedProcessName = "TARNVIK.EXE";

}  // namespace tarnvik
