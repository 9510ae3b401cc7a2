// The names of the running processes, one upper-case entry and a carriage return each, and the
// count of whole entries with a given name.
#include "startup/process_scan.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

#include "base/text.h"

namespace tarnvik {

namespace {

constexpr char kEntryEnd = '\r';
constexpr std::string_view kUnnamedProcess = "[SYSTEM PROCESS]";
constexpr std::string_view kPathSeparators = "\\/:|";

// EnumProcessModules may fill the first 200 bytes; only the first module is read.
constexpr uint32_t kModuleTableBytes = 200;
constexpr std::size_t kModuleTableEntries =
    (kModuleTableBytes + sizeof(ModuleHandle) - 1) / sizeof(ModuleHandle);
// A MAX_PATH name in UTF-8, as the adapters deliver it.
constexpr uint32_t kModulePathCapacity = 260 * 3;
// The identifier table doubles while the platform fills it completely. Room for 262144
// processes is far beyond any machine; the cap keeps a platform that always reports "full"
// from doubling until the size wraps.
constexpr uint32_t kMaxIdTableBytes = 1u << 20;

/// Closes a snapshot or process handle when the walk step ends.
class ScopedProcessHandle {
 public:
  ScopedProcessHandle(ProcessApi& api, ProcessHandle handle) : api_(api), handle_(handle) {}
  ~ScopedProcessHandle() {
    if (handle_ > 0) api_.CloseHandle(handle_);
  }
  ScopedProcessHandle(const ScopedProcessHandle&) = delete;
  ScopedProcessHandle& operator=(const ScopedProcessHandle&) = delete;
  ProcessHandle get() const { return handle_; }

 private:
  ProcessApi& api_;
  ProcessHandle handle_;
};

// Tabs and line breaks become blanks, then blanks at the ends go: a name never breaks the
// carriage-return-separated list.
std::string CleanName(std::string_view name) {
  std::string cleaned(name);
  for (char& c : cleaned) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return Trim(cleaned);
}

void AppendEntry(std::string& list, const std::string& name, uint32_t id, std::vector<uint32_t>* ids) {
  if (name.empty()) return;
  list += name;
  list += kEntryEnd;
  if (ids != nullptr) ids->push_back(id);
}

// The name after the last path separator of a module path; the placeholder when that is blank.
std::string ModuleBaseName(std::string_view path) {
  const std::string withRoot = "\\" + std::string(path);
  const std::size_t separator = withRoot.find_last_of(kPathSeparators);  // never npos: [0] is "\"
  std::string name = Trim(UpperCase(std::string_view(withRoot).substr(separator + 1)));
  if (name.empty()) name = kUnnamedProcess;
  return CleanName(name);
}

using ModuleTable = std::array<ModuleHandle, kModuleTableEntries>;

std::string NameOfProcess(ProcessApi& api, ProcessHandle process, ModuleTable& modules) {
  // An unopened process has no module to ask about; asking with a null handle and a module
  // left over from the previous process could name the wrong program.
  if (process == 0) return std::string(kUnnamedProcess);
  uint32_t needed = 0;
  api.EnumProcessModules(process, modules.data(), kModuleTableBytes, &needed);
  std::vector<char> buffer(kModulePathCapacity, ' ');
  const uint32_t copied = api.GetModuleFileNameExA(process, modules[0], buffer.data(), kModulePathCapacity);
  const std::string_view path(buffer.data(), std::min(copied, kModulePathCapacity));
  return ModuleBaseName(UpToNul(path));
}

}  // namespace

std::string ScanProcesses(const Environment& env, ProcessApi& api, std::vector<uint32_t>* ids) {
  // Only a known NT before 5 lacks the snapshot calls; an unknown version takes the snapshot.
  if (env.osFamily == "NT" && !env.osVersion.empty() && VersionNumber(env.osVersion) < 5) {
    return ListProcessesPsapi(api, ids);
  }

  std::string list;
  if (ids != nullptr) ids->clear();
  const ScopedProcessHandle snapshot(api, api.CreateToolhelp32Snapshot(kTh32csSnapProcess, 0));
  if (snapshot.get() <= 0) return list;

  ProcessEntry entry;
  entry.dwSize = sizeof(ProcessEntry);
  int delivered = api.Process32First(snapshot.get(), entry);
  while (delivered != 0) {
    const std::string_view field(entry.szExeFile.data(), entry.szExeFile.size());
    AppendEntry(list, CleanName(UpToNul(field)), entry.th32ProcessID, ids);
    entry.szExeFile.fill(' ');
    delivered = api.Process32Next(snapshot.get(), entry);
  }
  return Trim(UpperCase(list));
}

std::string ListProcessesPsapi(ProcessApi& api, std::vector<uint32_t>* listedIds) {
  std::string list;
  if (listedIds != nullptr) listedIds->clear();

  uint32_t size = 8;
  uint32_t filled = 96;
  std::vector<uint32_t> ids;
  while (size <= filled && size < kMaxIdTableBytes) {
    size *= 2;
    ids.assign(size / 4, 0);
    api.EnumProcesses(ids.data(), size, &filled);
  }
  const std::size_t count = std::min<std::size_t>(filled / 4, ids.size());

  ModuleTable modules{};  // not cleared between processes
  for (std::size_t i = 0; i < count; ++i) {
    const ScopedProcessHandle process(api, api.OpenProcess(kProcessQueryInformation | kProcessVmRead, 0, ids[i]));
    if (process.get() < 0) continue;
    AppendEntry(list, NameOfProcess(api, process.get(), modules), ids[i], listedIds);
  }
  return Trim(UpperCase(list));
}

CopyFilter::CopyFilter(ProcessApi& api) : api_(api) {
  known_ = api.ProcessIdToSessionId(api.GetCurrentProcessId(), &own_) != 0;
}

bool CopyFilter::Counts(uint32_t processId) const {
  uint32_t session = 0;
  if (known_ && (api_.ProcessIdToSessionId(processId, &session) == 0 || session != own_)) return false;
  const ProcessHandle mark = api_.OpenMutexA(kSynchronize, 0, NotACopyMarkName(processId).c_str());
  // A mark that may not be opened is there all the same: an elevated saving run's objects
  // refuse a standard user's window.
  if (mark == 0) return api_.GetLastError() != kErrorAccessDenied;
  api_.CloseHandle(mark);
  return false;
}

std::string NotACopyMarkName(uint32_t processId) {
  return "Local\\Tarnvik.NotACopy." + std::to_string(processId);
}

void MarkNotACopy(ProcessApi& api) { api.CreateMutexA(0, NotACopyMarkName(api.GetCurrentProcessId()).c_str()); }

bool AllStartedJustNow(ProcessApi& api, const std::vector<uint32_t>& ids, uint32_t milliseconds, uint32_t waitedMs) {
  // This process began a moment ago: its own start, and the time it has waited since, stand in
  // for the present.
  const auto created = [&api](uint32_t id, uint64_t& time) {
    // The lighter right (Vista and later) is granted even on an elevated process to a standard
    // user; where it is refused, as older Windows refuse any right they do not know, the old one.
    ProcessHandle opened = api.OpenProcess(kProcessQueryLimitedInformation, 0, id);
    if (opened <= 0) opened = api.OpenProcess(kProcessQueryInformation, 0, id);
    const ScopedProcessHandle process(api, opened);
    uint64_t unused = 0;
    return process.get() > 0 && api.GetProcessTimes(process.get(), &time, &unused, &unused, &unused) != 0;
  };
  uint64_t now = 0;
  if (ids.empty() || !created(api.GetCurrentProcessId(), now)) return false;
  now += uint64_t{waitedMs} * 10000;  // FILETIME counts 100 ns
  const uint64_t window = uint64_t{milliseconds} * 10000;
  return std::all_of(ids.begin(), ids.end(), [&](uint32_t id) {
    uint64_t time = 0;
    return created(id, time) && time + window > now;
  });
}

int32_t CountNameMatches(const std::string& list, const std::string& name) {
  const std::string pattern = kEntryEnd + name + kEntryEnd;
  int32_t matches = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t found = list.find(pattern, start);
    if (found == std::string::npos) break;
    ++matches;
    // Resume on this match's closing carriage return: it can open the next entry's match.
    start = found + 1 + name.size();
    if (start >= list.size()) break;
  }
  return matches;
}

}  // namespace tarnvik
