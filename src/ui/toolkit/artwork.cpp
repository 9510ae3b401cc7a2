// The skin, the caption-button pictures and the icon, drawn from code.
// Only integer arithmetic is used, so every compiler and platform produces the same pixels.
// Edges are anti-aliased by sampling each shape on an 8 x 8 grid inside every pixel.
#include "ui/toolkit/artwork.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace tarnvik::art {
namespace {

using toolkit::PictureId;
using i64 = std::int64_t;

// Shapes are given in sixteenths of a pixel; samples sit at the odd sixteenths.
constexpr i64 kUnit = 16;
constexpr int kGrid = 8;
constexpr int kSamples = kGrid * kGrid;

constexpr i64 Px(int pixels) { return pixels * kUnit; }

constexpr uint32_t Pack(Rgb c, uint32_t alpha = 255) {
  return alpha << 24 | uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | uint32_t{c.b};
}

constexpr uint8_t Channel(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

constexpr int DivRound(int num, int den) {
  return num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
}

/// `a` moved towards `b` by t / den, rounded to the nearest level.
constexpr Rgb Mix(Rgb a, Rgb b, int t, int den) {
  return {Channel(a.r + DivRound((b.r - a.r) * t, den)), Channel(a.g + DivRound((b.g - a.g) * t, den)),
          Channel(a.b + DivRound((b.b - a.b) * t, den))};
}

Bitmap Blank(int width, int height, Rgb colour, uint32_t alpha) {
  Bitmap bm;
  bm.width = width;
  bm.height = height;
  bm.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), Pack(colour, alpha));
  return bm;
}

uint32_t& PixelRef(Bitmap& bm, int x, int y) { return bm.pixels[static_cast<std::size_t>(y * bm.width + x)]; }

void Put(Bitmap& bm, int x, int y, Rgb c) {
  if (x >= 0 && y >= 0 && x < bm.width && y < bm.height) PixelRef(bm, x, y) = Pack(c);
}

/// Paints `c` with opacity `alpha` (0..255) over the pixel, which may itself be transparent.
void Blend(Bitmap& bm, int x, int y, Rgb c, int alpha) {
  if (x < 0 || y < 0 || x >= bm.width || y >= bm.height || alpha <= 0) return;
  alpha = std::min(alpha, 255);
  uint32_t& p = PixelRef(bm, x, y);
  const int da = static_cast<int>(p >> 24);
  const Rgb d{static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p)};
  if (da == 255) {
    p = Pack(Mix(d, c, alpha, 255));
    return;
  }
  // Straight-alpha "over": weights are kept times 255 to stay in whole numbers.
  const int ws = alpha * 255;
  const int wd = da * (255 - alpha);
  const int total = ws + wd;
  const auto mixc = [&](int s, int dc) { return Channel((s * ws + dc * wd + total / 2) / total); };
  p = Pack({mixc(c.r, d.r), mixc(c.g, d.g), mixc(c.b, d.b)}, static_cast<uint32_t>((total + 127) / 255));
}

struct Box {
  int x0, y0, x1, y1;  // pixels, end exclusive
};

template <class Inside>
int Coverage(int px, int py, const Inside& inside) {
  int hits = 0;
  for (int j = 0; j < kGrid; ++j)
    for (int i = 0; i < kGrid; ++i)
      if (inside(Px(px) + 2 * i + 1, Px(py) + 2 * j + 1)) ++hits;
  return (hits * 255 + kSamples / 2) / kSamples;
}

/// Paints the part of `box` that `inside` covers, each pixel in `paint(x, y)`, at `opacity`.
template <class Inside, class Paint>
void Fill(Bitmap& bm, Box box, const Inside& inside, const Paint& paint, int opacity = 255) {
  const int x0 = std::max(box.x0, 0), y0 = std::max(box.y0, 0);
  const int x1 = std::min(box.x1, bm.width), y1 = std::min(box.y1, bm.height);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const int cover = Coverage(x, y, inside);
      if (cover > 0) Blend(bm, x, y, paint(x, y), (cover * opacity + 127) / 255);
    }
}

Box PixelBox(i64 x0, i64 y0, i64 x1, i64 y1) {
  return {static_cast<int>(x0 / kUnit) - 1, static_cast<int>(y0 / kUnit) - 1, static_cast<int>(x1 / kUnit) + 2,
          static_cast<int>(y1 / kUnit) + 2};
}

struct RoundRect {
  i64 x0, y0, x1, y1, r;
  bool operator()(i64 x, i64 y) const {
    if (x < x0 || x >= x1 || y < y0 || y >= y1) return false;
    const i64 dx = x - std::clamp(x, x0 + r, x1 - r);
    const i64 dy = y - std::clamp(y, y0 + r, y1 - r);
    return dx * dx + dy * dy <= r * r;
  }
  RoundRect Inset(i64 d) const { return {x0 + d, y0 + d, x1 - d, y1 - d, std::max<i64>(r - d, 0)}; }
  Box Bounds() const { return PixelBox(x0, y0, x1, y1); }
};

/// A straight stroke with round ends: every point within `hw` of the segment a-b.
struct Stroke {
  i64 ax, ay, bx, by, hw;
  bool operator()(i64 x, i64 y) const {
    const i64 dx = bx - ax, dy = by - ay, px = x - ax, py = y - ay;
    const i64 len2 = dx * dx + dy * dy;
    const i64 t = px * dx + py * dy;
    if (t <= 0) return px * px + py * py <= hw * hw;
    if (t >= len2) return (x - bx) * (x - bx) + (y - by) * (y - by) <= hw * hw;
    const i64 cross = px * dy - py * dx;
    return cross * cross <= hw * hw * len2;
  }
  Box Bounds() const {
    return PixelBox(std::min(ax, bx) - hw, std::min(ay, by) - hw, std::max(ax, bx) + hw, std::max(ay, by) + hw);
  }
};

struct Point {
  i64 x, y;
};

/// A convex polygon, corners clockwise on screen, shrunk by `inset` on every side.
template <std::size_t N>
struct Convex {
  std::array<Point, N> p;
  i64 inset = 0;
  bool operator()(i64 x, i64 y) const {
    for (std::size_t i = 0; i < N; ++i) {
      const Point a = p[i], b = p[(i + 1) % N];
      const i64 ex = b.x - a.x, ey = b.y - a.y;
      const i64 e = ex * (y - a.y) - ey * (x - a.x);  // distance from the edge times its length
      if (e < 0 || e * e < inset * inset * (ex * ex + ey * ey)) return false;
    }
    return true;
  }
  Box Bounds() const {
    i64 x0 = p[0].x, y0 = p[0].y, x1 = x0, y1 = y0;
    for (const Point& q : p) {
      x0 = std::min(x0, q.x), y0 = std::min(y0, q.y), x1 = std::max(x1, q.x), y1 = std::max(y1, q.y);
    }
    return PixelBox(x0, y0, x1, y1);
  }
};

struct Ellipse {
  i64 cx, cy, rx, ry;
  bool operator()(i64 x, i64 y) const {
    const i64 dx = x - cx, dy = y - cy;
    return dx * dx * ry * ry + dy * dy * rx * rx <= rx * rx * ry * ry;
  }
  Box Bounds() const { return PixelBox(cx - rx, cy - ry, cx + rx, cy + ry); }
};

template <class Shape>
void FillSolid(Bitmap& bm, const Shape& shape, Rgb colour, int opacity = 255) {
  Fill(bm, shape.Bounds(), shape, [colour](int, int) { return colour; }, opacity);
}

/// Vertical gradient over the pixel rows y0..y1 (inclusive); rows outside take the end colours.
struct VerticalGradient {
  int y0, y1;
  Rgb top, bottom;
  Rgb operator()(int, int y) const {
    if (y1 <= y0) return top;
    return Mix(top, bottom, std::clamp(y - y0, 0, y1 - y0), y1 - y0);
  }
};

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

// ---------------------------------------------------------------------------------------------
// The icon: a grey hard-disk drive, seen a little from above, with a cyan light.

constexpr Rgb kIconOutline{62, 66, 76};
constexpr Rgb kIconLight{24, 214, 250};

/// The 16-pixel icon, placed by hand: at this size a scaled drawing turns to mush.
void DrawSmallDrive(Bitmap& bm) {
  static constexpr std::array<const char*, 16> kRows = {
      "................",  //
      "................",  //
      "................",  //
      "...aOOOOOOOOa...",  //
      "...OTTTTTTTTO...",  //
      "..OttttttttttO..",  //
      ".OEEEEEEEEEEEEO.",  //
      ".OFFFFFFFFFFFFO.",  //
      ".OFSSSSSSFFLLFO.",  //
      ".OGwwwwwwGGGGGO.",  //
      ".OGGGGGGGGGGGGO.",  //
      ".OHHHHHHHHHHHHO.",  //
      ".bOOOOOOOOOOOOb.",  //
      "..zsssssssssssz.",  //
      "...zzzzzzzzzzz..",  //
      "................",  //
  };
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      switch (kRows[static_cast<std::size_t>(y)][x]) {
        case 'O': Blend(bm, x, y, kIconOutline, 255); break;
        case 'a': Blend(bm, x, y, kIconOutline, 120); break;
        case 'b': Blend(bm, x, y, kIconOutline, 170); break;
        case 'T': Blend(bm, x, y, {238, 240, 244}, 255); break;
        case 't': Blend(bm, x, y, {214, 218, 225}, 255); break;
        case 'E': Blend(bm, x, y, {250, 251, 253}, 255); break;
        case 'F': Blend(bm, x, y, {184, 188, 196}, 255); break;
        case 'G': Blend(bm, x, y, {160, 164, 173}, 255); break;
        case 'H': Blend(bm, x, y, {136, 140, 150}, 255); break;
        case 'S': Blend(bm, x, y, {88, 92, 102}, 255); break;
        case 'w': Blend(bm, x, y, {212, 215, 221}, 255); break;
        case 'L': Blend(bm, x, y, kIconLight, 255); break;
        case 's': Blend(bm, x, y, {0, 0, 0}, 56); break;
        case 'z': Blend(bm, x, y, {0, 0, 0}, 24); break;
        default: break;
      }
    }
}

/// Larger sizes, drawn from shapes on a 16-unit design grid (in sixteenths of a unit).
void DrawDrive(Bitmap& bm, int size) {
  const i64 px = kUnit;  // one device pixel at every size, so outlines stay crisp
  const auto d = [size](int whole, int sixteenths = 0) { return (whole * kUnit + sixteenths) * size / 16; };
  const auto row = [size](int whole, int sixteenths = 0) { return (whole * 16 + sixteenths) * size / 256; };

  // Soft shadow on the ground.
  const Ellipse shadow{d(8), d(13, 4), d(7, 4), d(1, 8)};
  Fill(bm, shadow.Bounds(), shadow, [](int, int) { return Rgb{0, 0, 0}; }, 40);
  const Ellipse core{d(8), d(13, 0), d(6, 8), d(1, 0)};
  Fill(bm, core.Bounds(), core, [](int, int) { return Rgb{0, 0, 0}; }, 50);

  // Silhouette: the top face (running back at 45 degrees) over the front face.
  const i64 topY = d(3, 8), edgeY = d(6), bottomY = d(12, 8);
  const Convex<4> top{{{{d(3, 8), topY}, {d(12, 8), topY}, {d(15), edgeY}, {d(1), edgeY}}}};
  const RoundRect front{d(1), edgeY, d(15), bottomY, d(1)};
  const auto silhouette = [&](i64 x, i64 y) { return top(x, y) || front(x, y); };
  Fill(bm, {0, 0, size, size}, silhouette, [](int, int) { return kIconOutline; });

  // The top face reaches down to the front edge, which the bright line below then covers.
  const Convex<4> topFace{{{{d(3, 8), topY}, {d(12, 8), topY}, {d(15) + px, edgeY + px}, {d(1) - px, edgeY + px}}}, px};
  Fill(bm, topFace.Bounds(), topFace, VerticalGradient{row(3, 8), row(6), {240, 242, 246}, {208, 212, 220}});
  const RoundRect frontFace = front.Inset(px);
  FillSolid(bm, RoundRect{frontFace.x0, edgeY, frontFace.x1, edgeY + px, 0}, {250, 251, 253});
  const RoundRect frontBody{frontFace.x0, edgeY + px, frontFace.x1, frontFace.y1, frontFace.r};
  Fill(bm, frontBody.Bounds(), frontBody, VerticalGradient{row(6), row(12, 8), {188, 192, 200}, {126, 130, 140}});

  // A recessed strip with vents across the front, a highlight under it, and the light.
  const i64 stripTop = d(8, 8), stripBottom = d(10);
  const RoundRect strip{d(3), stripTop, d(10), stripBottom, px};
  FillSolid(bm, strip, {92, 96, 106});
  FillSolid(bm, RoundRect{strip.x0 + px / 2, stripBottom, strip.x1 - px / 2, stripBottom + px, 0}, {226, 229, 234}, 220);
  for (int v = 4; v <= 9; v += 2)
    FillSolid(bm, RoundRect{d(v), stripTop + px, d(v) + px, stripBottom - px, 0}, {64, 68, 78});

  const RoundRect light{d(11, 8), stripTop, d(13, 4), stripBottom, px};
  const Ellipse glow{(light.x0 + light.x1) / 2, (light.y0 + light.y1) / 2, (light.x1 - light.x0) / 2 + px,
                     (light.y1 - light.y0) / 2 + px};
  FillSolid(bm, glow, {110, 236, 255}, 80);
  FillSolid(bm, light, kIconLight);
  if (size >= 48)
    FillSolid(bm, RoundRect{light.x0 + px, light.y0 + px / 2, light.x1 - px, light.y0 + px + px / 2, 0}, {200, 250, 255}, 200);

  if (size >= 48) {
    // Two screw heads on the top face.
    for (const int sx : {4, 12}) FillSolid(bm, Ellipse{d(sx), d(4, 12), d(0, 10), d(0, 6)}, {150, 154, 164});
  }
}

}  // namespace

Bitmap DrawSkin() {
  Bitmap bm = Blank(kSkinWidth, kSkinHeight, kPageColour, 255);
  const int right = kSkinWidth - 1;
  const int bottom = kSkinHeight - 1;

  for (int y = kBandRows; y <= kPageBottom; ++y)
    for (int x = kFrameWidth; x < kSkinWidth - kFrameWidth; ++x) Put(bm, x, y, PaperColour(x, y));

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

Bitmap DrawIcon(int size) {
  if (size <= 0 || size > 256) return {};
  Bitmap bm = Blank(size, size, {}, 0);
  if (size == 16)
    DrawSmallDrive(bm);
  else
    DrawDrive(bm, size);
  return bm;
}

}  // namespace tarnvik::art
