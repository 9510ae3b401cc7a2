// The start-up sequence.
#pragma once

#include "base/program_identity.h"
#include "startup/begin_run.h"

namespace tarnvik {

class Program;

/// Runs once before the event loop: names the application, begins the run (BeginRun), refuses
/// a second copy and opens the windows. Returns with no form loaded when the program must not run.
void Main(Program& program);

}  // namespace tarnvik
