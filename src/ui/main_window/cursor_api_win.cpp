#include "ui/main_window/cursor_api_win.h"

#include "base/win32_win.h"

namespace tarnvik::win {

int WinCursorApi::GetCursorPos(int32_t& x, int32_t& y) {
  POINT point{};
  if (!::GetCursorPos(&point)) return 0;
  x = static_cast<int32_t>(point.x);
  y = static_cast<int32_t>(point.y);
  return 1;
}

}  // namespace tarnvik::win
