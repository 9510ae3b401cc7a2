// The management service reached through its COM interfaces (wbemprox's IWbemLocator).
#pragma once

#include <cstdint>
#include <memory>

#include "report/wmi_api.h"

namespace tarnvik::win {

/// Creates the locator in-process on the calling thread, which must already have COM
/// initialised (and process-wide security set) by its owner. Holds no service state between
/// calls: every object it hands out owns its own COM pointer and releases it when dropped.
class WinWmiApi final : public WmiApi {
 public:
  /// The longest a walk waits for one item before it counts as failed.
  static constexpr uint32_t kDefaultWalkTimeoutMs = 5000;

  WinWmiApi() = default;
  explicit WinWmiApi(uint32_t walkTimeoutMs) : walkTimeoutMs_(walkTimeoutMs) {}

  WmiResult CreateLocator(std::unique_ptr<WmiLocator>& locator) override;

 private:
  uint32_t walkTimeoutMs_ = kDefaultWalkTimeoutMs;
};

}  // namespace tarnvik::win
