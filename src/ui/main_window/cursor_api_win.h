// The cursor query of the window timer, answered by user32.
#pragma once

#include "ui/main_window/cursor_api.h"

namespace tarnvik::win {

class WinCursorApi final : public CursorApi {
 public:
  /// Screen pixels; x and y untouched when the call fails.
  int GetCursorPos(int32_t& x, int32_t& y) override;
};

}  // namespace tarnvik::win
