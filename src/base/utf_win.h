// UTF-8 inside the program, UTF-16 at the Windows edge. One copy of each conversion for the
// whole program: inlined, each caller carried its own.
#pragma once

#include <string>
#include <string_view>

#include "base/win32_win.h"

namespace tarnvik::win {

std::wstring Utf8ToWide(std::string_view text);

std::string WideToUtf8(std::wstring_view text);

}  // namespace tarnvik::win
