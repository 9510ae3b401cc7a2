// A toolkit with no screen: forms and controls keep their state in memory, and a test (or a
// benchmark) fires the events a user or the system would. A real backend, not a mock: the
// program runs on it unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/toolkit/toolkit.h"

namespace tarnvik::toolkit {

class HeadlessToolkit;

struct HeadlessGeometry {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const HeadlessGeometry&) const = default;
};

class HeadlessTextBox final : public TextBox {
 public:
  std::string Text() const override { return text_; }
  void SetText(std::string_view text) override;
  void AppendText(std::string_view text) override;
  double FontSize() const override { return fontSize_; }
  void SetFontSize(double points) override { fontSize_ = points; }
  void Move(int left, int top, int width, int height) override { geometry_ = {left, top, width, height}; }

  HeadlessGeometry geometry() const { return geometry_; }
  /// Writes to the box, whole or appended.
  int setTextCount() const { return setTextCount_; }
  /// Runs at every write of the whole text, with the text.
  std::function<void(std::string_view)> onSetText;

 private:
  std::string text_;
  double fontSize_ = 9.75;
  HeadlessGeometry geometry_{11, 35, 286, 346};
  int setTextCount_ = 0;
};

class HeadlessLabel final : public Label {
 public:
  double FontSize() const override { return fontSize_; }
  void SetFontSize(double points) override { fontSize_ = points; }
  void Move(int left, int top, int width, int height) override { geometry_ = {left, top, width, height}; }
  HeadlessGeometry geometry() const { return geometry_; }

 private:
  double fontSize_ = 9;
  HeadlessGeometry geometry_{0, 0, 24, 24};
};

class HeadlessPictureBox final : public PictureBox {
 public:
  HeadlessPictureBox(PictureId picture, HeadlessGeometry geometry) : picture_(picture), geometry_(geometry) {}
  PictureId Picture() const override { return picture_; }
  void SetPictureFrom(const PictureBox& source) override { picture_ = source.Picture(); }
  int Left() const override { return geometry_.left; }
  int Top() const override { return geometry_.top; }
  int Width() const override { return geometry_.width; }
  int Height() const override { return geometry_.height; }
  void SetTop(int top) override { geometry_.top = top; }
  void SetLeft(int left) override { geometry_.left = left; }
  void SetWidth(int width) override { geometry_.width = width; }
  void SetHeight(int height) override { geometry_.height = height; }

 private:
  PictureId picture_;
  HeadlessGeometry geometry_;
};

class HeadlessTimer final : public Timer {
 public:
  int Interval() const override { return interval_; }
  void SetInterval(int milliseconds) override {
    interval_ = milliseconds;
    elapsed_ = 0;
  }
  bool Enabled() const override { return enabled_; }
  void SetEnabled(bool enabled) override {
    enabled_ = enabled;
    elapsed_ = 0;
  }
  /// One millisecond passes; true when the timer is due to tick.
  bool Step();

 private:
  int interval_ = 420;
  bool enabled_ = false;
  int elapsed_ = 0;  // milliseconds since the interval last began
};

class HeadlessMainWindow final : public MainWindow {
 public:
  HeadlessMainWindow(HeadlessToolkit& toolkit, MainWindowEvents& events);
  ~HeadlessMainWindow() override;

  void Show() override;
  void Hide() override { visible_ = false; }
  void Unload() override;
  bool Loaded() const override { return loaded_; }

  TextBox& ReportBox() override { return reportBox_; }
  Label& MenuGlyph() override { return menuGlyph_; }
  PictureBox& CloseButton() override { return closeButton_; }
  PictureBox& MinimiseButton() override { return minimiseButton_; }
  PictureBox& StoredPicture(int index) override { return storedPictures_.at(static_cast<std::size_t>(index)); }
  Timer& WindowTimer() override { return windowTimer_; }
  Timer& NoticeTimer() override { return noticeTimer_; }

  WindowState GetWindowState() const override { return state_; }
  void SetWindowState(WindowState state) override;
  double Left() const override { return left_; }
  double Top() const override { return top_; }
  void SetLeft(double left) override { left_ = left; }
  void SetTop(double top) override { top_ = top; }
  void SetSize(int width, int height) override;
  int LogPixelsX() override;
  void Refresh() override { ++refreshCount_; }
  int PopupMenu(const std::vector<MenuItem>& items, int defaultItem) override;

  // What a test inspects or drives.
  bool visible() const { return visible_; }
  /// Whether the window timer was already running when the window was first shown.
  bool timerRanWhenShown() const { return timerRanWhenShown_; }
  int width() const { return width_; }
  int height() const { return height_; }
  int refreshCount() const { return refreshCount_; }
  HeadlessTextBox& reportBox() { return reportBox_; }
  HeadlessLabel& menuGlyph() { return menuGlyph_; }
  HeadlessTimer& windowTimer() { return windowTimer_; }
  HeadlessTimer& noticeTimer() { return noticeTimer_; }
  MainWindowEvents& events() { return events_; }
  /// A close request from outside the program (task bar, log-off).
  void RequestClose();
  /// A timer tick, delivered only while the window is loaded and its timer enabled.
  bool Tick();
  /// A key pressed in the report box; returns the key code as the handler left it.
  int16_t PressKey(int16_t keyCode, int16_t shift = 0);
  /// A device notice from the system, delivered while the window is loaded.
  void DeviceChange(const DeviceNotice& notice);
  /// Lets `milliseconds` pass on the toolkit's clock, one at a time: each timer ticks when its
  /// interval is up, the window timer before the notice timer in the same millisecond.
  void Advance(int milliseconds);

 private:
  void UnloadFor(int16_t unloadMode);

  HeadlessToolkit& toolkit_;
  MainWindowEvents& events_;
  HeadlessTextBox reportBox_;
  HeadlessLabel menuGlyph_;
  HeadlessPictureBox closeButton_;
  HeadlessPictureBox minimiseButton_;
  std::vector<HeadlessPictureBox> storedPictures_;
  HeadlessTimer windowTimer_;
  HeadlessTimer noticeTimer_;
  WindowState state_ = WindowState::Normal;
  double left_ = 0, top_ = 0;
  int width_ = 0, height_ = 0;
  bool visible_ = false;
  bool timerRanWhenShown_ = false;
  bool loaded_ = true;
  int refreshCount_ = 0;
};

/// One opened pop-up menu, as the toolkit saw it.
struct PopupRecord {
  std::vector<MenuItem> items;
  int defaultItem = -1;
};

struct MessageBoxRecord {
  std::string text;
  int style = 0;
  std::string title;
};

class HeadlessToolkit : public Toolkit {
 public:
  std::unique_ptr<MainWindow> LoadMainWindow(MainWindowEvents& events) override;
  void DoEvents() override;
  void WaitEvents() override;
  void Wake() override { ++wakeCount; }
  bool RunInBackground(std::function<void()> work) override {
    if (noThreads) return false;
    backgroundWork.push_back(std::move(work));
    return true;
  }
  int MsgBox(std::string_view text, int style, std::string_view title) override;
  bool Shell(std::string_view commandLine, int windowStyle) override;
  void SetTitle(std::string_view text) override { title = std::string(text); }
  std::string Path() const override { return path; }
  std::string ExeName() const override { return exeName; }
  bool PrevInstance() const override { return prevInstance; }

  // Settings a test makes before the program runs.
  int logPixelsX = 96;  ///< what the DPI query answers
  std::string path = "C:\\Tools";
  std::string exeName = "tarnvik";
  bool prevInstance = false;
  bool shellSucceeds = true;
  /// Runs inside every DoEvents, with the yield's number (from 1). Lets a test act "during" a build.
  std::function<void(int)> onDoEvents;
  /// Chooses the item of a pop-up menu (-1: dismissed). Runs while the menu is "open".
  std::function<int(const PopupRecord&)> onPopupMenu;
  /// Runs while a message box is "open".
  std::function<void(const MessageBoxRecord&)> onMsgBox;
  /// Background work runs on the caller's thread, in the order it was started: one piece at each
  /// WaitEvents, which then handles the "messages" as DoEvents does (onDoEvents runs). Held, it
  /// runs only when a test says so: late, out of order or never. An exception out of a work is
  /// swallowed, as on a real worker.
  bool holdBackgroundWork = false;
  /// No thread can be had: RunInBackground refuses every work.
  bool noThreads = false;
  /// Work started and not yet run.
  std::deque<std::function<void()>> backgroundWork;
  /// Runs the held work at `index` of backgroundWork and removes it.
  void RunBackgroundWork(std::size_t index);

  // What the program did.
  std::string title;
  int64_t nowMs = 0;      ///< the clock that Advance moves on
  int doEventsCount = 0;  ///< DoEvents and WaitEvents together: every time messages were handled
  int waitEventsCount = 0;
  int wakeCount = 0;
  std::vector<PopupRecord> popups;
  std::vector<MessageBoxRecord> messageBoxes;
  std::vector<std::pair<std::string, int>> shellCalls;
  int loadedForms = 0;
  int mainWindowsLoaded = 0;
  int mainWindowsShown = 0;  ///< main windows shown at least once
  /// The main window loaded last (null before any), for tests to drive.
  HeadlessMainWindow* mainWindow = nullptr;
};

}  // namespace tarnvik::toolkit
