// The program's pictures, drawn by code so that every pixel can be rebuilt and reviewed:
// the skin, the four caption-button pictures and the icon. The build's artwork generator
// writes the buttons and the icon as resource files; the skin is drawn at start, because as a
// 24-bit resource it would weigh more than the rest of the program.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/toolkit/toolkit.h"

namespace tarnvik::art {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

/// Top-down rows of 0xAARRGGBB pixels.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;

  uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
  Rgb RgbAt(int x, int y) const {
    const uint32_t p = At(x, y);
    return {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p)};
  }
  uint8_t AlphaAt(int x, int y) const { return static_cast<uint8_t>(At(x, y) >> 24); }
};

inline constexpr int kSkinWidth = 308;
inline constexpr int kSkinHeight = 392;
inline constexpr int kButtonWidth = 22;
inline constexpr int kButtonHeight = 17;

inline constexpr Rgb kPageColour{244, 238, 220};
inline constexpr Rgb kTitleTop{86, 151, 231};
inline constexpr Rgb kTitleBottom{229, 237, 250};
inline constexpr Rgb kTitleText{243, 241, 0};
inline constexpr Rgb kFrameOuter{86, 151, 231};
inline constexpr Rgb kFrameMiddle{119, 169, 232};
inline constexpr Rgb kFrameInner{165, 197, 238};
inline constexpr Rgb kFramePale{221, 230, 245};
inline constexpr Rgb kEtchDark{199, 193, 175};
inline constexpr Rgb kEtchLight{252, 254, 252};
/// Where the title text starts; the toolkit paints the text itself with the system's font.
inline constexpr int kTitleTextLeft = 31;

/// The 308 x 392 skin without its title text, opaque.
Bitmap DrawSkin();
/// One of the four 22 x 17 caption-button pictures, opaque.
Bitmap DrawCaptionButton(toolkit::PictureId picture);
/// The icon's sizes: 16, 32 and 48 as ever, 20, 24, 40 and 64 for the small and large icons at
/// 125 to 200 % display scale, and 256 for Explorer's largest views.
inline constexpr int kIconSizes[] = {16, 20, 24, 32, 40, 48, 64, 256};

/// The icon at size x size (1 to 256), with alpha.
Bitmap DrawIcon(int size);

}  // namespace tarnvik::art
