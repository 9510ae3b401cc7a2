// The drive report: writes one block per drive letter and a summary into Text1.
#pragma once

namespace tarnvik {

class Program;

/// Builds the report into FDFSG's Text1, yielding to the event loop before the first drive and
/// after every drive block. Stops after a yield once the program is quitting or the main window
/// is being unloaded, and then touches no window again.
void RefreshDriveReport(Program& program);

}  // namespace tarnvik
