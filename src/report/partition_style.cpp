// The partition-table style of one drive, asked of the management service: the logical disk's
// associated partitions and their types. Every object of the service lives in a local owner,
// so each path out of the query releases everything it obtained, in reverse order.
#include "report/partition_style.h"

#include <memory>
#include <optional>
#include <string>

#include "startup/text.h"

namespace tarnvik {

namespace {

constexpr const char* kServer = ".";
constexpr const char* kNameSpace = "root\\CIMV2";

bool Failed(WmiResult r) { return r < 0; }

// A type that cannot be read as text cannot begin with GPT; its partition still exists, so it
// counts as a partition of another kind.
bool IsGptType(const std::optional<std::string>& type) {
  if (!type) return false;
  const std::string trimmed = Trim(*type);
  return trimmed.size() > 2 && UpperCase(trimmed.substr(0, 3)) == "GPT";
}

std::string RemoveSpaces(std::string text) {
  std::erase(text, ' ');
  return text;
}

// "GPT", "MBR" or "RAW" when the service answers the whole question; nullopt on any failure on
// the way, including a walk that ends in an error or a timeout.
std::optional<std::string> AskService(WmiApi& wmi, const std::string& diskDeviceId) {
  std::unique_ptr<WmiServices> services;
  {
    // The locator is needed only to connect.
    std::unique_ptr<WmiLocator> locator;
    if (Failed(wmi.CreateLocator(locator)) || !locator) return std::nullopt;
    if (Failed(locator->ConnectServer(kServer, kNameSpace, services)) || !services) return std::nullopt;
  }

  std::optional<std::string> deviceId;
  {
    std::unique_ptr<WmiObject> logicalDisk;
    const std::string objectPath = "Win32_LogicalDisk.DeviceID='" + diskDeviceId + "'";
    if (Failed(services->Get(objectPath, logicalDisk)) || !logicalDisk) return std::nullopt;
    // A DeviceID that is not text gives no query that could name this disk.
    if (Failed(logicalDisk->GetText("DeviceID", deviceId)) || !deviceId) return std::nullopt;
  }

  std::unique_ptr<WmiObjectWalk> walk;
  const std::string query =
      "ASSOCIATORS OF {Win32_LogicalDisk.DeviceID='" + *deviceId + "'} WHERE ResultClass = Win32_DiskPartition";
  if (Failed(services->ExecQuery(query, walk)) || !walk) return std::nullopt;

  std::string style = "RAW";
  for (;;) {
    std::unique_ptr<WmiObject> partitionItem;
    const WmiResult step = walk->Next(partitionItem);
    if (step == kWmiFalse) break;
    // Anything but an item or the end (a failure, a timeout, a success without an item) means
    // the collection cannot be trusted.
    if (step != kWmiOk || !partitionItem) return std::nullopt;
    style = "MBR";
    std::optional<std::string> type;
    if (Failed(partitionItem->GetText("Type", type))) return std::nullopt;
    if (IsGptType(type)) return "GPT";  // the partitions after it are not read
  }
  return style;
}

}  // namespace

void QueryPartitionStyle(Fdfsm& m, WmiApi& wmi, const std::string& letter) {
  m.PartitionStyle = "Unknown";
  m.DiskDeviceId = RemoveSpaces(UpperCase(letter));
  if (m.DiskDeviceId.size() != 1 || m.DiskDeviceId[0] < 'A' || m.DiskDeviceId[0] > 'Z') return;
  m.DiskDeviceId += ":";
  m.PartitionStyle = AskService(wmi, m.DiskDeviceId).value_or("Unknown");
}

}  // namespace tarnvik
