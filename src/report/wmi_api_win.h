// The management service reached through its COM interfaces (wbemprox's IWbemLocator).
#pragma once

#include <cstdint>
#include <memory>

#include "report/wmi_api.h"

namespace tarnvik::win {

/// COM on the calling thread as the partition-style query needs it, undone when it goes out of
/// scope: a single-threaded apartment, and process-wide security that lets the management
/// service call back into this process with the caller's identity. Where security was already
/// set up, the existing setting stands.
class ComApartment {
 public:
  ComApartment();
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  /// False when COM could not be initialised on this thread.
  bool ok() const { return initialised_; }

 private:
  bool initialised_ = false;
};

/// Creates the locator in-process on the calling thread, which must already have COM
/// initialised (and process-wide security set) by its owner. Holds no service state between
/// calls: every object it hands out owns its own COM pointer and releases it when dropped.
class WinWmiApi final : public WmiApi {
 public:
  /// The longest a walk waits for one item before it counts as failed. A working service can
  /// be slow (its first query after boot takes tens of seconds, a disk may be spinning up):
  /// only one that is truly stuck waits this long.
  static constexpr uint32_t kDefaultWalkTimeoutMs = 60000;

  WinWmiApi() = default;
  explicit WinWmiApi(uint32_t walkTimeoutMs) : walkTimeoutMs_(walkTimeoutMs) {}

  WmiResult JoinApartment(std::unique_ptr<WmiApartment>& apartment) override;
  WmiResult CreateLocator(std::unique_ptr<WmiLocator>& locator) override;

 private:
  uint32_t walkTimeoutMs_ = kDefaultWalkTimeoutMs;
};

}  // namespace tarnvik::win
