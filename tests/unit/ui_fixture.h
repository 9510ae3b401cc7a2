// A program whose main window is shown with its first report (of no drive), as after start-up,
// without running the start-up checks. The toolkit's counts of yields start from here.
#pragma once

#include <string_view>

#include "fakes/test_program.h"
#include "ui/commands/commands.h"
#include "ui/main_window/report_view.h"
#include "ui/main_window/report_window.h"

namespace tarnvik::testing {

struct ShownProgram : TestProgram {
  ShownProgram() {
    program.ui.OpenWindow();
    win().WindowTimer().SetInterval(kTimerInterval);
    win().WindowTimer().SetEnabled(true);
    ShowWindowWithFirstReport(program.ui);
    tk.doEventsCount = 0;
    win().reportBox().onSetText = [this](std::string_view text) { builds += text == " Please wait..." ? 1 : 0; };
  }
  toolkit::HeadlessMainWindow& win() { return *tk.mainWindow; }
  ReportWindow& g() { return *program.ui.Window(); }
  /// The reports built since, each begun with the waiting text.
  int Builds() const { return builds; }
  int builds = 0;
  toolkit::PictureId close() { return win().CloseButton().Picture(); }
  toolkit::PictureId minimise() { return win().MinimiseButton().Picture(); }
};

}  // namespace tarnvik::testing
