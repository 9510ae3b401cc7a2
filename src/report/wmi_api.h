// The management-service calls of the partition-style query. Each object is owned by its
// unique_ptr, so every path releases what it obtained.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tarnvik {

/// COM-style result: negative is a failure. kWmiFalse ends a walk.
using WmiResult = int32_t;
inline constexpr WmiResult kWmiOk = 0;
inline constexpr WmiResult kWmiFalse = 1;
/// E_FAIL: a call that claimed success but handed out nothing.
inline constexpr WmiResult kWmiFailed = static_cast<WmiResult>(0x80004005u);

class WmiObject {
 public:
  virtual ~WmiObject() = default;
  /// Reads a property. `value` is set to its text, or to nullopt when the value is not text
  /// (null, a number, an array...).
  virtual WmiResult GetText(const std::string& property, std::optional<std::string>& value) = 0;
  /// Reads an unsigned integer property of 32 bits or fewer (the service hands a uint32 over
  /// as a signed 32-bit value; its bits are kept). `value` is set to it, or to nullopt when the
  /// value is not such a number (null, text...). An object that holds no numbers fails.
  virtual WmiResult GetNumber(const std::string& property, std::optional<uint32_t>& value) {
    static_cast<void>(property);
    static_cast<void>(value);
    return kWmiFailed;
  }
};

class WmiObjectWalk {
 public:
  virtual ~WmiObjectWalk() = default;
  /// kWmiOk and an item, kWmiFalse at the end, or a failure.
  virtual WmiResult Next(std::unique_ptr<WmiObject>& item) = 0;
};

/// The answer to one object read, which may still be on its way.
class WmiPendingObject {
 public:
  virtual ~WmiPendingObject() = default;
  /// Waits a bounded time for the object: kWmiOk and the object, or a failure (a timeout
  /// among them) and none. The wait stays the caller's alone; nothing of the service's
  /// shared state is touched while it lasts.
  virtual WmiResult Wait(std::unique_ptr<WmiObject>& object) = 0;
};

class WmiServices {
 public:
  virtual ~WmiServices() = default;
  /// Starts reading one object (semi-synchronously: on Windows this returns at once and the
  /// answer's Wait does the waiting).
  virtual WmiResult StartGet(const std::string& objectPath, std::unique_ptr<WmiPendingObject>& pending) = 0;
  /// StartGet and Wait in one.
  WmiResult Get(const std::string& objectPath, std::unique_ptr<WmiObject>& object) {
    std::unique_ptr<WmiPendingObject> pending;
    const WmiResult started = StartGet(objectPath, pending);
    if (started < 0) return started;
    if (!pending) return kWmiFailed;
    return pending->Wait(object);
  }
  virtual WmiResult ExecQuery(const std::string& query, std::unique_ptr<WmiObjectWalk>& walk) = 0;
};

class WmiLocator {
 public:
  virtual ~WmiLocator() = default;
  virtual WmiResult ConnectServer(const std::string& server, const std::string& nameSpace,
                                  std::unique_ptr<WmiServices>& services) = 0;
};

/// The calling thread's place in COM's multithreaded apartment; dropping it leaves.
class WmiApartment {
 public:
  virtual ~WmiApartment() = default;
};

/// Creates the locator object: the entry to the service.
class WmiApi {
 public:
  virtual ~WmiApi() = default;
  /// Mirrors CoInitializeEx for the multithreaded apartment on the calling thread (a thread that
  /// is in an apartment already keeps it). Every service object of the thread must be dropped
  /// before the apartment is.
  virtual WmiResult JoinApartment(std::unique_ptr<WmiApartment>& apartment) = 0;
  virtual WmiResult CreateLocator(std::unique_ptr<WmiLocator>& locator) = 0;
};

}  // namespace tarnvik
