#include "ui/main_window/fdfsg.h"

#include <cmath>
#include <cstdlib>

#include "report/report_builder.h"
#include "startup/program.h"
#include "ui/menu_form/fdfsf.h"

namespace tarnvik {

using toolkit::PictureBox;
using toolkit::PictureId;
using toolkit::WindowState;

namespace {

// Picture store slots.
constexpr int kCloseNormal = static_cast<int>(PictureId::CloseNormal);
constexpr int kMinimiseNormal = static_cast<int>(PictureId::MinimiseNormal);
constexpr int kMinimiseHot = static_cast<int>(PictureId::MinimiseHot);
constexpr int kCloseHot = static_cast<int>(PictureId::CloseHot);

// Virtual-key codes of the keyboard commands.
constexpr int16_t kKeyEscape = 27;
constexpr int16_t kKeyF1 = 112;
constexpr int16_t kKeyF2 = 113;
constexpr int16_t kKeyF5 = 116;

// Point size that keeps a font's 96-DPI pixel height at `dpi`; halves go to the even size,
// so 192 DPI turns 9 pt into 4 pt.
double ScaledFontSize(double designPoints, int32_t dpi) {
  return std::fabs(std::nearbyint(designPoints / (dpi / 96.0)));
}

// The caption-button rectangle on the screen, edges inclusive, from the window's position
// as it is (it may be fractional).
bool CursorOutside(const PictureBox& button, double windowLeft, double windowTop, int32_t x, int32_t y) {
  const double left = windowLeft + button.Left();
  const double right = left + button.Width() - 1;
  const double top = windowTop + button.Top();
  const double bottom = top + button.Height() - 1;
  return x < left || x > right || y < top || y > bottom;
}

// A volume came or went: a letter's arrival or removal, of a medium or a network drive alike.
// Other notices (ports, device interfaces, a removal query, a changed device tree) say nothing
// about the letters, and a volume notice without a letter touches no line of the report.
bool NoticeChangesLetters(const toolkit::DeviceNotice& notice) {
  constexpr uint32_t kLetterBits = (1u << 26) - 1;
  return (notice.event == toolkit::kDeviceArrival || notice.event == toolkit::kDeviceRemoveComplete) &&
         notice.deviceType == toolkit::kDeviceTypeVolume && (notice.unitMask & kLetterBits) != 0;
}

}  // namespace

Fdfsg::Fdfsg(Program& program) : program_(program), window_(program.tk.LoadMainWindow(*this)) {}

void Fdfsg::ShowNormalButtons() {
  window_->Image2().SetPictureFrom(window_->Image0(kMinimiseNormal));
  window_->Image1().SetPictureFrom(window_->Image0(kCloseNormal));
}

void Fdfsg::Form_Resize() {
  Fdfsm& m = program_.FDFSM;
  if (m.Quitting) return;
  toolkit::MainWindow& w = *window_;

  m.ScreenDpi = 96;
  // Widened first: the absolute value of the smallest int would overflow.
  m.ScreenDpi = static_cast<int32_t>(std::llabs(static_cast<long long>(w.LogPixelsX())));

  // The skin is a pixel picture that is never scaled: the window keeps its pixel size.
  w.SetSize(kWindowWidth, kWindowHeight);

  w.Label16().Move(0, 0, 24, 24);
  // A DPI of 0 gives no scale: the fonts keep their sizes and the geometry still applies.
  if (m.ScreenDpi != 0) w.Label16().SetFontSize(ScaledFontSize(9, m.ScreenDpi));

  w.Image1().SetTop(4);
  w.Image2().SetTop(4);
  w.Image1().SetLeft(278);
  w.Image2().SetLeft(256);
  w.Image1().SetHeight(17);
  w.Image1().SetWidth(22);
  w.Image2().SetHeight(17);
  w.Image2().SetWidth(22);

  w.Text1().Move(11, 35, 286, 346);
  if (m.ScreenDpi != 0) w.Text1().SetFontSize(ScaledFontSize(10, m.ScreenDpi));

  // Restored with a drive notice still waiting: the rebuild held back while minimised follows.
  if (m.DriveNoticePending && !m.UnloadRequested && w.GetWindowState() != WindowState::Minimized &&
      !w.Timer2().Enabled())
    StartQuietWait();
}

void Fdfsg::Form_MouseDown(int16_t button, int16_t, float x, float y) {
  Fdfsm& m = program_.FDFSM;
  if (m.Quitting) return;

  if (button == toolkit::kRightButton && window_->GetWindowState() == WindowState::Normal && y < kMenuCorner &&
      x < kMenuCorner) {
    program_.FDFSF().PopupMenu();
    return;
  }

  if (button == toolkit::kLeftButton && window_->GetWindowState() == WindowState::Normal && y < kTitleBandHeight) {
    m.DragActive = true;
    m.DragStartX = x;
    m.DragStartY = y;
  } else {
    m.DragActive = false;
  }
}

void Fdfsg::Form_MouseMove(int16_t button, int16_t, float x, float y) {
  Fdfsm& m = program_.FDFSM;
  if (m.Quitting) return;

  // Over the bare surface neither caption button is under the cursor.
  ShowNormalButtons();

  if (button != toolkit::kLeftButton || !m.DragActive || window_->GetWindowState() != WindowState::Normal) {
    m.DragActive = false;
    return;
  }
  if (x == m.DragStartX && y == m.DragStartY) return;

  // Moving by the cursor's offset from the press point keeps that point under the cursor.
  m.DragLeft = static_cast<float>(x - m.DragStartX + window_->Left());
  m.DragTop = static_cast<float>(y - m.DragStartY + window_->Top());
  window_->SetLeft(m.DragLeft);
  window_->SetTop(m.DragTop);
}

void Fdfsg::Form_MouseUp(int16_t button, int16_t, float, float) {
  Fdfsm& m = program_.FDFSM;
  if (!m.Quitting && button == toolkit::kLeftButton) m.DragActive = false;
}

void Fdfsg::Form_QueryUnload(int16_t&, int16_t) {
  program_.FDFSM.UnloadRequested = true;
  window_->Hide();
  // Hide the menu form only while it exists: the reference would otherwise load a new one
  // that keeps the process alive after its windows are gone.
  if (program_.FdfsfLoaded()) program_.FDFSF().Window().Hide();
  window_->Timer1().SetEnabled(false);
  window_->Timer1().SetInterval(0);
  window_->Timer2().SetEnabled(false);
}

void Fdfsg::Form_Unload(int16_t&) {
  if (program_.FdfsfLoaded()) program_.FDFSF().Window().Unload();
  program_.ReleaseFdfsg();
  program_.tk.DoEvents();
}

void Fdfsg::Timer1_Timer() {
  Fdfsm& m = program_.FDFSM;
  toolkit::MainWindow& w = *window_;

  if (m.Quitting) {
    w.Timer1().SetEnabled(false);
    w.Timer1().SetInterval(0);
    w.Unload();
    return;
  }
  // A tick already due while the window is being unloaded must not touch it.
  if (m.UnloadRequested) return;

  // A letter can come or go with no notice at all (a mapped network drive, subst). The mask
  // costs no I/O, so every tick looks. It is compared with the mask the last report read, not
  // with the report's letters, which the drive list may filter; a difference starts the quiet
  // wait once, and each further change restarts it, as a notice does. 0 is a failed call.
  const uint32_t letters = program_.os.drive.GetLogicalDrives();
  if (letters != 0 && letters != m.ReportLetterMask && letters != m.TimerLetterMask) {
    m.DriveNoticePending = true;
    StartQuietWait();
  }
  if (letters != 0) m.TimerLetterMask = letters;

  const WindowState state = w.GetWindowState();
  if (state == WindowState::Minimized) {
    ShowNormalButtons();
    return;
  }
  if (state != WindowState::Normal) return;

  // A picture control reports no event when the cursor leaves it: look where the cursor is.
  program_.os.cursor.GetCursorPos(m.CursorX, m.CursorY);
  const double left = w.Left();
  const double top = w.Top();
  if (CursorOutside(w.Image1(), left, top, m.CursorX, m.CursorY)) w.Image1().SetPictureFrom(w.Image0(kCloseNormal));
  if (CursorOutside(w.Image2(), left, top, m.CursorX, m.CursorY))
    w.Image2().SetPictureFrom(w.Image0(kMinimiseNormal));
}

void Fdfsg::Text1_KeyDown(int16_t& keyCode, int16_t) {
  Fdfsm& m = program_.FDFSM;
  if (m.Quitting) return;
  // Shift, Ctrl and Alt are not looked at: Shift+F5 refreshes like F5.
  switch (keyCode) {
    case kKeyF5:
      if (m.ReportIdle) RefreshDriveReport(program_);
      break;
    case kKeyF1:
      RunAboutCommand(program_);
      break;
    case kKeyF2:
      RunHelpFileCommand(program_);
      break;
    case kKeyEscape:
      RunQuitCommand(program_);
      break;
    default:
      break;
  }
}

void Fdfsg::StartQuietWait() {
  toolkit::Timer& quiet = window_->Timer2();
  quiet.SetInterval(kQuietWait);
  quiet.SetEnabled(true);  // also when it runs: the wait starts afresh
}

void Fdfsg::Form_DeviceChange(const toolkit::DeviceNotice& notice) {
  Fdfsm& m = program_.FDFSM;
  if (m.Quitting || m.UnloadRequested || !NoticeChangesLetters(notice)) return;
  // Every notice restarts the wait, so a burst of them gives one rebuild.
  m.DriveNoticePending = true;
  StartQuietWait();
}

void Fdfsg::Timer2_Timer() {
  Fdfsm& m = program_.FDFSM;
  window_->Timer2().SetEnabled(false);  // one wait, one tick
  if (m.Quitting || m.UnloadRequested || !m.DriveNoticePending) return;
  // Minimised, the rebuild waits for the restore (Form_Resize); a build under way is followed
  // by one more when it ends (DriveReportFinished); inside the About box's or the menu's loop a
  // build's yields would pump that loop's messages without its handling, so it waits for the
  // loop's end (ModalLoopEnded). The notice stays pending for all three.
  if (window_->GetWindowState() == WindowState::Minimized || !m.ReportIdle || m.ModalLoops > 0) return;
  m.DriveNoticePending = false;
  RefreshDriveReport(program_);
}

void Fdfsg::DriveReportFinished() {
  const Fdfsm& m = program_.FDFSM;
  if (m.Quitting || m.UnloadRequested || !m.DriveNoticePending || window_->Timer2().Enabled()) return;
  StartQuietWait();
}

void Fdfsg::Image1_MouseMove(int16_t, int16_t, float, float) {
  if (program_.FDFSM.Quitting) return;
  window_->Image1().SetPictureFrom(window_->Image0(kCloseHot));
  window_->Image2().SetPictureFrom(window_->Image0(kMinimiseNormal));
}

void Fdfsg::Image2_MouseMove(int16_t, int16_t, float, float) {
  if (program_.FDFSM.Quitting) return;
  window_->Image2().SetPictureFrom(window_->Image0(kMinimiseHot));
  window_->Image1().SetPictureFrom(window_->Image0(kCloseNormal));
}

void Fdfsg::Label16_MouseMove(int16_t, int16_t, float, float) {
  if (program_.FDFSM.Quitting) return;
  ShowNormalButtons();
}

void Fdfsg::Image1_MouseDown(int16_t button, int16_t, float, float) {
  if (program_.FDFSM.Quitting || button != toolkit::kLeftButton) return;
  ShowNormalButtons();
  RunQuitCommand(program_);
}

void Fdfsg::Image2_MouseDown(int16_t button, int16_t, float, float) {
  if (program_.FDFSM.Quitting || button != toolkit::kLeftButton) return;
  ShowNormalButtons();
  window_->SetWindowState(WindowState::Minimized);
  window_->Refresh();
}

void Fdfsg::Label16_MouseDown(int16_t, int16_t, float, float) {
  if (program_.FDFSM.Quitting) return;
  // Any press on the glyph is a right press in the menu corner, so it opens the menu and never drags.
  Form_MouseDown(toolkit::kRightButton, 0, 0, 0);
}

}  // namespace tarnvik
