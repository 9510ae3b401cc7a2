// The cursor query of the window timer, shaped like user32's GetCursorPos.
#pragma once

#include <cstdint>

namespace tarnvik {

class CursorApi {
 public:
  virtual ~CursorApi() = default;
  /// Non-zero on success; x and y untouched on failure.
  virtual int GetCursorPos(int32_t& x, int32_t& y) = 0;
};

}  // namespace tarnvik
