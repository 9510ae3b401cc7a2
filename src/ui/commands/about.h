// The About box.
#pragma once

#include <string>

#include "ui/toolkit/toolkit.h"

namespace tarnvik {

inline constexpr const char* kAboutTitle = " QELM Tarnvik  About / Info...";

/// The About text: 20 lines, each ended by a carriage return alone.
const std::string& AboutText();

/// Shows the About text in a modal message box and waits until it is closed.
void ShowAbout(toolkit::Toolkit& toolkit);

}  // namespace tarnvik
