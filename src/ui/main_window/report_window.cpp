#include "ui/main_window/report_window.h"

#include <cmath>
#include <cstdlib>

#include "report/report_builder.h"
#include "startup/program.h"
#include "ui/menu_form/command_menu.h"

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

ReportWindow::ReportWindow(Program& program) : program_(program), window_(program.tk.LoadMainWindow(*this)) {}

void ReportWindow::ShowNormalButtons() {
  window_->MinimiseButton().SetPictureFrom(window_->StoredPicture(kMinimiseNormal));
  window_->CloseButton().SetPictureFrom(window_->StoredPicture(kCloseNormal));
}

void ReportWindow::OnResize() {
  ProgramState& state = program_.state;
  if (state.Quitting) return;
  toolkit::MainWindow& w = *window_;

  state.ScreenDpi = 96;
  // Widened first: the absolute value of the smallest int would overflow.
  state.ScreenDpi = static_cast<int32_t>(std::llabs(static_cast<long long>(w.LogPixelsX())));

  // The skin is a pixel picture that is never scaled: the window keeps its pixel size.
  w.SetSize(kWindowWidth, kWindowHeight);

  w.MenuGlyph().Move(0, 0, 24, 24);
  // A DPI of 0 gives no scale: the fonts keep their sizes and the geometry still applies.
  if (state.ScreenDpi != 0) w.MenuGlyph().SetFontSize(ScaledFontSize(9, state.ScreenDpi));

  w.CloseButton().SetTop(4);
  w.MinimiseButton().SetTop(4);
  w.CloseButton().SetLeft(278);
  w.MinimiseButton().SetLeft(256);
  w.CloseButton().SetHeight(17);
  w.CloseButton().SetWidth(22);
  w.MinimiseButton().SetHeight(17);
  w.MinimiseButton().SetWidth(22);

  w.ReportBox().Move(11, 35, 286, 346);
  if (state.ScreenDpi != 0) w.ReportBox().SetFontSize(ScaledFontSize(10, state.ScreenDpi));

  // Restored with a drive notice still waiting: the rebuild held back while minimised follows.
  if (state.DriveNoticePending && !state.UnloadRequested && w.GetWindowState() != WindowState::Minimized &&
      !w.NoticeTimer().Enabled())
    StartQuietWait();
}

void ReportWindow::OnMouseDown(int16_t button, int16_t, float x, float y) {
  ProgramState& state = program_.state;
  if (state.Quitting) return;

  if (button == toolkit::kRightButton && window_->GetWindowState() == WindowState::Normal && y < kMenuCorner &&
      x < kMenuCorner) {
    program_.Menu().PopupMenu();
    return;
  }

  if (button == toolkit::kLeftButton && window_->GetWindowState() == WindowState::Normal && y < kTitleBandHeight) {
    state.DragActive = true;
    state.DragStartX = x;
    state.DragStartY = y;
  } else {
    state.DragActive = false;
  }
}

void ReportWindow::OnMouseMove(int16_t button, int16_t, float x, float y) {
  ProgramState& state = program_.state;
  if (state.Quitting) return;

  // Over the bare surface neither caption button is under the cursor.
  ShowNormalButtons();

  if (button != toolkit::kLeftButton || !state.DragActive || window_->GetWindowState() != WindowState::Normal) {
    state.DragActive = false;
    return;
  }
  if (x == state.DragStartX && y == state.DragStartY) return;

  // Moving by the cursor's offset from the press point keeps that point under the cursor.
  state.DragLeft = static_cast<float>(x - state.DragStartX + window_->Left());
  state.DragTop = static_cast<float>(y - state.DragStartY + window_->Top());
  window_->SetLeft(state.DragLeft);
  window_->SetTop(state.DragTop);
}

void ReportWindow::OnMouseUp(int16_t button, int16_t, float, float) {
  ProgramState& state = program_.state;
  if (!state.Quitting && button == toolkit::kLeftButton) state.DragActive = false;
}

void ReportWindow::OnQueryUnload(int16_t&, int16_t) {
  program_.state.UnloadRequested = true;
  window_->Hide();
  // Hide the menu form only while it exists: the reference would otherwise load a new one
  // that keeps the process alive after its windows are gone.
  if (program_.MenuLoaded()) program_.Menu().Form().Hide();
  window_->WindowTimer().SetEnabled(false);
  window_->WindowTimer().SetInterval(0);
  window_->NoticeTimer().SetEnabled(false);
}

void ReportWindow::OnUnload(int16_t&) {
  if (program_.MenuLoaded()) program_.Menu().Form().Unload();
  program_.ReleaseWindow();
  program_.tk.DoEvents();
}

void ReportWindow::OnWindowTimer() {
  ProgramState& state = program_.state;
  toolkit::MainWindow& w = *window_;

  if (state.Quitting) {
    w.WindowTimer().SetEnabled(false);
    w.WindowTimer().SetInterval(0);
    w.Unload();
    return;
  }
  // A tick already due while the window is being unloaded must not touch it.
  if (state.UnloadRequested) return;

  // A letter can come or go with no notice at all (a mapped network drive, subst). The mask
  // costs no I/O, so every tick looks. It is compared with the mask the last report read, not
  // with the report's letters, which the drive list may filter; a difference starts the quiet
  // wait once, and each further change restarts it, as a notice does. 0 is a failed call.
  const uint32_t letters = program_.os.drive.GetLogicalDrives();
  if (letters != 0 && letters != state.ReportLetterMask && letters != state.TimerLetterMask) {
    state.DriveNoticePending = true;
    StartQuietWait();
  }
  if (letters != 0) state.TimerLetterMask = letters;

  const WindowState windowState = w.GetWindowState();
  if (windowState == WindowState::Minimized) {
    ShowNormalButtons();
    return;
  }
  if (windowState != WindowState::Normal) return;

  // A picture control reports no event when the cursor leaves it: look where the cursor is.
  program_.os.cursor.GetCursorPos(state.CursorX, state.CursorY);
  const double left = w.Left();
  const double top = w.Top();
  if (CursorOutside(w.CloseButton(), left, top, state.CursorX, state.CursorY))
    w.CloseButton().SetPictureFrom(w.StoredPicture(kCloseNormal));
  if (CursorOutside(w.MinimiseButton(), left, top, state.CursorX, state.CursorY))
    w.MinimiseButton().SetPictureFrom(w.StoredPicture(kMinimiseNormal));
}

void ReportWindow::OnReportBoxKeyDown(int16_t& keyCode, int16_t) {
  ProgramState& state = program_.state;
  if (state.Quitting) return;
  // Shift, Ctrl and Alt are not looked at: Shift+F5 refreshes like F5.
  switch (keyCode) {
    case kKeyF5:
      if (state.ReportIdle) RefreshDriveReport(program_);
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

void ReportWindow::StartQuietWait() {
  toolkit::Timer& quiet = window_->NoticeTimer();
  quiet.SetInterval(kQuietWait);
  quiet.SetEnabled(true);  // also when it runs: the wait starts afresh
}

void ReportWindow::OnDeviceChange(const toolkit::DeviceNotice& notice) {
  ProgramState& state = program_.state;
  if (state.Quitting || state.UnloadRequested || !NoticeChangesLetters(notice)) return;
  // Every notice restarts the wait, so a burst of them gives one rebuild.
  state.DriveNoticePending = true;
  StartQuietWait();
}

void ReportWindow::OnNoticeTimer() {
  ProgramState& state = program_.state;
  window_->NoticeTimer().SetEnabled(false);  // one wait, one tick
  if (state.Quitting || state.UnloadRequested || !state.DriveNoticePending) return;
  // Minimised, the rebuild waits for the restore (OnResize); a build under way is followed
  // by one more when it ends (DriveReportFinished); inside the About box's or the menu's loop a
  // build's yields would pump that loop's messages without its handling, so it waits for the
  // loop's end (ModalLoopEnded). The notice stays pending for all three.
  if (window_->GetWindowState() == WindowState::Minimized || !state.ReportIdle || state.ModalLoops > 0) return;
  state.DriveNoticePending = false;
  RefreshDriveReport(program_);
}

void ReportWindow::DriveReportFinished() {
  const ProgramState& state = program_.state;
  if (state.Quitting || state.UnloadRequested || !state.DriveNoticePending || window_->NoticeTimer().Enabled()) return;
  StartQuietWait();
}

void ReportWindow::OnCloseButtonMouseMove(int16_t, int16_t, float, float) {
  if (program_.state.Quitting) return;
  window_->CloseButton().SetPictureFrom(window_->StoredPicture(kCloseHot));
  window_->MinimiseButton().SetPictureFrom(window_->StoredPicture(kMinimiseNormal));
}

void ReportWindow::OnMinimiseButtonMouseMove(int16_t, int16_t, float, float) {
  if (program_.state.Quitting) return;
  window_->MinimiseButton().SetPictureFrom(window_->StoredPicture(kMinimiseHot));
  window_->CloseButton().SetPictureFrom(window_->StoredPicture(kCloseNormal));
}

void ReportWindow::OnMenuGlyphMouseMove(int16_t, int16_t, float, float) {
  if (program_.state.Quitting) return;
  ShowNormalButtons();
}

void ReportWindow::OnCloseButtonMouseDown(int16_t button, int16_t, float, float) {
  if (program_.state.Quitting || button != toolkit::kLeftButton) return;
  ShowNormalButtons();
  RunQuitCommand(program_);
}

void ReportWindow::OnMinimiseButtonMouseDown(int16_t button, int16_t, float, float) {
  if (program_.state.Quitting || button != toolkit::kLeftButton) return;
  ShowNormalButtons();
  window_->SetWindowState(WindowState::Minimized);
  window_->Refresh();
}

void ReportWindow::OnMenuGlyphMouseDown(int16_t, int16_t, float, float) {
  if (program_.state.Quitting) return;
  // Any press on the glyph is a right press in the menu corner, so it opens the menu and never drags.
  OnMouseDown(toolkit::kRightButton, 0, 0, 0);
}

}  // namespace tarnvik
