// The report window: the skinned main window and its event handlers.
#pragma once

#include <memory>

#include "ui/toolkit/skin.h"
#include "ui/toolkit/toolkit.h"

namespace tarnvik {

class Controller;

inline constexpr int kMenuCorner = 28;
inline constexpr int kTimerInterval = 125;
/// How long the drive notices must have been quiet before the report is rebuilt. A stick with
/// several partitions or a card reader announces its letters one notice each, back to back
/// (well within a tenth of a second); 200 ms covers such a burst and leaves the rebuild most of
/// the second in which the report should follow the drives, even with slow drives to ask.
inline constexpr int kQuietWait = 200;

class ReportWindow final : public toolkit::MainWindowEvents {
 public:
  /// Loads the window and its controls, hidden.
  explicit ReportWindow(Controller& ui);

  toolkit::MainWindow& Form() { return *window_; }

  // Layout pass.
  void OnResize() override;
  // Dragging, the menu corner and closing.
  void OnMouseDown(int16_t button, int16_t shift, float x, float y) override;
  void OnMouseMove(int16_t button, int16_t shift, float x, float y) override;
  void OnMouseUp(int16_t button, int16_t shift, float x, float y) override;
  void OnQueryUnload(int16_t& cancel, int16_t unloadMode) override;
  void OnUnload(int16_t& cancel) override;
  // Deferred quit, caption-button reset, and letters that change without a notice.
  void OnWindowTimer() override;
  // Keyboard commands.
  void OnReportBoxKeyDown(int16_t& keyCode, int16_t shift) override;
  // Drives that come and go: a notice starts the quiet wait on the notice timer, its tick rebuilds.
  void OnDeviceChange(const toolkit::DeviceNotice& notice) override;
  void OnNoticeTimer() override;
  /// A report build has ended: a notice that came during it asks for one more rebuild.
  void DriveReportFinished();
  /// The About box or the pop-up menu has closed: a rebuild held back while it was open follows,
  /// as after a build.
  void ModalLoopEnded() { DriveReportFinished(); }
  /// A report build begins with the letter mask (GetLogicalDrives) it read.
  void ReportBegins(uint32_t letterMask) { reportLetterMask_ = letterMask; }
  /// Minimises the window and repaints it at once.
  void Minimise();
  // Caption buttons and menu glyph.
  void OnCloseButtonMouseMove(int16_t button, int16_t shift, float x, float y) override;
  void OnCloseButtonMouseDown(int16_t button, int16_t shift, float x, float y) override;
  void OnMinimiseButtonMouseMove(int16_t button, int16_t shift, float x, float y) override;
  void OnMinimiseButtonMouseDown(int16_t button, int16_t shift, float x, float y) override;
  void OnMenuGlyphMouseMove(int16_t button, int16_t shift, float x, float y) override;
  void OnMenuGlyphMouseDown(int16_t button, int16_t shift, float x, float y) override;

 private:
  void ShowNormalButtons();
  void StartQuietWait();
  void OpenCommandMenu();

  Controller& ui_;
  std::unique_ptr<toolkit::MainWindow> window_;
  // A left press in the title band, where it was; a move then drags the window by it.
  bool dragActive_ = false;
  float dragStartX_ = 0, dragStartY_ = 0;
  // A volume came or went and the report has not been rebuilt for it yet.
  bool driveNoticePending_ = false;
  // The letter mask read as the last report began, and the one the window timer read last: a
  // letter that comes or goes with no notice shows as a change.
  uint32_t reportLetterMask_ = 0;
  uint32_t timerLetterMask_ = 0;
  // The cursor's last known position: a failed read keeps it.
  int32_t cursorX_ = 0, cursorY_ = 0;
};

}  // namespace tarnvik
