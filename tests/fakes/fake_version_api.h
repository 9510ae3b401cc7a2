// The version query answering a chosen Windows version.
#pragma once

#include "startup/version_api.h"

namespace tarnvik::testing {

class FakeVersionApi : public VersionApi {
 public:
  bool ok = true;
  uint32_t major = 6, minor = 1, build = 7601, platform = 2;
  uint32_t sizeSeen = 0;

  int GetVersionExA(OsVersionInfoA& info) override {
    sizeSeen = info.dwOSVersionInfoSize;
    if (!ok) return 0;
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    info.dwBuildNumber = build;
    info.dwPlatformId = platform;
    return 1;
  }
};

}  // namespace tarnvik::testing
