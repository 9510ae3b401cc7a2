// The report view: the report box of the main window shows the drive report, block by block as
// the drives answer.
#pragma once

#include <cstdint>
#include <memory>

#include "report/drive_api.h"
#include "report/report.h"
#include "report/wmi_api.h"
#include "base/workers.h"

namespace tarnvik {

class Controller;
class ReportQueries;

/// Builds the report into the report window's report box. The drives are asked on workers; this thread yields
/// once before the first drive and otherwise waits for their answers with the messages
/// flowing, writing each block as soon as it and every block before it are in. Stops after a
/// yield or wait once the program is quitting or the main window is being unloaded, and then
/// touches no window again.
void RefreshDriveReport(Controller& ui);

/// The first report, and the window's first showing: what has come in by then is written
/// before the window shows, so a report whose drives have all answered reaches the screen whole,
/// with one write and one paint; the rest follows as in a refresh.
void ShowWindowWithFirstReport(Controller& ui);

/// The letters of a GetLogicalDrives mask; the bits past Z are none.
LetterSet LettersOfMask(uint32_t mask);

/// Starts the first report's drive queries for the letters present now, ahead of the window;
/// the report adopts them (Controller::SetStartedQueries) when its own letters agree. Safe from
/// a worker: it touches nothing of the window's thread.
std::shared_ptr<ReportQueries> StartDriveQueries(Workers& workers, DriveApi& drive, WmiApi& wmi,
                                                 bool withPartitionStyles);

}  // namespace tarnvik
