// The management service in memory: per drive, its partitions' types, and where it fails.
// Every object it hands out is counted while alive, so a test can tell that nothing survives.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <new>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "report/wmi_api.h"

namespace tarnvik::testing {

inline constexpr WmiResult kFakeFail = static_cast<WmiResult>(0x80004005);         // E_FAIL
inline constexpr WmiResult kFakeNotFound = static_cast<WmiResult>(0x80041002);     // WBEM_E_NOT_FOUND
inline constexpr WmiResult kFakeNoClass = static_cast<WmiResult>(0x80040154);      // REGDB_E_CLASSNOTREG
inline constexpr WmiResult kFakeNoAccess = static_cast<WmiResult>(0x80041003);     // WBEM_E_ACCESS_DENIED
inline constexpr WmiResult kFakeBadQuery = static_cast<WmiResult>(0x80041017);     // WBEM_E_INVALID_QUERY
inline constexpr WmiResult kFakeTimedOut = static_cast<WmiResult>(0x40004);        // WBEM_S_TIMEDOUT
inline constexpr WmiResult kFakeWaitTimedOut = static_cast<WmiResult>(0x80043001); // WBEM_E_TIMED_OUT
inline constexpr std::size_t kNever = static_cast<std::size_t>(-1);

struct FakeWmiDisk {
  std::vector<std::optional<std::string>> partitionTypes;  ///< nullopt: a Type that is not text
  /// What the logical disk's DeviceID property reads; unset: the key it is stored under.
  /// Set to a nullopt inside to make the DeviceID something other than text.
  std::optional<std::optional<std::string>> deviceId;
};

class FakeWmiApi : public WmiApi {
 public:
  std::map<std::string, FakeWmiDisk> disks;  ///< by DeviceID ("C:")

  // Failure points: the call fails with its usual error code.
  bool apartmentFails = false;
  /// The batch query (by its class) whose ExecQuery fails.
  std::string failingQueryClass;
  bool createFails = false, connectFails = false, getFails = false, deviceIdFails = false;
  bool execQueryFails = false, nextFails = false, typeFails = false;
  /// The Next call with this index (0 is the first) answers `nextAnswer` and gives no item.
  std::size_t nextFailsAt = kNever;
  WmiResult nextAnswer = kFakeFail;
  /// The logical disk (DeviceID) whose Get alone fails, as a dead share's would; onAsk runs
  /// at every Get and ExecQuery, with its path or query, before it answers.
  std::string failingGetId;
  std::function<void(const std::string&)> onAsk;
  /// Runs when a Get's answer is awaited, with its path; an answer other than kWmiOk is the wait's.
  std::function<WmiResult(const std::string&)> onWait;
  bool queryThrows = false;  ///< every ExecQuery throws, as a failed allocation would
  /// The Type read of the partition with this index fails.
  std::size_t typeFailsAt = kNever;
  // Calls that claim success but hand out no object.
  bool hollowLocator = false, hollowServices = false, hollowObject = false, hollowWalk = false,
       hollowItem = false;

  // What was asked, and how many objects are alive now.
  std::vector<std::string> objectPaths, queries, connects;
  int locatorsCreated = 0;
  int apartmentsJoined = 0;
  int apartmentsLeft = 0;
  int liveObjectsWhenLeaving = 0;  ///< summed over the apartments left: service objects still alive
  int liveObjects = 0;
  int peakLiveObjects = 0;
  int nextCalls = 0;
  int typesRead = 0;  ///< successful Type reads

  WmiResult JoinApartment(std::unique_ptr<WmiApartment>& apartment) override;
  WmiResult CreateLocator(std::unique_ptr<WmiLocator>& locator) override;

  const FakeWmiDisk* FindByDeviceId(const std::string& id) const {
    for (const auto& [key, disk] : disks) {
      const std::optional<std::string> read = disk.deviceId.value_or(key);
      if (read && *read == id) return &disk;
    }
    return nullptr;
  }
};

namespace detail {

class Counted {
 public:
  explicit Counted(FakeWmiApi& api) : api_(api) {
    if (++api_.liveObjects > api_.peakLiveObjects) api_.peakLiveObjects = api_.liveObjects;
  }
  virtual ~Counted() { --api_.liveObjects; }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;

 protected:
  FakeWmiApi& api_;
};

class Item final : public WmiObject, Counted {
 public:
  Item(FakeWmiApi& api, std::map<std::string, std::optional<std::string>> props, std::size_t index = 0)
      : Counted(api), props_(std::move(props)), index_(index) {}
  WmiResult GetText(const std::string& property, std::optional<std::string>& value) override {
    if (property == "Type" && (api_.typeFails || index_ == api_.typeFailsAt)) return kFakeFail;
    if (property == "DeviceID" && api_.deviceIdFails) return kFakeFail;
    const auto it = props_.find(property);
    if (it == props_.end()) return kFakeNotFound;
    value = it->second;
    if (property == "Type") ++api_.typesRead;
    return kWmiOk;
  }

 private:
  std::map<std::string, std::optional<std::string>> props_;
  std::size_t index_;
};

using Row = std::map<std::string, std::optional<std::string>>;

class Walk final : public WmiObjectWalk, Counted {
 public:
  Walk(FakeWmiApi& api, std::vector<Row> rows) : Counted(api), rows_(std::move(rows)) {}
  WmiResult Next(std::unique_ptr<WmiObject>& item) override {
    const std::size_t call = static_cast<std::size_t>(api_.nextCalls++);
    if (api_.nextFails) return kFakeFail;
    if (call == api_.nextFailsAt) return api_.nextAnswer;
    if (next_ >= rows_.size()) return kWmiFalse;
    const std::size_t index = next_++;
    if (!api_.hollowItem) item = std::make_unique<Item>(api_, rows_[index], index);
    return kWmiOk;
  }

 private:
  std::vector<Row> rows_;
  std::size_t next_ = 0;
};

/// The rows of the batch's three queries, made from the disks: partition j of the k-th disk
/// is "Disk #k, Partition #j"; references carry a namespace as the real service writes them.
inline std::vector<Row> BatchRows(const FakeWmiApi& api, const std::string& query) {
  std::vector<Row> rows;
  const bool disks = query.find("FROM Win32_LogicalDisk") != std::string::npos &&
                     query.find("ToPartition") == std::string::npos;
  const bool links = query.find("FROM Win32_LogicalDiskToPartition") != std::string::npos;
  const bool partitions = query.find("FROM Win32_DiskPartition") != std::string::npos;
  std::size_t diskNumber = 0;
  for (const auto& [key, disk] : api.disks) {
    const std::optional<std::string> id = disk.deviceId.value_or(key);
    if (disks) rows.push_back({{"DeviceID", id}});
    for (std::size_t j = 0; j < disk.partitionTypes.size(); ++j) {
      const std::string partition = "Disk #" + std::to_string(diskNumber) + ", Partition #" + std::to_string(j);
      if (links && id) {
        rows.push_back({{"Antecedent", "\\\\FAKE\\root\\cimv2:Win32_DiskPartition.DeviceID=\"" + partition + "\""},
                        {"Dependent", "\\\\FAKE\\root\\cimv2:Win32_LogicalDisk.DeviceID=\"" + *id + "\""}});
      }
      if (partitions) rows.push_back({{"DeviceID", partition}, {"Type", disk.partitionTypes[j]}});
    }
    ++diskNumber;
  }
  return rows;
}

// A Get's answer, ready when asked (as Wine's service gives it); its wait touches nothing shared.
struct Pending : WmiPendingObject, Counted {
  using Counted::Counted;
  WmiResult Wait(std::unique_ptr<WmiObject>& object) override {
    const WmiResult waited = api_.onWait ? api_.onWait(path) : kWmiOk;
    if (waited == kWmiOk) object = std::move(answer);
    return waited == kWmiOk ? answered : waited;
  }
  std::string path;
  WmiResult answered = kWmiOk;
  std::unique_ptr<WmiObject> answer;
};

class Services final : public WmiServices, Counted {
 public:
  using Counted::Counted;
  WmiResult StartGet(const std::string& objectPath, std::unique_ptr<WmiPendingObject>& pending) override {
    api_.objectPaths.push_back(objectPath);
    if (api_.onAsk) api_.onAsk(objectPath);
    auto answer = std::make_unique<Pending>(api_);
    answer->path = objectPath;
    answer->answered = Answer(objectPath, answer->answer);
    pending = std::move(answer);
    return kWmiOk;
  }
  WmiResult Answer(const std::string& objectPath, std::unique_ptr<WmiObject>& object) {
    const std::string prefix = "Win32_LogicalDisk.DeviceID='";
    if (api_.getFails || objectPath == prefix + api_.failingGetId + "'" || objectPath.rfind(prefix, 0) != 0 || objectPath.back() != '\'') return kFakeNotFound;
    const std::string id = objectPath.substr(prefix.size(), objectPath.size() - prefix.size() - 1);
    const auto it = api_.disks.find(id);
    if (it == api_.disks.end()) return kFakeNotFound;
    if (!api_.hollowObject) {
      object = std::make_unique<Item>(
          api_, std::map<std::string, std::optional<std::string>>{{"DeviceID", it->second.deviceId.value_or(id)}});
    }
    return kWmiOk;
  }
  WmiResult ExecQuery(const std::string& query, std::unique_ptr<WmiObjectWalk>& walk) override {
    api_.queries.push_back(query);
    if (api_.onAsk) api_.onAsk(query);
    if (api_.queryThrows) throw std::bad_alloc();
    if (api_.execQueryFails) return kFakeBadQuery;
    if (query.rfind("SELECT ", 0) == 0) {
      if (!api_.failingQueryClass.empty() && query.ends_with("FROM " + api_.failingQueryClass)) return kFakeBadQuery;
      if (!api_.hollowWalk) walk = std::make_unique<Walk>(api_, BatchRows(api_, query));
      return kWmiOk;
    }
    const std::string prefix = "ASSOCIATORS OF {Win32_LogicalDisk.DeviceID='";
    const auto end = query.find('\'', prefix.size());
    const std::string id = query.rfind(prefix, 0) == 0 && end != std::string::npos
                               ? query.substr(prefix.size(), end - prefix.size())
                               : std::string();
    const FakeWmiDisk* disk = api_.FindByDeviceId(id);
    if (!api_.hollowWalk) {
      std::vector<Row> rows;
      if (disk != nullptr) {
        for (const std::optional<std::string>& type : disk->partitionTypes) rows.push_back({{"Type", type}});
      }
      walk = std::make_unique<Walk>(api_, std::move(rows));
    }
    return kWmiOk;
  }
};

class Locator final : public WmiLocator, Counted {
 public:
  using Counted::Counted;
  WmiResult ConnectServer(const std::string& server, const std::string& nameSpace,
                          std::unique_ptr<WmiServices>& services) override {
    api_.connects.push_back(server + "|" + nameSpace);
    if (api_.connectFails) return kFakeNoAccess;
    if (!api_.hollowServices) services = std::make_unique<Services>(api_);
    return kWmiOk;
  }
};

class Apartment final : public WmiApartment {
 public:
  explicit Apartment(FakeWmiApi& api) : api_(api) { ++api_.apartmentsJoined; }
  ~Apartment() override {
    ++api_.apartmentsLeft;
    api_.liveObjectsWhenLeaving += api_.liveObjects;
  }

 private:
  FakeWmiApi& api_;
};

}  // namespace detail

inline WmiResult FakeWmiApi::JoinApartment(std::unique_ptr<WmiApartment>& apartment) {
  if (apartmentFails) return kFakeFail;
  apartment = std::make_unique<detail::Apartment>(*this);
  return kWmiOk;
}

inline WmiResult FakeWmiApi::CreateLocator(std::unique_ptr<WmiLocator>& locator) {
  if (createFails) return kFakeNoClass;
  ++locatorsCreated;
  if (!hollowLocator) locator = std::make_unique<detail::Locator>(*this);
  return kWmiOk;
}

}  // namespace tarnvik::testing
