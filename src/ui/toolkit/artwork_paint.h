// The drawing primitives the skin, the buttons and the icon share: integer shapes sampled on an
// 8 x 8 grid inside every pixel, and straight-alpha painting. Only integer arithmetic is used, so
// every compiler and platform produces the same pixels.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "ui/toolkit/artwork.h"

namespace tarnvik::art::paint {

using i64 = std::int64_t;

// Shapes are given in sixteenths of a pixel; samples sit at the odd sixteenths.
inline constexpr i64 kUnit = 16;
inline constexpr int kGrid = 8;
inline constexpr int kSamples = kGrid * kGrid;

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

inline Bitmap Blank(int width, int height, Rgb colour, uint32_t alpha) {
  Bitmap bm;
  bm.width = width;
  bm.height = height;
  bm.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), Pack(colour, alpha));
  return bm;
}

inline uint32_t& PixelRef(Bitmap& bm, int x, int y) { return bm.pixels[static_cast<std::size_t>(y * bm.width + x)]; }

inline void Put(Bitmap& bm, int x, int y, Rgb c) {
  if (x >= 0 && y >= 0 && x < bm.width && y < bm.height) PixelRef(bm, x, y) = Pack(c);
}

/// Paints `c` with opacity `alpha` (0..255) over the pixel, which may itself be transparent.
inline void Blend(Bitmap& bm, int x, int y, Rgb c, int alpha) {
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

inline Box PixelBox(i64 x0, i64 y0, i64 x1, i64 y1) {
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

}  // namespace tarnvik::art::paint
