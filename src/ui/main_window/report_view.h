// The report view: the report box of the main window shows the drive report, block by block as
// the drives answer.
#pragma once

namespace tarnvik {

class Forms;

/// Builds the report into the report window's report box. The drives are asked on workers; this thread yields
/// once before the first drive and otherwise waits for their answers with the messages
/// flowing, writing each block as soon as it and every block before it are in. Stops after a
/// yield or wait once the program is quitting or the main window is being unloaded, and then
/// touches no window again.
void RefreshDriveReport(Forms& forms);

/// Starts the first report's drive queries ahead of the windows, for the letters the command menu's drive
/// list holds now. The report adopts them when its own letters agree.
void StartDriveQueries(Forms& forms);

}  // namespace tarnvik
