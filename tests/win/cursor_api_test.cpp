// The cursor adapter under Wine's display driver: where the cursor is put, it is read back.
#include "ui/main_window/cursor_api_win.h"

#include <gtest/gtest.h>

#include "base/win32_win.h"
#include "test_env_win.h"

namespace tarnvik {
namespace {

TEST(WinCursorApi, ReadsBackWhereTheCursorWasPut) {
  if (!testing::EnvUtf8(L"DISPLAY")) GTEST_SKIP() << "no display to hold a cursor";
  win::WinCursorApi api;
  for (const POINT target : {POINT{123, 45}, POINT{0, 0}, POINT{640, 511}}) {
    ASSERT_TRUE(::SetCursorPos(target.x, target.y));
    int32_t x = -1, y = -1;
    ASSERT_NE(api.GetCursorPos(x, y), 0);
    EXPECT_EQ(x, target.x);
    EXPECT_EQ(y, target.y);
  }
}

}  // namespace
}  // namespace tarnvik
