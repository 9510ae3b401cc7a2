// The controller's state as a user can move it.
#include <gtest/gtest.h>

#include "ui/controller.h"
#include "unit/ui_fixture.h"

namespace tarnvik::testing {
namespace {

using S = Controller::State;

TEST(ControllerState, MovesOnlyAsTheUserCanMoveIt) {
  const struct Row {
    const char* what;
    void (*act)(ShownProgram&);
    S after;
    int builds;
  } rows[] = {
      {"F5 while building: dropped", [](ShownProgram& t) {
         t.tk.onDoEvents = [&t](int n) { n == 1 ? void(t.win().PressKey(116)) : void(); };
         t.win().PressKey(116);
       }, S::Idle, 1},
      {"a build asked for by any way in while one runs: refused by the controller itself", [](ShownProgram& t) {
         t.tk.onDoEvents = [&t](int n) { n == 1 ? RefreshDriveReport(t.ui()) : void(); };
         RefreshDriveReport(t.ui());
       }, S::Idle, 1},
      {"a close from outside while building, F5 after it", [](ShownProgram& t) {
         t.tk.onDoEvents = [&t](int n) { n == 1 ? t.win().RequestClose() : void(); };
         t.win().PressKey(116), t.win().PressKey(116);
       }, S::Closing, 1},
      {"Quit during a modal loop: in the menu opened from the About box", [](ShownProgram& t) {
         t.tk.onPopupMenu = [](const toolkit::PopupRecord&) { return static_cast<int>(CommandId::Quit); };
         t.tk.onMsgBox = [&t](const toolkit::MessageBoxRecord&) { t.g().OnMenuGlyphMouseDown(1, 0, 0, 0); };
         t.win().PressKey(112);
       }, S::Quitting, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ShownProgram t;
    t.drive.logicalDrives = LetterMask("cd");
    row.act(t);
    EXPECT_EQ(t.ui().state(), row.after);
    EXPECT_TRUE(t.ui().ReportIdle() && !t.ui().InModalLoop()) << "no build or loop is left running";
    EXPECT_EQ(t.Builds(), row.builds);
    t.win().Tick();
    EXPECT_EQ(t.win().Loaded(), row.after == S::Idle) << "the quit ends at the next tick";
  }
}

}  // namespace
}  // namespace tarnvik::testing
