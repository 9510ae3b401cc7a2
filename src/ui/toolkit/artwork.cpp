// The skin and the caption-button pictures, drawn from code when the window is made.
#include "ui/toolkit/artwork.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "ui/toolkit/artwork_paint.h"

namespace tarnvik::art {
namespace {

using namespace paint;
using toolkit::PictureId;

// ---------------------------------------------------------------------------------------------
// The title band and the page.

constexpr int kBandRows = 28;
constexpr int kPageBottom = 387;
constexpr int kFrameWidth = 4;

/// The band darkens quickly towards the top so that the title, vertically centred, stands on a
/// strong blue; the last rows fade into the pale blue that meets the page.
Rgb BandColour(int y) {
  const int last = kBandRows - 1;
  y = std::clamp(y, 0, last);
  // Half linear, half quadratic: an ease-in that still moves on every row.
  const int t = y * last + y * y;
  return Mix(kTitleTop, kTitleBottom, t, 2 * last * last);
}

uint32_t Hash(uint32_t x, uint32_t y) {
  uint32_t h = x * 374761393u + y * 668265263u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}

/// Paper grain: each pixel a level or two off the page colour, never more than two.
Rgb PaperColour(int x, int y) {
  const uint32_t h = Hash(static_cast<uint32_t>(x), static_cast<uint32_t>(y));
  const int grain = static_cast<int>(h % 3) + static_cast<int>((h >> 8) % 3) - 2;  // -2..2, mostly 0
  // A faint warm fleck now and then, as in rag paper.
  const int fleck = (h >> 16) % 23 == 0 ? 1 : 0;
  const auto near = [grain](uint8_t base, int tint) { return Channel(base + std::clamp(grain - tint, -2, 2)); };
  return {near(kPageColour.r, 0), near(kPageColour.g, fleck), near(kPageColour.b, 2 * fleck)};
}

/// One ring of a 3-D edge from (l, t) to (r, b) inclusive. As in the system's own edges, the
/// bottom-left and top-right corner pixels belong to the bottom and right lines.
void DrawEdgeRing(Bitmap& bm, int l, int t, int r, int b, Rgb topLeft, Rgb bottomRight) {
  for (int x = l; x < r; ++x) Put(bm, x, t, topLeft);
  for (int y = t; y < b; ++y) Put(bm, l, y, topLeft);
  for (int x = l; x <= r; ++x) Put(bm, x, b, bottomRight);
  for (int y = t; y <= b; ++y) Put(bm, r, y, bottomRight);
}

// ---------------------------------------------------------------------------------------------
// Caption buttons.

struct ButtonLook {
  Rgb outline, top, bottom, symbolShadow;
};

ButtonLook LookOf(PictureId picture) {
  switch (picture) {
    case PictureId::CloseNormal:
      return {{104, 22, 16}, {204, 78, 62}, {142, 28, 20}, {84, 10, 6}};
    case PictureId::CloseHot:
      return {{168, 46, 12}, {255, 146, 102}, {236, 72, 30}, {150, 34, 6}};
    case PictureId::MinimiseNormal:
      return {{36, 44, 58}, {122, 136, 156}, {58, 68, 86}, {22, 28, 40}};
    case PictureId::MinimiseHot:
      return {{22, 70, 164}, {126, 186, 255}, {38, 112, 232}, {14, 50, 140}};
    case PictureId::None:
      break;
  }
  return {};
}

constexpr Rgb kWhite{255, 255, 255};

/// The close cross: two strokes crossing at the button's centre (11, 9), a pixel corner, so
/// that each diagonal runs through pixel centres and stays sharp.
template <class Paint>
void DrawCross(Bitmap& bm, i64 dy, const Paint& paint, int opacity) {
  const i64 hw = 14;  // a stroke a little under two pixels wide
  const Stroke a{Px(8) - 6, Px(6) - 6, Px(14) + 6, Px(12) + 6, hw};
  const Stroke b{Px(14) + 6, Px(6) - 6, Px(8) - 6, Px(12) + 6, hw};
  const auto both = [&](i64 x, i64 y) { return a(x, y - dy) || b(x, y - dy); };
  Fill(bm, {0, 0, bm.width, bm.height}, both, paint, opacity);
}

/// The minimise symbol: a small downward triangle over a bar. The triangle is stepped a whole
/// pixel per row so that it stays crisp at this size.
template <class Paint>
void DrawMinimiseSymbol(Bitmap& bm, i64 dy, const Paint& paint, int opacity) {
  const auto symbol = [dy](i64 x, i64 y) {
    y -= dy;
    if (y >= Px(10) && y < Px(12)) return x >= Px(7) && x < Px(15);  // the bar
    if (y < Px(6) || y >= Px(9)) return false;
    const i64 step = y / kUnit - 6;  // rows 6..8: 6, 4 and 2 pixels wide
    return x >= Px(8) + Px(1) * step && x < Px(14) - Px(1) * step;
  };
  Fill(bm, {0, 0, bm.width, bm.height}, symbol, paint, opacity);
}

/// Draws one button picture onto the title band rows it will cover (band row 4 + y).
Bitmap DrawButton(PictureId picture) {
  constexpr int kBandTop = 4;
  Bitmap bm = Blank(kButtonWidth, kButtonHeight, {}, 255);
  for (int y = 0; y < kButtonHeight; ++y)
    for (int x = 0; x < kButtonWidth; ++x) Put(bm, x, y, BandColour(kBandTop + y));

  const ButtonLook look = LookOf(picture);
  // Body: pixels 1..20 by 1..16, so the pair leaves a two-pixel gap and the symbols centre evenly.
  const RoundRect outer{Px(1), Px(1), Px(21), Px(17), Px(3)};
  FillSolid(bm, outer, look.outline);
  const RoundRect body = outer.Inset(Px(1));
  Fill(bm, body.Bounds(), body, VerticalGradient{2, 15, look.top, look.bottom});
  // Glass: a lighter upper half with a bright rim along the top.
  const RoundRect gloss{body.x0, body.y0, body.x1, Px(9), Px(2)};
  Fill(bm, gloss.Bounds(), gloss, [](int, int) { return kWhite; }, 46);
  FillSolid(bm, RoundRect{body.x0 + 8, body.y0, body.x1 - 8, body.y0 + Px(1), 8}, kWhite, 70);

  const int shadowOpacity = 150;
  const auto shadow = [&](int, int) { return look.symbolShadow; };
  const auto white = [](int, int) { return kWhite; };
  if (picture == PictureId::CloseNormal || picture == PictureId::CloseHot) {
    DrawCross(bm, kUnit, shadow, shadowOpacity);
    DrawCross(bm, 0, white, 255);
  } else {
    DrawMinimiseSymbol(bm, kUnit, shadow, shadowOpacity);
    DrawMinimiseSymbol(bm, 0, white, 255);
  }
  return bm;
}

// ---------------------------------------------------------------------------------------------
// The menu glyph: a grey two-bay drive cabinet with cyan lights, 12 x 13 pixels.

void DrawMenuGlyph(Bitmap& bm, int left, int top) {
  // One letter per pixel; '.' leaves the band showing, 'd' and 'f' are half-covered edges.
  static constexpr std::array<const char*, 13> kRows = {
      "dOOOOOOOOOOd",  //
      "OHHHHHHHHHHO",  //
      "OMssssssssMO",  //
      "OMkkkkkkcCMO",  //
      "OMwwwwwwwwMO",  //
      "OMMMMMMMMMMO",  //
      "OMssssssssMO",  //
      "OMkkkkkkcCMO",  //
      "OMwwwwwwwwMO",  //
      "OMMMMMMMMMMO",  //
      "OBBBBBBBBBBO",  //
      "dOOOOOOOOOOd",  //
      ".fFf....fFf.",  //
  };
  for (int y = 0; y < static_cast<int>(kRows.size()); ++y) {
    const Rgb body = Mix({220, 224, 230}, {162, 168, 178}, y, 11);
    for (int x = 0; x < 12; ++x) {
      const int px = left + x, py = top + y;
      switch (kRows[static_cast<std::size_t>(y)][x]) {
        case 'O': Put(bm, px, py, {70, 76, 88}); break;
        case 'd': Blend(bm, px, py, {70, 76, 88}, 110); break;
        case 'H': Put(bm, px, py, {244, 246, 250}); break;
        case 'M': Put(bm, px, py, body); break;
        case 'B': Put(bm, px, py, {136, 142, 152}); break;
        case 's': Put(bm, px, py, {92, 98, 110}); break;
        case 'k': Put(bm, px, py, {120, 126, 138}); break;
        case 'w': Put(bm, px, py, {236, 238, 242}); break;
        case 'c': Put(bm, px, py, {0, 150, 190}); break;
        case 'C': Put(bm, px, py, {80, 236, 255}); break;
        case 'F': Put(bm, px, py, {70, 76, 88}); break;
        case 'f': Blend(bm, px, py, {70, 76, 88}, 120); break;
        default: break;
      }
    }
  }
}

}  // namespace

Bitmap DrawSkin() {
  Bitmap bm = Blank(kSkinWidth, kSkinHeight, kPageColour, 255);
  const int right = kSkinWidth - 1;
  const int bottom = kSkinHeight - 1;

  // The grain is drawn only where it shows: the report box covers the page 3 pixels inside the
  // inset, and the skin is drawn at every start.
  constexpr int kBoxLeft = 11, kBoxTop = 35, kBoxRight = 296, kBoxBottom = 380;
  for (int y = kBandRows; y <= kPageBottom; ++y) {
    const bool besideBox = y < kBoxTop || y > kBoxBottom;
    for (int x = kFrameWidth; x < kSkinWidth - kFrameWidth; ++x) {
      if (!besideBox && x == kBoxLeft) x = kBoxRight + 1;
      Put(bm, x, y, PaperColour(x, y));
    }
  }

  for (int y = 0; y < kBandRows; ++y)
    for (int x = 0; x < kSkinWidth; ++x) Put(bm, x, y, BandColour(y));

  // The frame: three blue lines and a pale one, from the outside in, on the sides and bottom.
  const std::array<Rgb, kFrameWidth> frame{kFrameOuter, kFrameMiddle, kFrameInner, kFramePale};
  for (int i = 0; i < kFrameWidth; ++i) {
    const int top = i == 0 ? 0 : kBandRows;
    for (int y = top; y <= bottom - i; ++y) {
      Put(bm, i, y, frame[static_cast<std::size_t>(i)]);
      Put(bm, right - i, y, frame[static_cast<std::size_t>(i)]);
    }
    for (int x = i; x <= right - i; ++x) Put(bm, x, bottom - i, frame[static_cast<std::size_t>(i)]);
  }

  // The etched inset: a sunken outer ring and a raised inner one, a dark line with a light line
  // a pixel down and to the right of it.
  DrawEdgeRing(bm, 8, 32, 299, 383, kEtchDark, kEtchLight);
  DrawEdgeRing(bm, 9, 33, 298, 382, kEtchLight, kEtchDark);

  // The grip: raised dots in the corner between the inset and the frame.
  constexpr std::array<std::array<int, 2>, 5> kGrip{{{301, 385}, {298, 385}, {301, 382}, {295, 385}, {301, 379}}};
  for (const auto& dot : kGrip) {
    Put(bm, dot[0] + 1, dot[1] + 1, {206, 198, 176});
    Put(bm, dot[0], dot[1], {255, 255, 255});
  }

  DrawMenuGlyph(bm, 8, 8);

  // The buttons as they look at rest, so the skin alone already shows them where they stand.
  const auto blit = [&bm](const Bitmap& picture, int left, int top) {
    for (int y = 0; y < picture.height; ++y)
      for (int x = 0; x < picture.width; ++x) PixelRef(bm, left + x, top + y) = picture.At(x, y);
  };
  blit(DrawButton(PictureId::MinimiseNormal), 256, 4);
  blit(DrawButton(PictureId::CloseNormal), 278, 4);
  return bm;
}

Bitmap DrawCaptionButton(PictureId picture) {
  if (picture == PictureId::None) return {};
  return DrawButton(picture);
}

}  // namespace tarnvik::art