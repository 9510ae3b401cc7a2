// A program whose two forms are loaded and whose main window is shown, as after start-up,
// without running the start-up checks.
#pragma once

#include "fakes/test_program.h"
#include "ui/main_window/fdfsg.h"
#include "ui/menu_form/fdfsf.h"

namespace tarnvik::testing {

struct ShownProgram : TestProgram {
  ShownProgram() {
    program.FDFSF().Window().Hide();
    program.FDFSG();
    win().Timer1().SetInterval(kTimerInterval);
    win().Timer1().SetEnabled(true);
    win().Show();
    m().ReportIdle = true;
  }
  toolkit::HeadlessMainWindow& win() { return *tk.mainWindow; }
  Fdfsg& g() { return program.FDFSG(); }
  toolkit::PictureId close() { return win().Image1().Picture(); }
  toolkit::PictureId minimise() { return win().Image2().Picture(); }
};

}  // namespace tarnvik::testing
