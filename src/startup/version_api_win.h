// The Windows version query, answered by kernel32.
#pragma once

#include "startup/version_api.h"

namespace tarnvik::win {

/// GetVersionExA into the platform's own OSVERSIONINFOA; the record is copied out on success.
class WinVersionApi final : public VersionApi {
 public:
  int GetVersionExA(OsVersionInfoA& info) override;
};

}  // namespace tarnvik::win
