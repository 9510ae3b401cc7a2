// The window toolkit: forms, controls, events and the application object, as the program sees
// them. Two backends implement it: raw Win32 (toolkit_win.cpp) and a headless one for tests.
// All texts are UTF-8. Positions and sizes are pixels; a window's position is in screen pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/workers.h"

namespace tarnvik::toolkit {

enum class WindowState : int { Normal = 0, Minimized = 1, Maximized = 2 };

/// Mouse buttons as the events pass them (bit set).
enum : int16_t { kLeftButton = 1, kRightButton = 2, kMiddleButton = 4 };

/// The four pictures of the caption buttons; a picture control shows one of them or none.
enum class PictureId : int { None = -1, CloseNormal = 0, MinimiseNormal = 1, MinimiseHot = 2, CloseHot = 3 };

class TextBox {
 public:
  virtual ~TextBox() = default;
  virtual std::string Text() const = 0;
  virtual void SetText(std::string_view text) = 0;
  /// Adds `text` at the end: the box then holds what SetText(Text() + text) would give, but only
  /// the new lines are laid out, and the view stays where it was.
  virtual void AppendText(std::string_view text) = 0;
  virtual double FontSize() const = 0;
  virtual void SetFontSize(double points) = 0;
  virtual void Move(int left, int top, int width, int height) = 0;
};

class Label {
 public:
  virtual ~Label() = default;
  virtual double FontSize() const = 0;
  virtual void SetFontSize(double points) = 0;
  virtual void Move(int left, int top, int width, int height) = 0;
};

class PictureBox {
 public:
  virtual ~PictureBox() = default;
  virtual PictureId Picture() const = 0;
  /// Shows the picture that `source` holds (a copy of its picture, as the store is used).
  virtual void SetPictureFrom(const PictureBox& source) = 0;
  virtual int Left() const = 0;
  virtual int Top() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetTop(int top) = 0;
  virtual void SetLeft(int left) = 0;
  virtual void SetWidth(int width) = 0;
  virtual void SetHeight(int height) = 0;
};

/// A timer of a window. Enabling it, or setting its interval while it is enabled, starts its
/// interval afresh.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual int Interval() const = 0;
  virtual void SetInterval(int milliseconds) = 0;
  virtual bool Enabled() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
};

/// One item of a pop-up menu. An item whose caption is "-" is a separator.
struct MenuItem {
  std::string caption;
  std::string shortcut;  ///< shown beside the caption ("F1"), empty for none
};

/// A device notice the system sent to every top-level window (WM_DEVICECHANGE). The codes are the
/// system's own (DBT_*); the letters and flags are filled in only for a volume's data.
struct DeviceNotice {
  uint32_t event = 0;       ///< 0x8000 arrival, 0x8001 query remove, 0x8004 remove complete, 7 nodes changed ...
  uint32_t deviceType = 0;  ///< type of the data: 2 volume, 3 port, 5 device interface; 0 when there is none
  uint32_t unitMask = 0;    ///< volume: bit 0 is A, bit 25 is Z
  uint16_t flags = 0;       ///< volume: 1 a medium in an existing drive, 2 a network drive
};
enum : uint32_t { kDeviceArrival = 0x8000, kDeviceQueryRemove = 0x8001, kDeviceRemoveComplete = 0x8004 };
enum : uint32_t { kDeviceTypeVolume = 2, kDeviceTypePort = 3, kDeviceTypeInterface = 5 };

/// Events of the main window, delivered on the user-interface thread. Handlers never throw.
class MainWindowEvents {
 public:
  virtual ~MainWindowEvents() = default;
  virtual void OnResize() = 0;
  virtual void OnMouseDown(int16_t button, int16_t shift, float x, float y) = 0;
  virtual void OnMouseMove(int16_t button, int16_t shift, float x, float y) = 0;
  virtual void OnMouseUp(int16_t button, int16_t shift, float x, float y) = 0;
  virtual void OnQueryUnload(int16_t& cancel, int16_t unloadMode) = 0;
  virtual void OnUnload(int16_t& cancel) = 0;
  virtual void OnWindowTimer() = 0;
  virtual void OnNoticeTimer() = 0;
  /// The system answers for the window at once, and never refuses: the handler only takes note.
  virtual void OnDeviceChange(const DeviceNotice& notice) = 0;
  virtual void OnReportBoxKeyDown(int16_t& keyCode, int16_t shift) = 0;
  virtual void OnCloseButtonMouseMove(int16_t button, int16_t shift, float x, float y) = 0;
  virtual void OnCloseButtonMouseDown(int16_t button, int16_t shift, float x, float y) = 0;
  virtual void OnMinimiseButtonMouseMove(int16_t button, int16_t shift, float x, float y) = 0;
  virtual void OnMinimiseButtonMouseDown(int16_t button, int16_t shift, float x, float y) = 0;
  virtual void OnMenuGlyphMouseMove(int16_t button, int16_t shift, float x, float y) = 0;
  virtual void OnMenuGlyphMouseDown(int16_t button, int16_t shift, float x, float y) = 0;
};

/// What an unload was started by (passed to OnQueryUnload; the program ignores it).
enum : int16_t { kUnloadFromControlMenu = 0, kUnloadFromCode = 1, kUnloadFromWindows = 2, kUnloadFromTaskManager = 3 };

/// A loaded form. Unload raises OnQueryUnload, then OnUnload, then destroys the native
/// window; a close request from the system does the same. The object itself stays valid
/// (inert) after the unload, so a handler that is still on the stack can return safely.
class Form {
 public:
  virtual ~Form() = default;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void Unload() = 0;
  virtual bool Loaded() const = 0;
};

/// The skinned main window and its controls.
class MainWindow : public Form {
 public:
  virtual TextBox& ReportBox() = 0;
  virtual Label& MenuGlyph() = 0;
  virtual PictureBox& CloseButton() = 0;
  virtual PictureBox& MinimiseButton() = 0;
  virtual PictureBox& StoredPicture(int index) = 0;  ///< the hidden picture store, 0 to 3
  virtual Timer& WindowTimer() = 0;
  virtual Timer& NoticeTimer() = 0;

  virtual WindowState GetWindowState() const = 0;
  virtual void SetWindowState(WindowState state) = 0;
  /// Screen position of the window's top-left corner, in pixels.
  virtual double Left() const = 0;
  virtual double Top() const = 0;
  virtual void SetLeft(double left) = 0;
  virtual void SetTop(double top) = 0;
  /// Outer size in device pixels.
  virtual void SetSize(int width, int height) = 0;
  /// GetDeviceCaps(LOGPIXELSX) on the window's device context.
  virtual int LogPixelsX() = 0;
  /// Repaints the window at once.
  virtual void Refresh() = 0;
  /// Opens `items` as a pop-up menu of the window at the cursor, `defaultItem` drawn bold, and
  /// returns the index of the chosen item, or -1 when the menu was dismissed. The menu is made
  /// as it opens and goes when it closes.
  virtual int PopupMenu(const std::vector<MenuItem>& items, int defaultItem) = 0;
};

/// Message-box styles the program uses.
enum : int { kMbOk = 0, kMbIconQuestion = 32 };
/// Window style of a started process: normal, with the focus.
inline constexpr int kNormalFocus = 1;

/// The application object and the toolkit's services; its workers run the report's queries.
class Toolkit : public Workers {
 public:
  virtual ~Toolkit() = default;
  /// Load creates the form and its controls, hidden.
  virtual std::unique_ptr<MainWindow> LoadMainWindow(MainWindowEvents& events) = 0;

  /// Handles every pending message, then returns.
  virtual void DoEvents() = 0;
  /// Sleeps until a message arrives or Wake (of Workers) is called, then handles every pending
  /// message and returns. Paint, input and close keep flowing while the caller waits for a worker.
  virtual void WaitEvents() = 0;
  /// Modal message box; returns the button chosen.
  virtual int MsgBox(std::string_view text, int style, std::string_view title) = 0;
  /// Starts a process from a command line without waiting; false when it could not start.
  virtual bool Shell(std::string_view commandLine, int windowStyle) = 0;

  virtual void SetTitle(std::string_view title) = 0;
  /// Folder of the running executable, without a trailing "\" except for a drive root.
  virtual std::string Path() const = 0;
  /// File name of the running executable, without folder and extension.
  virtual std::string ExeName() const = 0;
  /// True when an instance of this same program started earlier and still runs.
  virtual bool PrevInstance() const = 0;
};

}  // namespace tarnvik::toolkit
