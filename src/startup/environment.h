// Where the program runs: its folder and the Windows version.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "startup/version_api.h"

namespace tarnvik {

class Program;

/// Sets AppFolder, OsFamily and OsVersion.
void InitEnvironment(Program& program);

/// Selector 0: the family ("DOS", "9x", "NT", "x7"); 1: "major.minor"; anything else, or a
/// failed query: the empty text.
std::string GetOsVersionText(VersionApi& api, int32_t selector);

/// The number a version text begins with (5.1 from "5.1", 10 from "10.0"); 0 when none.
double VersionNumber(std::string_view text);

}  // namespace tarnvik
