// What a screen reader reads for the painted caption controls.
#pragma once

#include "base/win32_win.h"

namespace tarnvik::win::detail {

/// Answers WM_GETOBJECT for a control that is drawn as a button but is a plain window: the
/// system's own object for the window, except that its role is a push button and its default
/// action ("Press") sends the control BM_CLICK. 0 (the default handling's turn) for any other
/// object asked for, or when the accessibility library cannot be had.
LRESULT AnswerAsPushButton(HWND hwnd, WPARAM wParam, LPARAM lParam);

}  // namespace tarnvik::win::detail
