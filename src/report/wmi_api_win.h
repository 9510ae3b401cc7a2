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

  /// The longest the answer to one letter's object read is awaited. That read touches the
  /// letter's volume (its size, free space and label): a local disk answers in milliseconds and
  /// a sleeping disk or an optical disc spins up within about ten seconds, while a share whose
  /// server is gone holds the read for the redirector's timeouts (half a minute and more, again
  /// for each retry). Every later letter in no link waits behind this one, so the bound sits
  /// just above a spin-up: beyond it the letter's style is "Unknown".
  static constexpr uint32_t kDefaultGetTimeoutMs = 15000;

  WinWmiApi() = default;
  explicit WinWmiApi(uint32_t walkTimeoutMs, uint32_t getTimeoutMs = kDefaultGetTimeoutMs)
      : walkTimeoutMs_(walkTimeoutMs), getTimeoutMs_(getTimeoutMs) {}

  WmiResult JoinApartment(std::unique_ptr<WmiApartment>& apartment) override;
  WmiResult CreateLocator(std::unique_ptr<WmiLocator>& locator) override;

 private:
  uint32_t walkTimeoutMs_ = kDefaultWalkTimeoutMs;
  uint32_t getTimeoutMs_ = kDefaultGetTimeoutMs;
};

}  // namespace tarnvik::win
