#pragma once

#include "ui/main_window/cursor_api.h"

namespace tarnvik::testing {

class FakeCursorApi : public CursorApi {
 public:
  bool ok = true;
  int32_t x = 0, y = 0;
  int GetCursorPos(int32_t& outX, int32_t& outY) override {
    if (!ok) return 0;
    outX = x;
    outY = y;
    return 1;
  }
};

}  // namespace tarnvik::testing
