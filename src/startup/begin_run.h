// The first steps of every run, with a window or without.
#pragma once

#include <string>
#include <string_view>

#include "startup/environment.h"
#include "startup/registry_api.h"
#include "startup/version_api.h"

namespace tarnvik {

/// Windows older than this version number, or of this family, are refused.
inline constexpr double kLowestWindowsVersion = 4;
inline constexpr std::string_view kRefusedWindowsFamily = "DOS";

/// Reads the environment of a program in `programFolder` into `env`, checks the Windows version
/// and stamps the registry. False, with nothing stamped, on a Windows the program does not run on.
bool BeginRun(const std::string& programFolder, VersionApi& version, RegistryApi& registry, Environment& env);

}  // namespace tarnvik
