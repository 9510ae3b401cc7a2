// The Windows release the program runs on, as the questions about it need it.
#pragma once

#include <cstdint>
#include <string>

namespace tarnvik {

/// What the version query answered: 10.0 build 19045 "" or 5.1 build 2600 "Service Pack 3".
struct WindowsVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  std::string servicePack = {};  ///< the query's service-pack text, "" for none

  /// At least major.minor: 6.1 is Windows 7 and Server 2008 R2.
  bool AtLeast(uint32_t wantMajor, uint32_t wantMinor) const {
    return major != wantMajor ? major > wantMajor : minor >= wantMinor;
  }
};

}  // namespace tarnvik
