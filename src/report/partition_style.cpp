// The partition-table style of drives, asked of the management service: the logical disk's
// associated partitions and their types, one drive at a time or all drives in one batch. Every
// object of the service lives in a local owner, so each path out of a query releases
// everything it obtained, in reverse order.
#include "report/partition_style.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/lock.h"
#include "base/text.h"

namespace tarnvik {

namespace {

constexpr const char* kServer = ".";
constexpr const char* kNameSpace = "root\\CIMV2";

bool Failed(WmiResult r) { return r < 0; }

// Held by a batch for all its time but the wait for one letter's answer.
using BatchLock = std::unique_lock<Lock>;

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

// The services of the local machine's namespace, or null when the service cannot be reached.
std::unique_ptr<WmiServices> Connect(WmiApi& wmi) {
  // The locator is needed only to connect.
  std::unique_ptr<WmiLocator> locator;
  std::unique_ptr<WmiServices> services;
  if (Failed(wmi.CreateLocator(locator)) || !locator) return nullptr;
  if (Failed(locator->ConnectServer(kServer, kNameSpace, services))) return nullptr;
  return services;
}

// "GPT", "MBR" or "RAW" when the service answers the whole question; nullopt on any failure on
// the way, including a walk that ends in an error or a timeout.
std::optional<std::string> AskService(WmiApi& wmi, const std::string& diskDeviceId) {
  const std::unique_ptr<WmiServices> services = Connect(wmi);
  if (!services) return std::nullopt;

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

// ---- The batch ----

constexpr const char* kLinkQuery = "SELECT Antecedent, Dependent FROM Win32_LogicalDiskToPartition";
constexpr const char* kPartitionQuery = "SELECT DeviceID, Type FROM Win32_DiskPartition";

// Runs `query` and hands every item to `take`; false when the query or its walk failed (an
// error, a timeout, a success without an item) or `take` refused an item.
bool WalkQuery(WmiServices& services, const std::string& query, const std::function<bool(WmiObject&)>& take) {
  std::unique_ptr<WmiObjectWalk> walk;
  if (Failed(services.ExecQuery(query, walk)) || !walk) return false;
  for (;;) {
    std::unique_ptr<WmiObject> item;
    const WmiResult step = walk->Next(item);
    if (step == kWmiFalse) return true;
    if (step != kWmiOk || !item || !take(*item)) return false;
  }
}

std::optional<std::string> ReadText(WmiObject& object, const std::string& property) {
  std::optional<std::string> value;
  if (Failed(object.GetText(property, value))) return std::nullopt;
  return value;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && UpperCase(std::string(text.substr(0, prefix.size()))) == UpperCase(std::string(prefix));
}

}  // namespace

std::optional<std::string> DeviceIdOfPath(std::string_view path, std::string_view className) {
  // The namespace ends at the first colon when that stands before the class's dot; a colon
  // after the dot belongs to the key's value ("C:").
  const std::size_t colon = path.find(':');
  const std::size_t dot = path.find('.');
  if (colon != std::string_view::npos && dot != std::string_view::npos && colon < dot) path.remove_prefix(colon + 1);
  const std::string head = std::string(className) + ".DeviceID=";
  if (!StartsWithNoCase(path, head)) return std::nullopt;
  path.remove_prefix(head.size());
  if (path.size() < 2 || (path.front() != '"' && path.front() != '\'')) return std::nullopt;
  const char quote = path.front();
  std::string value;
  for (std::size_t i = 1; i < path.size(); ++i) {
    const char c = path[i];
    if (c == '\\' && i + 1 < path.size()) {
      value += path[++i];
    } else if (c == quote) {
      if (i + 1 != path.size()) return std::nullopt;
      return value;
    } else {
      value += c;
    }
  }
  return std::nullopt;  // no closing quote
}

namespace {

enum class PartitionKind { Gpt, Other, Unreadable };

// What the two batch queries told, keyed by upper-case identifiers. Neither touches a volume.
struct ServiceAnswers {
  std::vector<std::pair<std::string, std::string>> links;  // (logical disk, partition), in walk order
  std::map<std::string, PartitionKind> partitions;

  bool Linked(const std::string& diskDeviceId) const {
    for (const auto& link : links) {
      if (link.first == diskDeviceId) return true;
    }
    return false;
  }

  // The style of a disk that some link names, and so one the service knows.
  std::string StyleOf(const std::string& diskDeviceId) const {
    std::string style = "RAW";
    for (const auto& [disk, partition] : links) {
      if (disk != diskDeviceId) continue;
      // A link to a partition the service does not list names nothing the query could walk.
      const auto found = partitions.find(partition);
      if (found == partitions.end()) continue;
      if (found->second == PartitionKind::Unreadable) return "Unknown";
      if (found->second == PartitionKind::Gpt) return "GPT";
      style = "MBR";
    }
    return style;
  }
};

std::string DiskDeviceIdOf(std::size_t index) { return std::string(1, static_cast<char>('A' + index)) + ":"; }

std::optional<ServiceAnswers> AskLinksAndPartitions(WmiServices& services) {
  ServiceAnswers answers;
  const bool linksRead = WalkQuery(services, kLinkQuery, [&](WmiObject& link) {
    const std::optional<std::string> antecedent = ReadText(link, "Antecedent");
    const std::optional<std::string> dependent = ReadText(link, "Dependent");
    if (!antecedent || !dependent) return false;
    const std::optional<std::string> partition = DeviceIdOfPath(*antecedent, "Win32_DiskPartition");
    const std::optional<std::string> disk = DeviceIdOfPath(*dependent, "Win32_LogicalDisk");
    if (!partition || !disk) return false;
    answers.links.emplace_back(UpperCase(*disk), UpperCase(*partition));
    return true;
  });
  if (!linksRead) return std::nullopt;

  const bool partitionsRead = WalkQuery(services, kPartitionQuery, [&](WmiObject& partition) {
    const std::optional<std::string> id = ReadText(partition, "DeviceID");
    if (!id) return false;
    std::optional<std::string> type;
    PartitionKind kind = PartitionKind::Unreadable;
    if (!Failed(partition.GetText("Type", type))) kind = IsGptType(type) ? PartitionKind::Gpt : PartitionKind::Other;
    answers.partitions.emplace(UpperCase(*id), kind);
    return true;
  });
  if (!partitionsRead) return std::nullopt;
  return answers;
}

// A disk in no link has no partition the one-drive query could walk: "RAW" when the service
// knows it as a logical disk whose DeviceID is text, as that query needs. Asked of this one
// disk, so that only its own volume is touched; "Unknown" when the answer does not come within
// the services' bound. `lock` keeps batches apart and is let go for the wait, the one that
// touches a volume and so may last (a share whose server is gone): a batch stuck in it holds
// up only the letters after it in its own batch, never the next report's batch.
std::string StyleOfUnlinked(WmiServices& services, const std::string& diskDeviceId, BatchLock& lock) {
  std::unique_ptr<WmiPendingObject> pending;
  if (Failed(services.StartGet("Win32_LogicalDisk.DeviceID='" + diskDeviceId + "'", pending)) || !pending) {
    return "Unknown";
  }
  std::unique_ptr<WmiObject> logicalDisk;
  lock.unlock();
  const WmiResult waited = pending->Wait(logicalDisk);
  lock.lock();
  return !Failed(waited) && logicalDisk && ReadText(*logicalDisk, "DeviceID") ? "RAW" : "Unknown";
}

// Delivers every asked letter once, or leaves the undelivered ones to the caller when the
// service cannot be reached or a batch walk fails.
void AskServiceForAll(WmiApi& wmi, const PartitionLetters& letters, const PartitionStyleSink& deliver,
                      const std::function<bool(std::size_t)>& stillWanted, PartitionLetters& delivered,
                      BatchLock& lock) {
  const std::unique_ptr<WmiServices> services = Connect(wmi);
  if (!services) return;
  const std::optional<ServiceAnswers> answers = AskLinksAndPartitions(*services);
  if (!answers) return;
  // The linked letters are complete at once; each other letter waits only for the questions of
  // the letters before it.
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t index = 0; index < letters.size(); ++index) {
      const std::string id = DiskDeviceIdOf(index);
      if (!letters[index] || answers->Linked(id) != (pass == 0)) continue;
      if (pass == 0) {
        deliver(index, answers->StyleOf(id));
      } else {
        deliver(index, !stillWanted || stillWanted(index) ? StyleOfUnlinked(*services, id, lock) : "Unknown");
      }
      delivered[index] = true;
    }
  }
}

}  // namespace

Lock& ManagementServiceLock() {
  static Lock lock;
  return lock;
}

void QueryPartitionStyles(WmiApi& wmi, const PartitionLetters& letters, const PartitionStyleSink& deliver,
                          const std::function<bool(std::size_t)>& stillWanted) {
  // Batches never overlap, even when an abandoned report's batch is still running; only the
  // wait for one letter's answer lets others in.
  BatchLock lock(ManagementServiceLock());
  PartitionLetters delivered{};
  {
    std::unique_ptr<WmiApartment> apartment;
    if (!Failed(wmi.JoinApartment(apartment))) {
      // Every service object is gone when this returns, before the apartment is left.
      AskServiceForAll(wmi, letters, deliver, stillWanted, delivered, lock);
    }
  }
  for (std::size_t index = 0; index < letters.size(); ++index) {
    if (letters[index] && !delivered[index]) deliver(index, "Unknown");
  }
}

PartitionStyles QueryPartitionStyles(WmiApi& wmi, const PartitionLetters& letters) {
  PartitionStyles styles;
  styles.fill("Unknown");
  QueryPartitionStyles(wmi, letters, [&styles](std::size_t index, std::string style) { styles[index] = std::move(style); });
  return styles;
}

PartitionStyles QueryPartitionStyles(WmiApi& wmi) {
  PartitionLetters every;
  every.fill(true);
  return QueryPartitionStyles(wmi, every);
}

namespace {

bool IsDriveLetter(const std::string& text) { return text.size() == 1 && text[0] >= 'A' && text[0] <= 'Z'; }

}  // namespace

std::string DiskDeviceIdOf(const std::string& letter) {
  std::string id = RemoveSpaces(UpperCase(letter));
  if (IsDriveLetter(id)) id += ":";
  return id;
}

std::string QueryPartitionStyle(WmiApi& wmi, const std::string& letter) {
  const std::string upper = RemoveSpaces(UpperCase(letter));
  if (!IsDriveLetter(upper)) return "Unknown";
  return AskService(wmi, upper + ":").value_or("Unknown");
}

}  // namespace tarnvik
