// The start-up sequence.
#pragma once

#include <string_view>

namespace tarnvik {

class Program;

inline constexpr std::string_view kAppTitle = "QELM Tarnvik 1.2.0.2016.0";
inline constexpr std::string_view kAppVersion = "1.2.0.2016.0";
inline constexpr std::string_view kAppAuthor = "Orvald, QELM Soft";
inline constexpr std::string_view kRegistryKey = "SOFTWARE\\QELM Soft\\Tarnvik";

/// Runs once before the event loop. Returns with no form loaded when the program must not run.
void Main(Program& program);

}  // namespace tarnvik
