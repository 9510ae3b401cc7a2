// The names of the running processes, for counting copies of the program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "startup/environment.h"
#include "startup/process_api.h"

namespace tarnvik {

/// The running processes: one upper-case name and a carriage return each. Takes the psapi walk
/// on NT before version 5, the snapshot walk everywhere else. With `ids`, their identifiers go
/// there, one per entry of the list, in its order.
std::string ScanProcesses(const Environment& env, ProcessApi& api, std::vector<uint32_t>* ids = nullptr);

/// The psapi walk over process identifiers and their first module.
std::string ListProcessesPsapi(ProcessApi& api, std::vector<uint32_t>* ids = nullptr);

/// The name of the mutex a process holds that must not be taken for a running copy: a saving
/// run (/save, /json) for its whole life, and an ending window from the moment it lets go of
/// the instance mutex while a call stuck in a driver keeps it in the process list.
std::string NotACopyMarkName(uint32_t processId);

/// Which listed processes count as copies of the program. Only the caller's own session counts:
/// another user's copy behind Fast User Switching or Remote Desktop must not stop this one. Nor
/// does a saving run: it ends by itself, and a script may start one at any moment; nor does a
/// copy that has ended but lingers (both carry the not-a-copy mark). Where the caller's own
/// session cannot be read (the call is missing before Windows 2000) every process counts, as it
/// always has. A process whose session cannot be read does not count: that is mostly another
/// user's process, which a standard user may not query, and a copy in this session from the same
/// path is caught by the per-session mutex anyway. Each question costs a call or two, so only
/// the processes of a counted name are asked.
class CopyFilter {
 public:
  explicit CopyFilter(ProcessApi& api);
  bool Counts(uint32_t processId) const;

 private:
  ProcessApi& api_;
  uint32_t own_ = 0;
  bool known_ = false;
};

/// Makes this process's not-a-copy mark. The handle is never closed: the system removes the
/// mark when the process is gone, however it ends.
void MarkNotACopy(ProcessApi& api);

/// True when every process of `ids` could be asked and was created less than `milliseconds`
/// before the present (or after it): copies that may be saving runs not yet marked. The present
/// is this process's creation and the `waitedMs` it has waited since.
bool AllStartedJustNow(ProcessApi& api, const std::vector<uint32_t>& ids, uint32_t milliseconds, uint32_t waitedMs);

/// Counts whole entries `name` in `list` (a list of ScanProcesses with a carriage return before it).
int32_t CountNameMatches(const std::string& list, const std::string& name);

}  // namespace tarnvik
