// Where and when a report was taken: the machine's names, the time and its architecture.
#pragma once

#include <optional>
#include <string>

#include "report/machine_api.h"

namespace tarnvik {

struct MachineFacts {
  std::optional<std::string> computerName;  ///< the machine's own NetBIOS name, never a cluster's
  std::optional<std::string> dnsHostName;   ///< fully qualified, likewise; empty where Windows knows none
  std::string takenUtc;                     ///< "2026-12-09T18:55:12Z"
  std::optional<std::string> architecture;  ///< the machine's: "x86", "x64" or "ARM64"
  std::optional<bool> elevated = {};        ///< the run has administrator rights

  bool operator==(const MachineFacts&) const = default;
};

/// Asks the machine's names, the time now and the machine's architecture; `elevated` is the
/// run's rights as QueryElevation told them, asked once before the drives (BitLocker needs them).
MachineFacts QueryMachine(MachineApi& api, std::optional<bool> elevated);

/// Whether the run has administrator rights; empty when the question failed.
std::optional<bool> QueryElevation(MachineApi& api);

/// ISO 8601 in UTC to the second: "2026-12-09T18:55:12Z".
std::string UtcText(const SystemTime& time);

/// The machine's architecture: IsWow64Process2's native machine where Windows has the call,
/// otherwise GetNativeSystemInfo's. Empty for any other architecture.
std::optional<std::string> MachineArchitecture(MachineApi& api);

}  // namespace tarnvik
