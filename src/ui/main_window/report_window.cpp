#include "ui/main_window/report_window.h"

#include <cmath>
#include <cstdlib>

#include "ui/commands/commands.h"
#include "ui/controller.h"

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

ReportWindow::ReportWindow(Controller& ui) : ui_(ui), window_(ui.tk.LoadMainWindow(*this)) {}

void ReportWindow::ShowNormalButtons() {
  window_->MinimiseButton().SetPictureFrom(window_->StoredPicture(kMinimiseNormal));
  window_->CloseButton().SetPictureFrom(window_->StoredPicture(kCloseNormal));
}

void ReportWindow::OnResize() {
  if (!ui_.Open()) return;
  toolkit::MainWindow& w = *window_;

  // Widened first: the absolute value of the smallest int would overflow.
  const auto screenDpi = static_cast<int32_t>(std::llabs(static_cast<long long>(w.LogPixelsX())));

  // The skin is a pixel picture that is never scaled: the window keeps its pixel size.
  w.SetSize(kWindowWidth, kWindowHeight);

  w.MenuGlyph().Move(0, 0, 24, 24);
  // A DPI of 0 gives no scale: the fonts keep their sizes and the geometry still applies.
  if (screenDpi != 0) w.MenuGlyph().SetFontSize(ScaledFontSize(9, screenDpi));

  w.CloseButton().SetTop(4);
  w.MinimiseButton().SetTop(4);
  w.CloseButton().SetLeft(278);
  w.MinimiseButton().SetLeft(256);
  w.CloseButton().SetHeight(17);
  w.CloseButton().SetWidth(22);
  w.MinimiseButton().SetHeight(17);
  w.MinimiseButton().SetWidth(22);

  w.ReportBox().Move(11, 35, 286, 346);
  if (screenDpi != 0) w.ReportBox().SetFontSize(ScaledFontSize(10, screenDpi));

  // Restored with a drive notice still waiting: the rebuild held back while minimised follows.
  if (driveNoticePending_ && w.GetWindowState() != WindowState::Minimized &&
      !w.NoticeTimer().Enabled())
    StartQuietWait();
}

void ReportWindow::OnMouseDown(int16_t button, int16_t, float x, float y) {
  if (!ui_.Open()) return;

  if (button == toolkit::kRightButton && window_->GetWindowState() == WindowState::Normal && y < kMenuCorner &&
      x < kMenuCorner) {
    OpenCommandMenu();
    return;
  }

  if (button == toolkit::kLeftButton && window_->GetWindowState() == WindowState::Normal && y < kTitleBandHeight) {
    dragActive_ = true;
    dragStartX_ = x;
    dragStartY_ = y;
  } else {
    dragActive_ = false;
  }
}

void ReportWindow::OnMouseMove(int16_t button, int16_t, float x, float y) {
  if (!ui_.Open()) return;

  // Over the bare surface neither caption button is under the cursor.
  ShowNormalButtons();

  if (button != toolkit::kLeftButton || !dragActive_ || window_->GetWindowState() != WindowState::Normal) {
    dragActive_ = false;
    return;
  }
  if (x == dragStartX_ && y == dragStartY_) return;

  // Moving by the cursor's offset from the press point keeps that point under the cursor.
  const auto left = static_cast<float>(x - dragStartX_ + window_->Left());
  const auto top = static_cast<float>(y - dragStartY_ + window_->Top());
  window_->SetLeft(left);
  window_->SetTop(top);
}

void ReportWindow::OnMouseUp(int16_t button, int16_t, float, float) {
  if (ui_.Open() && button == toolkit::kLeftButton) dragActive_ = false;
}

void ReportWindow::OnQueryUnload(int16_t&, int16_t) {
  ui_.WindowClosing();
  window_->Hide();
  window_->WindowTimer().SetEnabled(false);
  window_->WindowTimer().SetInterval(0);
  window_->NoticeTimer().SetEnabled(false);
}

void ReportWindow::OnUnload(int16_t&) {
  // As a form's unload does, the messages already waiting run before the window goes.
  ui_.tk.DoEvents();
}

void ReportWindow::OnWindowTimer() {
  toolkit::MainWindow& w = *window_;

  if (ui_.Quitting()) {
    w.WindowTimer().SetEnabled(false);
    w.WindowTimer().SetInterval(0);
    w.Unload();
    return;
  }
  // A tick already due while the window is being unloaded must not touch it.
  if (!ui_.Open()) return;

  // A letter can come or go with no notice at all (a mapped network drive, subst). The mask
  // costs no I/O, so every tick looks. It is compared with the mask the last report read, not
  // with the report's letters, which the drive list may filter; a difference starts the quiet
  // wait once, and each further change restarts it, as a notice does. 0 is a failed call.
  const uint32_t letters = ui_.os.drive.GetLogicalDrives();
  if (letters != 0 && letters != reportLetterMask_ && letters != timerLetterMask_) {
    driveNoticePending_ = true;
    StartQuietWait();
  }
  if (letters != 0) timerLetterMask_ = letters;

  const WindowState windowState = w.GetWindowState();
  if (windowState == WindowState::Minimized) {
    ShowNormalButtons();
    return;
  }
  if (windowState != WindowState::Normal) return;

  // A picture control reports no event when the cursor leaves it: look where the cursor is.
  ui_.os.cursor.GetCursorPos(cursorX_, cursorY_);
  const double left = w.Left();
  const double top = w.Top();
  if (CursorOutside(w.CloseButton(), left, top, cursorX_, cursorY_))
    w.CloseButton().SetPictureFrom(w.StoredPicture(kCloseNormal));
  if (CursorOutside(w.MinimiseButton(), left, top, cursorX_, cursorY_))
    w.MinimiseButton().SetPictureFrom(w.StoredPicture(kMinimiseNormal));
}

void ReportWindow::OnReportBoxKeyDown(int16_t& keyCode, int16_t) {
  if (!ui_.Open()) return;
  // Shift, Ctrl and Alt are not looked at: Shift+F5 refreshes like F5. The key then goes on to
  // the box unchanged.
  if (const Command* command = CommandForKey(keyCode)) RunCommand(ui_, *command);
}

void ReportWindow::OpenCommandMenu() {
  const int chosen = [this] {
    const Controller::ModalLoop loop(ui_);
    return window_->PopupMenu(MenuItems(), kDefaultMenuItem);
  }();
  RunMenuItem(ui_, chosen);
}

void ReportWindow::StartQuietWait() {
  toolkit::Timer& quiet = window_->NoticeTimer();
  quiet.SetInterval(kQuietWait);
  quiet.SetEnabled(true);  // also when it runs: the wait starts afresh
}

void ReportWindow::OnDeviceChange(const toolkit::DeviceNotice& notice) {
  if (!ui_.Open() || !NoticeChangesLetters(notice)) return;
  // Every notice restarts the wait, so a burst of them gives one rebuild.
  driveNoticePending_ = true;
  StartQuietWait();
}

void ReportWindow::OnNoticeTimer() {
  window_->NoticeTimer().SetEnabled(false);  // one wait, one tick
  if (!ui_.Open() || !driveNoticePending_) return;
  // Minimised, the rebuild waits for the restore (OnResize); a build under way is followed
  // by one more when it ends (DriveReportFinished); inside the About box's or the menu's loop a
  // build's yields would pump that loop's messages without its handling, so it waits for the
  // loop's end (ModalLoopEnded). The notice stays pending for all three.
  if (window_->GetWindowState() == WindowState::Minimized || !ui_.ReportIdle() || ui_.InModalLoop()) return;
  driveNoticePending_ = false;
  RunCommand(ui_, CommandOf(CommandId::Refresh));
}

void ReportWindow::DriveReportFinished() {
  if (!ui_.Open() || !driveNoticePending_ || window_->NoticeTimer().Enabled()) return;
  StartQuietWait();
}

void ReportWindow::OnCloseButtonMouseMove(int16_t, int16_t, float, float) {
  if (!ui_.Open()) return;
  window_->CloseButton().SetPictureFrom(window_->StoredPicture(kCloseHot));
  window_->MinimiseButton().SetPictureFrom(window_->StoredPicture(kMinimiseNormal));
}

void ReportWindow::OnMinimiseButtonMouseMove(int16_t, int16_t, float, float) {
  if (!ui_.Open()) return;
  window_->MinimiseButton().SetPictureFrom(window_->StoredPicture(kMinimiseHot));
  window_->CloseButton().SetPictureFrom(window_->StoredPicture(kCloseNormal));
}

void ReportWindow::OnMenuGlyphMouseMove(int16_t, int16_t, float, float) {
  if (!ui_.Open()) return;
  ShowNormalButtons();
}

void ReportWindow::OnCloseButtonMouseDown(int16_t button, int16_t, float, float) {
  if (!ui_.Open() || button != toolkit::kLeftButton) return;
  ShowNormalButtons();
  RunCommand(ui_, CommandOf(CommandId::Quit));
}

void ReportWindow::OnMinimiseButtonMouseDown(int16_t button, int16_t, float, float) {
  if (!ui_.Open() || button != toolkit::kLeftButton) return;
  ShowNormalButtons();
  RunCommand(ui_, CommandOf(CommandId::Minimise));
}

void ReportWindow::Minimise() {
  window_->SetWindowState(WindowState::Minimized);
  window_->Refresh();
}

void ReportWindow::OnMenuGlyphMouseDown(int16_t, int16_t, float, float) {
  if (!ui_.Open()) return;
  // Any press on the glyph is a right press in the menu corner, so it opens the menu and never drags.
  OnMouseDown(toolkit::kRightButton, 0, 0, 0);
}

}  // namespace tarnvik
