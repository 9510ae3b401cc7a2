// The names of the running processes, for counting copies of the program.
#pragma once

#include <cstdint>
#include <string>

#include "startup/environment.h"
#include "startup/process_api.h"

namespace tarnvik {

/// The running processes: one upper-case name and a carriage return each. Takes the psapi walk
/// on NT before version 5, the snapshot walk everywhere else. Lists only the processes of the
/// caller's own session where the platform can tell sessions apart.
std::string ScanProcesses(const Environment& env, ProcessApi& api);

/// The psapi walk over process identifiers and their first module.
std::string ListProcessesPsapi(ProcessApi& api);

/// The name of the mutex a saving run (/save, /json) holds for its whole life, so that a
/// window started beside it does not take it for a running copy.
std::string SavingRunMarkName(uint32_t processId);

/// Makes this process's saving-run mark. The handle is never closed: the system removes the
/// mark when the process ends, however it ends.
void MarkSavingRun(ProcessApi& api);

/// Counts whole entries `name` in `list` (a list of ScanProcesses with a carriage return before it).
int32_t CountNameMatches(const std::string& list, const std::string& name);

}  // namespace tarnvik
