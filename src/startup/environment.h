// Where the program runs: its folder and the Windows version.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "startup/version_api.h"

namespace tarnvik {

/// Where the program runs, read once at start.
struct Environment {
  std::string appFolder;  ///< the program's folder, ending in one "\"; empty when unknown
  std::string osFamily;   ///< "DOS", "9x", "NT" or "x7"; empty when the query failed
  std::string osVersion;  ///< "major.minor"; empty when the query failed

  /// The report's blocks carry the partition style: Windows 5 and later.
  bool PartitionStylesShown() const;
};

/// The environment of a program in `programFolder` (the toolkit's Path) on the Windows that
/// `api` describes.
Environment ReadEnvironment(const std::string& programFolder, VersionApi& api);

/// Selector 0: the family ("DOS", "9x", "NT", "x7"); 1: "major.minor"; anything else, or a
/// failed query: the empty text.
std::string GetOsVersionText(VersionApi& api, int32_t selector);

/// The number a version text begins with (5.1 from "5.1", 10 from "10.0"); 0 when none.
double VersionNumber(std::string_view text);

}  // namespace tarnvik
