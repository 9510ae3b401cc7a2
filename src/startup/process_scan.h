// The names of the running processes, for counting copies of the program.
#pragma once

#include <cstdint>
#include <string>

#include "startup/process_api.h"
#include "startup/program_state.h"

namespace tarnvik {

/// Fills state.ProcessList with one upper-case name and a carriage return per process.
/// Takes the psapi walk on NT before version 5, the snapshot walk everywhere else. Lists only
/// the processes of the caller's own session where the platform can tell sessions apart.
void ScanProcesses(ProgramState& state, ProcessApi& api);

/// The psapi walk over process identifiers and their first module.
void ListProcessesPsapi(ProgramState& state, ProcessApi& api);

/// The name of the mutex a saving run (/save, /json) holds for its whole life, so that a
/// window started beside it does not take it for a running copy.
std::string SavingRunMarkName(uint32_t processId);

/// Makes this process's saving-run mark. The handle is never closed: the system removes the
/// mark when the process ends, however it ends.
void MarkSavingRun(ProcessApi& api);

/// Counts whole entries `name` in state.ProcessList (which begins with a carriage return).
int32_t CountNameMatches(ProgramState& state, const std::string& name);

}  // namespace tarnvik
