// A program whose two forms are loaded and whose main window is shown, as after start-up,
// without running the start-up checks.
#pragma once

#include "fakes/test_program.h"
#include "ui/main_window/report_window.h"
#include "ui/menu_form/command_menu.h"

namespace tarnvik::testing {

struct ShownProgram : TestProgram {
  ShownProgram() {
    program.forms.Menu().Form().Hide();
    program.forms.Window();
    win().WindowTimer().SetInterval(kTimerInterval);
    win().WindowTimer().SetEnabled(true);
    win().Show();
    forms().reportIdle = true;
  }
  toolkit::HeadlessMainWindow& win() { return *tk.mainWindow; }
  ReportWindow& g() { return program.forms.Window(); }
  toolkit::PictureId close() { return win().CloseButton().Picture(); }
  toolkit::PictureId minimise() { return win().MinimiseButton().Picture(); }
};

}  // namespace tarnvik::testing
