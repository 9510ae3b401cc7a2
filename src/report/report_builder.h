// The drive report: writes one block per drive letter and a summary into the report box.
#pragma once

namespace tarnvik {

class Program;

/// Builds the report into the report window's report box. The drives are asked on workers; this thread yields
/// once before the first drive and otherwise waits for their answers with the messages
/// flowing, writing each block as soon as it and every block before it are in. Stops after a
/// yield or wait once the program is quitting or the main window is being unloaded, and then
/// touches no window again.
void RefreshDriveReport(Program& program);

/// Starts the first report's drive queries ahead of the windows, for the letters the command menu's drive
/// list holds now. The report adopts them when its own letters agree.
void StartDriveQueries(Program& program);

}  // namespace tarnvik
