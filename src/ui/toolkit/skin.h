// The main window's skin as the toolkit draws it: its pixel size, the title band a press drags
// it by, and the names a screen reader gives the caption controls.
#pragma once

namespace tarnvik {

inline constexpr int kWindowWidth = 308;
inline constexpr int kWindowHeight = 392;
inline constexpr int kTitleBandHeight = 28;

/// The window texts of the caption controls: never drawn, they are what a screen reader names
/// them, in the menu's bilingual style (the close button quits, as the menu's Quit does).
inline constexpr char kCloseButtonName[] = "Выход / Quit    [Esc]";
inline constexpr char kMinimiseButtonName[] = "Свернуть / Minimise";
inline constexpr char kMenuGlyphName[] = "Меню / Menu";

}  // namespace tarnvik
