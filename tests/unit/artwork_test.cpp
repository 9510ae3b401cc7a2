// The drawn pictures (skin, caption buttons, icon) and the BMP / ICO files made from them.
// The checks look at the pixels that carry meaning: geometry and colours the window and its
// controls rely on, the look of each button, and the icon's transparency.
#include "ui/toolkit/artwork.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "../../tools/artgen/image_files.h"

namespace tarnvik::art {
namespace {

using toolkit::PictureId;

constexpr std::array<PictureId, 4> kPictures{PictureId::CloseNormal, PictureId::MinimiseNormal, PictureId::MinimiseHot,
                                             PictureId::CloseHot};

int MaxChannelDiff(Rgb a, Rgb b) {
  return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

bool Whitish(Rgb c) { return c.r >= 225 && c.g >= 225 && c.b >= 225; }

bool AllOpaque(const Bitmap& bm) {
  return std::all_of(bm.pixels.begin(), bm.pixels.end(), [](uint32_t p) { return p >> 24 == 0xFF; });
}

struct Average {
  double r = 0, g = 0, b = 0;
};

Average AverageOf(const Bitmap& bm, int x0, int y0, int x1, int y1) {
  Average a;
  int n = 0;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x, ++n) {
      const Rgb c = bm.RgbAt(x, y);
      a.r += c.r, a.g += c.g, a.b += c.b;
    }
  a.r /= n, a.g /= n, a.b /= n;
  return a;
}

// ---------------------------------------------------------------------------------------------
// The skin.

class SkinTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { skin_ = new Bitmap(DrawSkin()); }
  static void TearDownTestSuite() {
    delete skin_;
    skin_ = nullptr;
  }
  static const Bitmap& Skin() { return *skin_; }

 private:
  static inline Bitmap* skin_ = nullptr;
};

TEST_F(SkinTest, IsTheWindowSizeAndOpaque) {
  ASSERT_EQ(Skin().width, 308);
  ASSERT_EQ(Skin().height, 392);
  ASSERT_EQ(Skin().pixels.size(), 308u * 392u);
  EXPECT_TRUE(AllOpaque(Skin()));
}

TEST_F(SkinTest, TitleBandRunsFromStrongBlueToPaleBlue) {
  for (int x = 0; x < 308; ++x) ASSERT_EQ(Skin().RgbAt(x, 0), kTitleTop) << "x " << x;
  for (int x = 1; x < 307; ++x) ASSERT_LE(MaxChannelDiff(Skin().RgbAt(x, 27), kTitleBottom), 3) << "x " << x;
  // It lightens on every step down, so the drag band reads as one gradient.
  for (int y = 1; y < 28; ++y) {
    const Rgb above = Skin().RgbAt(150, y - 1), here = Skin().RgbAt(150, y);
    EXPECT_GE(here.r, above.r) << "row " << y;
    EXPECT_GE(here.g, above.g) << "row " << y;
    EXPECT_GE(here.b, above.b) << "row " << y;
  }
  EXPECT_GT(Skin().RgbAt(150, 14).r, kTitleTop.r);
  EXPECT_LT(Skin().RgbAt(150, 14).r, kTitleBottom.r);
}

TEST_F(SkinTest, TitleTextAreaIsPlainBand) {
  // The toolkit writes the title from x 31 on; nothing drawn there may fight with it.
  for (int y = 0; y < 28; ++y)
    for (int x = 21; x < 256; ++x) ASSERT_EQ(Skin().RgbAt(x, y), Skin().RgbAt(150, y)) << x << "," << y;
}

struct FrameLine {
  int inset;
  Rgb colour;
};

TEST_F(SkinTest, FrameHasThreeBlueLinesAndAPaleOne) {
  const std::array<FrameLine, 4> lines{{{0, kFrameOuter}, {1, kFrameMiddle}, {2, kFrameInner}, {3, kFramePale}}};
  for (const FrameLine& line : lines) {
    SCOPED_TRACE(line.inset);
    for (const int y : {28, 100, 250, 387}) {
      EXPECT_EQ(Skin().RgbAt(line.inset, y), line.colour) << "left, row " << y;
      EXPECT_EQ(Skin().RgbAt(307 - line.inset, y), line.colour) << "right, row " << y;
    }
    for (const int x : {line.inset, 20, 154, 290, 307 - line.inset})
      EXPECT_EQ(Skin().RgbAt(x, 391 - line.inset), line.colour) << "bottom, x " << x;
  }
  // The outer line also edges the band, so the window has one outline all round.
  EXPECT_EQ(Skin().RgbAt(0, 20), kFrameOuter);
  EXPECT_EQ(Skin().RgbAt(307, 20), kFrameOuter);
}

TEST_F(SkinTest, PageIsCreamPaperWithSubtleGrain) {
  // Between the frame and the etched inset, and inside the inset (under the report box).
  const Average a = AverageOf(Skin(), 10, 34, 297, 381);
  EXPECT_NEAR(a.r, kPageColour.r, 1.0);
  EXPECT_NEAR(a.g, kPageColour.g, 1.0);
  EXPECT_NEAR(a.b, kPageColour.b, 1.0);

  int differing = 0;
  for (int y = 28; y <= 31; ++y)
    for (int x = 4; x <= 303; ++x) {
      const Rgb c = Skin().RgbAt(x, y);
      ASSERT_LE(MaxChannelDiff(c, kPageColour), 2) << x << "," << y;
      if (c != kPageColour) ++differing;
    }
  EXPECT_GT(differing, 100) << "the page should carry a texture, not a flat fill";
}

TEST_F(SkinTest, EtchedInsetHasDarkLineAndLightLineInside) {
  // Two rings, as a sunken outer edge and a raised inner one: the dark ring runs along the top
  // and left outside and the bottom and right inside; the light ring fills the other sides.
  // Corner pixels go to the bottom and right lines, as in the system's own etched frames.
  for (int y = 32; y <= 382; ++y) {
    ASSERT_EQ(Skin().RgbAt(8, y), kEtchDark) << "outer left, row " << y;
    ASSERT_EQ(Skin().RgbAt(299, y), kEtchLight) << "outer right, row " << y;
  }
  for (int x = 8; x <= 298; ++x) {
    ASSERT_EQ(Skin().RgbAt(x, 32), kEtchDark) << "outer top, x " << x;
    ASSERT_EQ(Skin().RgbAt(x, 382), kEtchDark) << "inner bottom, x " << x;
  }
  for (int x = 8; x <= 299; ++x) ASSERT_EQ(Skin().RgbAt(x, 383), kEtchLight) << "outer bottom, x " << x;
  for (int y = 33; y <= 381; ++y) {
    ASSERT_EQ(Skin().RgbAt(9, y), kEtchLight) << "inner left, row " << y;
    ASSERT_EQ(Skin().RgbAt(298, y), kEtchDark) << "inner right, row " << y;
  }
  for (int x = 9; x <= 297; ++x) ASSERT_EQ(Skin().RgbAt(x, 33), kEtchLight) << "inner top, x " << x;
  // Outside the lines, and in the gap before the report box (3 pixels in), it is paper again.
  for (const auto& [x, y] : std::array<std::array<int, 2>, 6>{{{7, 100}, {10, 100}, {297, 100}, {150, 31}, {150, 34}, {150, 381}}})
    EXPECT_LE(MaxChannelDiff(Skin().RgbAt(x, y), kPageColour), 3) << x << "," << y;
}

TEST_F(SkinTest, GripDotsSitInTheBottomRightCorner) {
  int dots = 0;
  for (int y = 376; y <= 387; ++y)
    for (int x = 288; x <= 303; ++x)
      if (Skin().RgbAt(x, y) == Rgb{255, 255, 255}) ++dots;
  EXPECT_GE(dots, 3);
  int elsewhere = 0;
  for (int y = 28; y <= 387; ++y)
    for (int x = 4; x <= 303; ++x)
      if ((x < 288 || y < 376) && Skin().RgbAt(x, y) == Rgb{255, 255, 255}) ++elsewhere;
  EXPECT_EQ(elsewhere, 0);
}

TEST_F(SkinTest, MenuGlyphIsAGreyCabinetWithCyanLights) {
  int cyan = 0, grey = 0, changed = 0;
  for (int y = 8; y <= 20; ++y)
    for (int x = 8; x <= 19; ++x) {
      const Rgb c = Skin().RgbAt(x, y);
      if (c != Skin().RgbAt(150, y)) ++changed;
      if (c.r < 100 && c.g > 140 && c.b > 180) ++cyan;
      if (std::abs(c.r - c.g) < 16 && std::abs(c.g - c.b) < 20 && c.r > 60 && c.r < 240) ++grey;
    }
  EXPECT_GE(cyan, 2);
  EXPECT_GE(grey, 60);
  EXPECT_GE(changed, 120);  // most of the 12 x 13 cell
  // Nothing outside its cell, inside the 24 x 24 hot spot.
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x)
      if ((x < 8 || x > 19 || y < 8 || y > 20) && x > 0) {
        ASSERT_EQ(Skin().RgbAt(x, y), Skin().RgbAt(150, y)) << x << "," << y;
      }
}

TEST_F(SkinTest, CaptionButtonAreaShowsTheRestingButtons) {
  const Bitmap minimise = DrawCaptionButton(PictureId::MinimiseNormal);
  const Bitmap close = DrawCaptionButton(PictureId::CloseNormal);
  for (int y = 0; y < kButtonHeight; ++y)
    for (int x = 0; x < kButtonWidth; ++x) {
      ASSERT_EQ(Skin().At(256 + x, 4 + y), minimise.At(x, y)) << x << "," << y;
      ASSERT_EQ(Skin().At(278 + x, 4 + y), close.At(x, y)) << x << "," << y;
    }
}

// ---------------------------------------------------------------------------------------------
// The caption-button pictures.

TEST(CaptionButtonTest, EveryPictureIsOpaqueAtButtonSize) {
  for (const PictureId id : kPictures) {
    const Bitmap bm = DrawCaptionButton(id);
    SCOPED_TRACE(static_cast<int>(id));
    EXPECT_EQ(bm.width, 22);
    EXPECT_EQ(bm.height, 17);
    EXPECT_TRUE(AllOpaque(bm));
  }
  EXPECT_TRUE(DrawCaptionButton(PictureId::None).pixels.empty());
}

TEST(CaptionButtonTest, AllFourPicturesDiffer) {
  for (std::size_t i = 0; i < kPictures.size(); ++i)
    for (std::size_t j = i + 1; j < kPictures.size(); ++j)
      EXPECT_NE(DrawCaptionButton(kPictures[i]).pixels, DrawCaptionButton(kPictures[j]).pixels) << i << " vs " << j;
}

struct LookCase {
  PictureId id;
  const char* name;
  bool (*hue)(const Average&);
};

TEST(CaptionButtonTest, ColoursMatchTheirRoles) {
  const std::array<LookCase, 4> cases{{
      {PictureId::CloseNormal, "dark red", [](const Average& a) { return a.r > a.g + 60 && a.r > a.b + 60 && a.r < 200; }},
      {PictureId::CloseHot, "bright orange-red",
       [](const Average& a) { return a.r > 210 && a.g > a.b && a.g < a.r - 80; }},
      {PictureId::MinimiseNormal, "dark slate",
       [](const Average& a) { return a.b >= a.r && a.b - a.r < 40 && a.b < 150; }},
      {PictureId::MinimiseHot, "bright blue", [](const Average& a) { return a.b > 190 && a.b > a.r + 80; }},
  }};
  for (const LookCase& c : cases) {
    // The body between the outline and the symbol.
    const Average a = AverageOf(DrawCaptionButton(c.id), 3, 3, 5, 14);
    EXPECT_TRUE(c.hue(a)) << c.name << ": " << a.r << "," << a.g << "," << a.b;
  }
  const auto lightness = [](PictureId id) {
    const Average a = AverageOf(DrawCaptionButton(id), 2, 2, 19, 15);
    return a.r + a.g + a.b;
  };
  EXPECT_GT(lightness(PictureId::CloseHot), lightness(PictureId::CloseNormal) + 60);
  EXPECT_GT(lightness(PictureId::MinimiseHot), lightness(PictureId::MinimiseNormal) + 60);
}

TEST(CaptionButtonTest, CloseCrossIsWhiteAtTheCentre) {
  for (const PictureId id : {PictureId::CloseNormal, PictureId::CloseHot}) {
    const Bitmap bm = DrawCaptionButton(id);
    for (const auto& [x, y] : std::array<std::array<int, 2>, 4>{{{10, 8}, {11, 8}, {10, 9}, {11, 9}}})
      EXPECT_TRUE(Whitish(bm.RgbAt(x, y))) << static_cast<int>(id) << " at " << x << "," << y;
    // A cross, not a blob: the middle of each side of the centre is button colour.
    EXPECT_FALSE(Whitish(bm.RgbAt(11, 5)));
    EXPECT_FALSE(Whitish(bm.RgbAt(7, 9)));
    EXPECT_TRUE(Whitish(bm.RgbAt(8, 6)) || Whitish(bm.RgbAt(8, 7)));
    EXPECT_TRUE(Whitish(bm.RgbAt(13, 11)) || Whitish(bm.RgbAt(13, 12)));
  }
}

/// Lengths of the white runs in each row of the symbol area.
std::vector<int> WhitePerRow(const Bitmap& bm) {
  std::vector<int> counts;
  for (int y = 0; y < bm.height; ++y) {
    int n = 0;
    for (int x = 3; x < 19; ++x)
      if (Whitish(bm.RgbAt(x, y))) ++n;
    counts.push_back(n);
  }
  return counts;
}

TEST(CaptionButtonTest, MinimiseSymbolIsATriangleOverABar) {
  for (const PictureId id : {PictureId::MinimiseNormal, PictureId::MinimiseHot}) {
    SCOPED_TRACE(static_cast<int>(id));
    const std::vector<int> rows = WhitePerRow(DrawCaptionButton(id));
    // Group the rows into white bands.
    std::vector<std::vector<int>> bands;
    bool inBand = false;
    for (const int n : rows) {
      if (n > 0 && !inBand) bands.emplace_back();
      if (n > 0) bands.back().push_back(n);
      inBand = n > 0;
    }
    ASSERT_EQ(bands.size(), 2u);
    const std::vector<int>& triangle = bands[0];
    const std::vector<int>& bar = bands[1];
    ASSERT_GE(triangle.size(), 2u);
    for (std::size_t i = 1; i < triangle.size(); ++i) EXPECT_LT(triangle[i], triangle[i - 1]) << "narrows downwards";
    for (const int n : bar) {
      EXPECT_EQ(n, bar[0]) << "a straight bar";
      EXPECT_GE(n, triangle[0]);
    }
  }
}

TEST(CaptionButtonTest, SymbolsAreMirrorSymmetric) {
  for (const PictureId id : kPictures) {
    const Bitmap bm = DrawCaptionButton(id);
    for (int y = 0; y < bm.height; ++y)
      for (int x = 0; x < 11; ++x)
        ASSERT_EQ(Whitish(bm.RgbAt(x, y)), Whitish(bm.RgbAt(21 - x, y))) << static_cast<int>(id) << " " << x << "," << y;
  }
}

TEST(CaptionButtonTest, CornersAreRoundedAndSmoothed) {
  for (const PictureId id : kPictures) {
    const Bitmap bm = DrawCaptionButton(id);
    SCOPED_TRACE(static_cast<int>(id));
    const Rgb band = bm.RgbAt(0, 1);   // left of the button: the title band behind it
    const Rgb edge = bm.RgbAt(11, 1);  // the outline along the top
    const Rgb corner = bm.RgbAt(1, 1);
    EXPECT_NE(corner, band);
    EXPECT_NE(corner, edge);
    // A blend lies between the two colours it mixes.
    EXPECT_LE(MaxChannelDiff(corner, band), MaxChannelDiff(edge, band));
    // The picture's background is the band exactly as the skin paints it there.
    EXPECT_EQ(bm.RgbAt(0, 0), DrawSkin().RgbAt(256, 4));
  }
}

// ---------------------------------------------------------------------------------------------
// The icon.

class IconTest : public ::testing::TestWithParam<int> {};

TEST_P(IconTest, IsADriveBoxOnTransparency) {
  const int size = GetParam();
  const Bitmap bm = DrawIcon(size);
  ASSERT_EQ(bm.width, size);
  ASSERT_EQ(bm.height, size);
  for (const auto& [x, y] : std::array<std::array<int, 2>, 4>{{{0, 0}, {size - 1, 0}, {0, size - 1}, {size - 1, size - 1}}})
    EXPECT_EQ(bm.AlphaAt(x, y), 0) << "corner " << x << "," << y;
  // The box is opaque and grey across its middle.
  for (int x = size / 4; x <= size * 3 / 4; ++x) EXPECT_EQ(bm.AlphaAt(x, size * 11 / 16), 255) << "x " << x;
  const Rgb middle = bm.RgbAt(size / 2, size * 11 / 16);
  EXPECT_LT(std::abs(middle.r - middle.g), 16);
  EXPECT_LT(std::abs(middle.g - middle.b), 20);

  int cyan = 0, partial = 0;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const Rgb c = bm.RgbAt(x, y);
      if (bm.AlphaAt(x, y) == 255 && c.r < 100 && c.g > 170 && c.b > 220) ++cyan;
      if (bm.AlphaAt(x, y) > 0 && bm.AlphaAt(x, y) < 255) ++partial;
    }
  EXPECT_GE(cyan, size / 8) << "a small cyan light";
  EXPECT_LE(cyan, size * size / 20) << "small";
  EXPECT_GT(partial, 0) << "soft edges or a shadow";
}

INSTANTIATE_TEST_SUITE_P(Sizes, IconTest, ::testing::ValuesIn(kIconSizes));

TEST(IconTest, RefusesSizesItCannotDraw) {
  EXPECT_TRUE(DrawIcon(0).pixels.empty());
  EXPECT_TRUE(DrawIcon(-16).pixels.empty());
}

TEST(ArtworkTest, DrawingIsDeterministic) {
  EXPECT_EQ(DrawSkin().pixels, DrawSkin().pixels);
  for (const PictureId id : kPictures) EXPECT_EQ(DrawCaptionButton(id).pixels, DrawCaptionButton(id).pixels);
  for (const int size : kIconSizes) EXPECT_EQ(DrawIcon(size).pixels, DrawIcon(size).pixels);
}

// ---------------------------------------------------------------------------------------------
// The file encoders.

uint32_t Read16(const files::Bytes& b, std::size_t at) { return b.at(at) | b.at(at + 1) << 8; }
uint32_t Read32(const files::Bytes& b, std::size_t at) { return Read16(b, at) | Read16(b, at + 2) << 16; }

TEST(ImageFilesTest, BmpIsBottomUp24BitWithPaddedRows) {
  const Bitmap bm = DrawCaptionButton(PictureId::CloseHot);
  const files::Bytes file = files::EncodeBmp24(bm);
  const uint32_t stride = 68;  // 22 pixels of 3 bytes, padded to a multiple of 4
  ASSERT_EQ(file.size(), 54u + stride * 17);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(Read32(file, 2), file.size());
  EXPECT_EQ(Read32(file, 10), 54u);
  EXPECT_EQ(Read32(file, 14), 40u);
  EXPECT_EQ(Read32(file, 18), 22u);
  EXPECT_EQ(Read32(file, 22), 17u);  // positive: bottom-up
  EXPECT_EQ(Read16(file, 28), 24u);
  EXPECT_EQ(Read32(file, 30), 0u);
  for (int y = 0; y < 17; ++y) {
    const std::size_t row = 54 + stride * static_cast<std::size_t>(16 - y);
    for (int x = 0; x < 22; ++x) {
      const std::size_t at = row + 3 * static_cast<std::size_t>(x);
      ASSERT_EQ((Rgb{file[at + 2], file[at + 1], file[at]}), bm.RgbAt(x, y)) << x << "," << y;
    }
    EXPECT_EQ(file[row + 66], 0);
    EXPECT_EQ(file[row + 67], 0);
  }
}

/// A small picture with known colours and alpha, to follow each pixel into the files.
Bitmap Sample() {
  Bitmap bm;
  bm.width = 3;
  bm.height = 2;
  // Top row: opaque red, transparent, half-covered cyan; bottom row: opaque grey, faint, opaque blue.
  bm.pixels = {0xFFFF0000u, 0x00000000u, 0x8000FFFFu, 0xFF808080u, 0x7F102030u, 0xFF0000FFu};
  return bm;
}

struct IconImage {
  uint32_t width, height, bits, bytes, offset;
};

std::vector<IconImage> Directory(const files::Bytes& ico) {
  std::vector<IconImage> images;
  const uint32_t count = Read16(ico, 4);
  for (uint32_t i = 0; i < count; ++i) {
    const std::size_t e = 6 + 16 * static_cast<std::size_t>(i);
    images.push_back({ico.at(e) == 0 ? 256u : ico.at(e), ico.at(e + 1) == 0 ? 256u : ico.at(e + 1), Read16(ico, e + 6),
                      Read32(ico, e + 8), Read32(ico, e + 12)});
  }
  return images;
}

TEST(ImageFilesTest, IcoHoldsTheClassicSizesAtEveryDepthAndTheOthersAt32Bits) {
  std::vector<Bitmap> pictures;
  for (const int size : kIconSizes) pictures.push_back(DrawIcon(size));
  const files::Bytes ico = files::EncodeIco(pictures);
  EXPECT_EQ(Read16(ico, 0), 0u);
  EXPECT_EQ(Read16(ico, 2), 1u);
  const std::vector<IconImage> images = Directory(ico);
  ASSERT_EQ(images.size(), 11u);
  std::size_t expectedOffset = 6 + 16 * 11;
  std::vector<std::array<uint32_t, 2>> seen;
  for (const IconImage& image : images) {
    SCOPED_TRACE(image.width * 100 + image.bits);
    EXPECT_EQ(image.width, image.height);
    EXPECT_EQ(image.offset, expectedOffset) << "images follow one another";
    expectedOffset += image.bytes;
    seen.push_back({image.width, image.bits});
    if (image.width == 256) {  // a PNG: its signature, then its width in the header chunk, big-endian
      EXPECT_EQ(Read32(ico, image.offset), 0x474E5089u);
      EXPECT_EQ(Read32(ico, image.offset + 16), __builtin_bswap32(image.width));
      continue;
    }
    // The image header agrees with its directory entry; the height counts the mask too.
    EXPECT_EQ(Read32(ico, image.offset), 40u);
    EXPECT_EQ(Read32(ico, image.offset + 4), image.width);
    EXPECT_EQ(Read32(ico, image.offset + 8), image.height * 2);
    EXPECT_EQ(Read16(ico, image.offset + 14), image.bits);
    const uint32_t palette = image.bits == 8 ? 1024 : 0;
    const uint32_t colour = (image.width * image.bits + 31) / 32 * 4 * image.height;
    const uint32_t mask = (image.width + 31) / 32 * 4 * image.height;
    EXPECT_EQ(image.bytes, 40 + palette + colour + mask);
  }
  EXPECT_EQ(expectedOffset, ico.size());
  for (const uint32_t size : {16u, 20u, 24u, 32u, 40u, 48u, 64u, 256u})
    for (const uint32_t bits : {8u, 24u, 32u})
      EXPECT_EQ(std::count(seen.begin(), seen.end(), std::array<uint32_t, 2>{size, bits}),
                bits == 32 || (bits == 8 && (size == 16 || size == 32 || size == 48))) << size << "/" << bits;
}

TEST(ImageFilesTest, IconImagesCarryColourAlphaAndMask) {
  const Bitmap bm = Sample();
  const auto palette = files::IconPalette();
  // Rows are stored bottom-up; the mask has one bit per pixel, high bit first, rows of 4 bytes.
  const std::array<uint8_t, 2> expectedMaskRows{0b0100'0000, 0b0100'0000};  // bottom row, then top row

  const files::Bytes b32 = files::EncodeIconImage(bm, 32);
  ASSERT_EQ(b32.size(), 40u + 3 * 4 * 2 + 4 * 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      const std::size_t at = 40 + 12 * static_cast<std::size_t>(1 - y) + 4 * static_cast<std::size_t>(x);
      EXPECT_EQ((Rgb{b32[at + 2], b32[at + 1], b32[at]}), bm.RgbAt(x, y));
      EXPECT_EQ(b32[at + 3], bm.AlphaAt(x, y));
    }
  EXPECT_EQ(b32[40 + 24], expectedMaskRows[0]);
  EXPECT_EQ(b32[40 + 28], expectedMaskRows[1]);

  const files::Bytes b24 = files::EncodeIconImage(bm, 24);
  ASSERT_EQ(b24.size(), 40u + 12 * 2 + 4 * 2);  // 9 bytes a row, padded to 12
  const auto colour24 = [&](int x, int y) {
    const std::size_t at = 40 + 12 * static_cast<std::size_t>(1 - y) + 3 * static_cast<std::size_t>(x);
    return Rgb{b24[at + 2], b24[at + 1], b24[at]};
  };
  EXPECT_EQ(colour24(0, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(colour24(1, 0), (Rgb{0, 0, 0})) << "transparent pixels are black under the mask";
  EXPECT_EQ(colour24(2, 0), (Rgb{0, 255, 255})) << "half cover counts as opaque";
  EXPECT_EQ(colour24(1, 1), (Rgb{0, 0, 0})) << "faint pixels are dropped";
  EXPECT_EQ(b24[40 + 24], 0b1000'0000 >> 1);
  EXPECT_EQ(b24[40 + 28], 0b1000'0000 >> 1);

  const files::Bytes b8 = files::EncodeIconImage(bm, 8);
  ASSERT_EQ(b8.size(), 40u + 1024 + 4 * 2 + 4 * 2);
  EXPECT_EQ(Read32(b8, 32), 256u);
  const auto colour8 = [&](int x, int y) {
    const uint8_t index = b8[40 + 1024 + 4 * static_cast<std::size_t>(1 - y) + static_cast<std::size_t>(x)];
    const std::size_t at = 40 + 4 * static_cast<std::size_t>(index);
    EXPECT_EQ((Rgb{b8[at + 2], b8[at + 1], b8[at]}), palette[index]) << "palette stored as blue, green, red";
    return palette[index];
  };
  EXPECT_EQ(colour8(0, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(colour8(2, 0), (Rgb{0, 255, 255}));
  EXPECT_EQ(colour8(2, 1), (Rgb{0, 0, 255}));
  EXPECT_LE(MaxChannelDiff(colour8(0, 1), Rgb{128, 128, 128}), 4);
  EXPECT_EQ(b8[40 + 1024 + 8], expectedMaskRows[0]);
  EXPECT_EQ(b8[40 + 1024 + 12], expectedMaskRows[1]);
}

struct NearestCase {
  Rgb in;
  Rgb out;
};

TEST(ImageFilesTest, PaletteMapsToTheNearestColour) {
  const auto palette = files::IconPalette();
  const std::array<NearestCase, 6> cases{{
      {{255, 0, 0}, {255, 0, 0}},
      {{250, 6, 3}, {255, 0, 0}},
      {{0, 0, 0}, {0, 0, 0}},
      {{255, 255, 255}, {255, 255, 255}},
      {{20, 214, 250}, {0, 204, 255}},
      {{100, 101, 99}, {99, 99, 99}},  // a grey of the ramp, closer than the cube's 102
  }};
  for (const NearestCase& c : cases) {
    const Rgb got = palette[files::NearestIndex(palette, c.in)];
    EXPECT_EQ(got, c.out) << int{c.in.r} << "," << int{c.in.g} << "," << int{c.in.b} << " gave " << int{got.r} << ","
                          << int{got.g} << "," << int{got.b};
  }
  // Every grey finds a grey within a few levels, so the drive's shading keeps its steps.
  for (int v = 0; v < 256; ++v) {
    const auto g = static_cast<uint8_t>(v);
    EXPECT_LE(MaxChannelDiff(palette[files::NearestIndex(palette, {g, g, g})], {g, g, g}), 4) << v;
  }
}

}  // namespace
}  // namespace tarnvik::art
