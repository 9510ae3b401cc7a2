#include "ui/main_window/report_window.h"

#include <cmath>
#include <cstdlib>

#include "ui/forms.h"
#include "ui/main_window/report_view.h"
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

ReportWindow::ReportWindow(Forms& forms) : forms_(forms), window_(forms.tk.LoadMainWindow(*this)) {}

void ReportWindow::ShowNormalButtons() {
  window_->MinimiseButton().SetPictureFrom(window_->StoredPicture(kMinimiseNormal));
  window_->CloseButton().SetPictureFrom(window_->StoredPicture(kCloseNormal));
}

void ReportWindow::OnResize() {
  if (forms_.quitting) return;
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
  if (driveNoticePending_ && !unloadRequested_ && w.GetWindowState() != WindowState::Minimized &&
      !w.NoticeTimer().Enabled())
    StartQuietWait();
}

void ReportWindow::OnMouseDown(int16_t button, int16_t, float x, float y) {
  if (forms_.quitting) return;

  if (button == toolkit::kRightButton && window_->GetWindowState() == WindowState::Normal && y < kMenuCorner &&
      x < kMenuCorner) {
    forms_.Menu().PopupMenu();
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
  if (forms_.quitting) return;

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
  if (!forms_.quitting && button == toolkit::kLeftButton) dragActive_ = false;
}

void ReportWindow::OnQueryUnload(int16_t&, int16_t) {
  unloadRequested_ = true;
  window_->Hide();
  // Hide the menu form only while it exists: the reference would otherwise load a new one
  // that keeps the process alive after its windows are gone.
  if (forms_.MenuLoaded()) forms_.Menu().Form().Hide();
  window_->WindowTimer().SetEnabled(false);
  window_->WindowTimer().SetInterval(0);
  window_->NoticeTimer().SetEnabled(false);
}

void ReportWindow::OnUnload(int16_t&) {
  if (forms_.MenuLoaded()) forms_.Menu().Form().Unload();
  forms_.ReleaseWindow();
  forms_.tk.DoEvents();
}

void ReportWindow::OnWindowTimer() {
  toolkit::MainWindow& w = *window_;

  if (forms_.quitting) {
    w.WindowTimer().SetEnabled(false);
    w.WindowTimer().SetInterval(0);
    w.Unload();
    return;
  }
  // A tick already due while the window is being unloaded must not touch it.
  if (unloadRequested_) return;

  // A letter can come or go with no notice at all (a mapped network drive, subst). The mask
  // costs no I/O, so every tick looks. It is compared with the mask the last report read, not
  // with the report's letters, which the drive list may filter; a difference starts the quiet
  // wait once, and each further change restarts it, as a notice does. 0 is a failed call.
  const uint32_t letters = forms_.os.drive.GetLogicalDrives();
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
  forms_.os.cursor.GetCursorPos(cursorX_, cursorY_);
  const double left = w.Left();
  const double top = w.Top();
  if (CursorOutside(w.CloseButton(), left, top, cursorX_, cursorY_))
    w.CloseButton().SetPictureFrom(w.StoredPicture(kCloseNormal));
  if (CursorOutside(w.MinimiseButton(), left, top, cursorX_, cursorY_))
    w.MinimiseButton().SetPictureFrom(w.StoredPicture(kMinimiseNormal));
}

void ReportWindow::OnReportBoxKeyDown(int16_t& keyCode, int16_t) {
  if (forms_.quitting) return;
  // Shift, Ctrl and Alt are not looked at: Shift+F5 refreshes like F5.
  switch (keyCode) {
    case kKeyF5:
      if (forms_.reportIdle) RefreshDriveReport(forms_);
      break;
    case kKeyF1:
      RunAboutCommand(forms_);
      break;
    case kKeyF2:
      RunHelpFileCommand(forms_);
      break;
    case kKeyEscape:
      RunQuitCommand(forms_);
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
  if (forms_.quitting || unloadRequested_ || !NoticeChangesLetters(notice)) return;
  // Every notice restarts the wait, so a burst of them gives one rebuild.
  driveNoticePending_ = true;
  StartQuietWait();
}

void ReportWindow::OnNoticeTimer() {
  window_->NoticeTimer().SetEnabled(false);  // one wait, one tick
  if (forms_.quitting || unloadRequested_ || !driveNoticePending_) return;
  // Minimised, the rebuild waits for the restore (OnResize); a build under way is followed
  // by one more when it ends (DriveReportFinished); inside the About box's or the menu's loop a
  // build's yields would pump that loop's messages without its handling, so it waits for the
  // loop's end (ModalLoopEnded). The notice stays pending for all three.
  if (window_->GetWindowState() == WindowState::Minimized || !forms_.reportIdle || forms_.modalLoops > 0) return;
  driveNoticePending_ = false;
  RefreshDriveReport(forms_);
}

void ReportWindow::DriveReportFinished() {
  if (forms_.quitting || unloadRequested_ || !driveNoticePending_ || window_->NoticeTimer().Enabled()) return;
  StartQuietWait();
}

void ReportWindow::OnCloseButtonMouseMove(int16_t, int16_t, float, float) {
  if (forms_.quitting) return;
  window_->CloseButton().SetPictureFrom(window_->StoredPicture(kCloseHot));
  window_->MinimiseButton().SetPictureFrom(window_->StoredPicture(kMinimiseNormal));
}

void ReportWindow::OnMinimiseButtonMouseMove(int16_t, int16_t, float, float) {
  if (forms_.quitting) return;
  window_->MinimiseButton().SetPictureFrom(window_->StoredPicture(kMinimiseHot));
  window_->CloseButton().SetPictureFrom(window_->StoredPicture(kCloseNormal));
}

void ReportWindow::OnMenuGlyphMouseMove(int16_t, int16_t, float, float) {
  if (forms_.quitting) return;
  ShowNormalButtons();
}

void ReportWindow::OnCloseButtonMouseDown(int16_t button, int16_t, float, float) {
  if (forms_.quitting || button != toolkit::kLeftButton) return;
  ShowNormalButtons();
  RunQuitCommand(forms_);
}

void ReportWindow::OnMinimiseButtonMouseDown(int16_t button, int16_t, float, float) {
  if (forms_.quitting || button != toolkit::kLeftButton) return;
  ShowNormalButtons();
  window_->SetWindowState(WindowState::Minimized);
  window_->Refresh();
}

void ReportWindow::OnMenuGlyphMouseDown(int16_t, int16_t, float, float) {
  if (forms_.quitting) return;
  // Any press on the glyph is a right press in the menu corner, so it opens the menu and never drags.
  OnMouseDown(toolkit::kRightButton, 0, 0, 0);
}

}  // namespace tarnvik
