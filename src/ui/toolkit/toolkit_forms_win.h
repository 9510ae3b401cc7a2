// Inside the Win32 toolkit: the main window, its controls and the state it shares with the
// toolkit. Each native window stores its C++ object in GWLP_USERDATA; each message goes to
// one small handler that turns it into the program's event.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "base/scoped_win.h"
#include "base/win32_win.h"
#include "ui/toolkit/toolkit.h"

namespace tarnvik::win::detail {

inline constexpr wchar_t kMainWindowClass[] = L"TarnvikMainWindow";
inline constexpr wchar_t kPictureClass[] = L"TarnvikPicture";
inline constexpr wchar_t kLabelClass[] = L"TarnvikLabel";

/// Our classes keep their C++ object in GWLP_USERDATA from the first message on.
inline void StoreCreateParam(HWND hwnd, UINT message, LPARAM lParam) {
  if (message != WM_NCCREATE) return;
  const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
  ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
}

template <typename T>
T* StoredObject(HWND hwnd) {
  return reinterpret_cast<T*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

/// Runs a message handler. Nothing may unwind into the system's code, so a handler that throws
/// gets the default processing's answer instead.
template <typename Handle, typename Default>
LRESULT Guarded(Handle handle, Default byDefault) noexcept {
  try {
    return handle();
  } catch (...) {
    return byDefault();
  }
}

/// What the toolkit and its forms share: the module, the count of loaded forms (the message
/// loop ends when it falls to zero) and the main window that owns message boxes.
class ToolkitState {
 public:
  HINSTANCE instance = nullptr;

  void FormLoaded() { ++loadedForms_; }
  /// A form's native window is gone: the window no longer leads to the form's object, and the
  /// form leaves the count once (the last one ends the message loop).
  void FormWindowGone(HWND& hwnd, bool& counted);
  int LoadedForms() const { return loadedForms_; }

  void SetMainWindow(HWND hwnd) { mainWindow_ = hwnd; }
  void ForgetMainWindow(HWND hwnd) {
    if (mainWindow_ == hwnd) mainWindow_ = nullptr;
  }
  /// The main window when it exists and is visible, else null.
  HWND VisibleMainWindow() const;

 private:
  int loadedForms_ = 0;
  HWND mainWindow_ = nullptr;
};

/// Shift state of the events: 1 Shift, 2 Ctrl, 4 Alt.
int16_t ShiftStateNow();
/// The button set held, from a mouse message's wParam (MK_*): 1 left, 2 right, 4 middle.
int16_t ButtonsFromMouseKeys(WPARAM keys);
/// The button a WM_xBUTTONDOWN message names (1 left, 2 right, 4 middle); 0 for other messages.
int16_t ButtonOfPress(UINT message);
/// Shift state from a mouse message's wParam, Alt from the key state.
int16_t ShiftFromMouseKeys(WPARAM keys);

class Win32MainWindow;

struct Geometry {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const Geometry&) const = default;
};

/// Moves a child window unless it is already there: every move asks the system, and the layout
/// pass sets the same places again at every showing and restore.
void MoveChild(HWND hwnd, Geometry& at, const Geometry& to);

class Win32TextBox final : public toolkit::TextBox {
 public:
  std::string Text() const override;
  void SetText(std::string_view text) override;
  void AppendText(std::string_view text) override;
  double FontSize() const override { return points_; }
  void SetFontSize(double points) override;
  void Move(int left, int top, int width, int height) override;

  HWND hwnd = nullptr;
  Geometry at;  ///< where the box was made or last moved

 private:
  double points_ = 9.75;
  int pixels_ = 0;  // the height font_ was made with
  ScopedGdiObject font_;
};

class Win32Label final : public toolkit::Label {
 public:
  // The label has no caption, so its font is a size only: nothing is ever drawn with it.
  double FontSize() const override { return points_; }
  void SetFontSize(double points) override { points_ = points; }
  void Move(int left, int top, int width, int height) override;

  HWND hwnd = nullptr;
  Geometry at;  ///< where the label was made or last moved

 private:
  double points_ = 9;
};

/// A picture control, or a windowless picture holder of the store when it has no window.
class Win32Picture final : public toolkit::PictureBox {
 public:
  Win32Picture(toolkit::PictureId picture, Geometry geometry) : picture_(picture), geometry_(geometry) {}

  toolkit::PictureId Picture() const override { return picture_; }
  void SetPictureFrom(const PictureBox& source) override;
  int Left() const override { return geometry_.left; }
  int Top() const override { return geometry_.top; }
  int Width() const override { return geometry_.width; }
  int Height() const override { return geometry_.height; }
  void SetTop(int top) override;
  void SetLeft(int left) override;
  void SetWidth(int width) override;
  void SetHeight(int height) override;

  HBITMAP Bitmap() const { return bitmap_; }
  void SetBitmapTable(const std::array<HBITMAP, 4>* table);

  HWND hwnd = nullptr;

 private:
  void SetEdge(int Geometry::*edge, int value);
  void Place();

  toolkit::PictureId picture_;
  Geometry geometry_;
  HBITMAP bitmap_ = nullptr;
  const std::array<HBITMAP, 4>* table_ = nullptr;
};

class Win32Timer final : public toolkit::Timer {
 public:
  explicit Win32Timer(UINT_PTR id) : id_(id) {}
  /// The timer's id among the owner window's timers (WM_TIMER's wParam).
  UINT_PTR Id() const { return id_; }

  int Interval() const override { return interval_; }
  void SetInterval(int milliseconds) override;
  bool Enabled() const override { return enabled_; }
  void SetEnabled(bool enabled) override;
  /// True while ticks should reach the handler.
  bool Active() const { return enabled_ && interval_ > 0; }

  HWND owner = nullptr;

 private:
  void Apply();

  UINT_PTR id_;
  int interval_ = 420;
  bool enabled_ = false;
};

class Win32MainWindow final : public toolkit::MainWindow {
 public:
  Win32MainWindow(ToolkitState& state, toolkit::MainWindowEvents& events);
  ~Win32MainWindow() override;
  Win32MainWindow(const Win32MainWindow&) = delete;
  Win32MainWindow& operator=(const Win32MainWindow&) = delete;

  /// False when the native window could not be made; the object is then inert.
  bool Created() const { return hwnd_ != nullptr; }

  void Show() override;
  void Hide() override;
  void Unload() override { UnloadFor(toolkit::kUnloadFromCode); }
  bool Loaded() const override { return loaded_; }

  toolkit::TextBox& ReportBox() override { return reportBox_; }
  toolkit::Label& MenuGlyph() override { return menuGlyph_; }
  toolkit::PictureBox& CloseButton() override { return closeButton_; }
  toolkit::PictureBox& MinimiseButton() override { return minimiseButton_; }
  toolkit::PictureBox& StoredPicture(int index) override;
  toolkit::Timer& WindowTimer() override { return windowTimer_; }
  toolkit::Timer& NoticeTimer() override { return noticeTimer_; }

  toolkit::WindowState GetWindowState() const override;
  void SetWindowState(toolkit::WindowState state) override;
  double Left() const override;
  double Top() const override;
  void SetLeft(double left) override;
  void SetTop(double top) override;
  void SetSize(int width, int height) override;
  int LogPixelsX() override;
  void Refresh() override;
  int PopupMenu(const std::vector<toolkit::MenuItem>& items, int defaultItem) override;

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PictureProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK LabelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ReportBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                        DWORD_PTR refData);

 private:
  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandlePictureMessage(const Win32Picture& picture, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleLabelMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleReportBoxMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  void CreateControls();
  void LoadPictures();
  void PrepareSkin();
  /// Paints `area` of `dc` with the window's own surface (skin and title); the origin of `dc`
  /// lies at window point (originX, originY). The controls paint through it to look transparent.
  void PaintSurface(HDC dc, const RECT& area, int originX, int originY) const;
  void PaintPicture(const Win32Picture& picture, HWND hwnd) const;

  void OnPaint();
  void OnSize();
  void OnMouseDown(int16_t button, WPARAM wParam, LPARAM lParam);
  void OnMouseMove(WPARAM wParam, LPARAM lParam);
  void OnMouseUp(int16_t button, WPARAM wParam, LPARAM lParam);
  void OnTimer(WPARAM id);
  void OnDeviceChange(WPARAM event, LPARAM data);
  LRESULT OnCtlColor(HDC dc);
  void OnColoursChanged();
  void OnNcDestroy();
  void UnloadFor(int16_t mode);

  ToolkitState& state_;
  toolkit::MainWindowEvents& events_;
  HWND hwnd_ = nullptr;
  bool loaded_ = false;
  bool counted_ = false;  ///< counted among the loaded forms until the native window is gone
  bool unloading_ = false;
  bool shown_ = false;  ///< size events reach OnResize only after the first showing
  bool resizing_ = false;
  bool highContrast_ = false;  ///< read at creation and on every settings or colour change
  int keyHandlerDepth_ = 0;    ///< key handlers of the report box running (they can nest through a message pass)

  Win32TextBox reportBox_;
  Win32Label menuGlyph_;
  Win32Picture closeButton_;
  Win32Picture minimiseButton_;
  std::array<Win32Picture, 4> storedPictures_;
  Win32Timer windowTimer_{1};
  Win32Timer noticeTimer_{2};

  ScopedGdiObject skin_;
  std::array<ScopedGdiObject, 4> pictureBitmaps_;
  std::array<HBITMAP, 4> pictureTable_{};
};

/// A 32-bit top-down DIB section holding `pixels` (0xAARRGGBB rows), or null.
HBITMAP CreateDibFromPixels(int width, int height, const uint32_t* pixels);

}  // namespace tarnvik::win::detail
