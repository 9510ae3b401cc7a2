// The icon, drawn from code: a grey hard-disk drive, seen a little from above, with a cyan light.
// Only the build's artwork generator and the tests draw it; the program carries the icon as a
// resource, so this file is not part of the program.
#include "ui/toolkit/artwork.h"

#include <array>
#include <cstddef>

#include "ui/toolkit/artwork_paint.h"

namespace tarnvik::art {
namespace {

using namespace paint;

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
