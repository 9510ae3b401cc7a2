// Encoders for the two picture file formats the resource compiler takes: 24-bit BMP for the
// button pictures and ICO (each size at 8, 24 and 32 bits per pixel) for the program's icon.
// Header-only so that the generator and its unit test share one copy.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ui/main_window/artwork.h"

namespace tarnvik::art::files {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void Put32(Bytes& out, uint32_t v) {
  Put16(out, v & 0xFFFFu);
  Put16(out, v >> 16);
}

/// Bytes in one bitmap row of `width` pixels at `bits` per pixel, padded to four bytes.
inline uint32_t RowStride(int width, int bits) {
  return static_cast<uint32_t>((width * bits + 31) / 32 * 4);
}

/// BITMAPINFOHEADER. `height` is the stored height (an icon image stores twice its height).
inline void PutInfoHeader(Bytes& out, int width, int height, int bits, uint32_t imageBytes, uint32_t paletteSize) {
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(width));
  Put32(out, static_cast<uint32_t>(height));
  Put16(out, 1);
  Put16(out, static_cast<uint32_t>(bits));
  Put32(out, 0);  // BI_RGB
  Put32(out, imageBytes);
  Put32(out, 2835);  // 72 dots per inch, in dots per metre
  Put32(out, 2835);
  Put32(out, paletteSize);
  Put32(out, 0);
}

/// A 24-bit, bottom-up BMP file of the picture's colours (alpha is dropped).
inline Bytes EncodeBmp24(const Bitmap& bm) {
  const uint32_t stride = RowStride(bm.width, 24);
  const uint32_t imageBytes = stride * static_cast<uint32_t>(bm.height);
  Bytes out;
  out.reserve(54 + imageBytes);
  out.push_back('B');
  out.push_back('M');
  Put32(out, 54 + imageBytes);
  Put32(out, 0);
  Put32(out, 54);
  PutInfoHeader(out, bm.width, bm.height, 24, imageBytes, 0);
  for (int y = bm.height - 1; y >= 0; --y) {
    const std::size_t rowStart = out.size();
    for (int x = 0; x < bm.width; ++x) {
      const Rgb c = bm.RgbAt(x, y);
      out.push_back(c.b);
      out.push_back(c.g);
      out.push_back(c.r);
    }
    out.resize(rowStart + stride, 0);
  }
  return out;
}

/// The fixed 256-colour icon palette: the 6 x 6 x 6 colour cube and a ramp of 40 greys.
inline std::array<Rgb, 256> IconPalette() {
  std::array<Rgb, 256> palette{};
  std::size_t i = 0;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        palette[i++] = {static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51), static_cast<uint8_t>(b * 51)};
  for (int k = 0; k < 40; ++k) {
    // Greys between the cube's own grey levels, so that grey shading keeps its steps.
    const auto v = static_cast<uint8_t>((k + 1) * 255 / 41);
    palette[i++] = {v, v, v};
  }
  return palette;
}

/// Index of the palette colour nearest to `c`, weighting green most as the eye does; the lowest
/// index wins a tie.
inline uint8_t NearestIndex(const std::array<Rgb, 256>& palette, Rgb c) {
  int best = 0;
  long bestDistance = -1;
  for (int i = 0; i < 256; ++i) {
    const Rgb p = palette[static_cast<std::size_t>(i)];
    const long dr = c.r - p.r, dg = c.g - p.g, db = c.b - p.b;
    const long distance = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      best = i;
      bestDistance = distance;
    }
  }
  return static_cast<uint8_t>(best);
}

/// A pixel counts as opaque in the AND mask, and in the images without alpha, from half cover.
inline bool Opaque(const Bitmap& bm, int x, int y) { return bm.AlphaAt(x, y) >= 128; }

/// One icon image (header, palette, colour rows, mask rows) at 8, 24 or 32 bits per pixel.
inline Bytes EncodeIconImage(const Bitmap& bm, int bits) {
  const auto palette = IconPalette();
  const uint32_t colourStride = RowStride(bm.width, bits);
  const uint32_t maskStride = RowStride(bm.width, 1);
  const uint32_t imageBytes = (colourStride + maskStride) * static_cast<uint32_t>(bm.height);
  Bytes out;
  PutInfoHeader(out, bm.width, bm.height * 2, bits, imageBytes, bits == 8 ? 256 : 0);
  if (bits == 8) {
    for (const Rgb& p : palette) {
      out.push_back(p.b);
      out.push_back(p.g);
      out.push_back(p.r);
      out.push_back(0);
    }
  }
  for (int y = bm.height - 1; y >= 0; --y) {
    const std::size_t rowStart = out.size();
    for (int x = 0; x < bm.width; ++x) {
      const Rgb c = bm.RgbAt(x, y);
      if (bits == 32) {
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(bm.AlphaAt(x, y));
      } else if (!Opaque(bm, x, y)) {
        // The screen shows through where the mask is set, XORed with this colour: keep it black.
        out.insert(out.end(), static_cast<std::size_t>(bits / 8), 0);
      } else if (bits == 24) {
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
      } else {
        out.push_back(NearestIndex(palette, c));
      }
    }
    out.resize(rowStart + colourStride, 0);
  }
  for (int y = bm.height - 1; y >= 0; --y) {
    const std::size_t rowStart = out.size();
    out.resize(rowStart + maskStride, 0);
    for (int x = 0; x < bm.width; ++x)
      if (!Opaque(bm, x, y)) out[rowStart + static_cast<std::size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
  }
  return out;
}

/// Colour depths stored for every icon size, best first.
inline constexpr std::array<int, 3> kIconDepths{32, 24, 8};

/// An ICO file holding every picture in `sizes` (square, 1 to 256 pixels) at each depth.
inline Bytes EncodeIco(const std::vector<Bitmap>& sizes) {
  std::vector<Bytes> images;
  std::vector<std::array<int, 2>> entries;  // picture index, depth
  for (const int bits : kIconDepths)
    for (std::size_t i = 0; i < sizes.size(); ++i) {
      images.push_back(EncodeIconImage(sizes[i], bits));
      entries.push_back({static_cast<int>(i), bits});
    }
  Bytes out;
  Put16(out, 0);
  Put16(out, 1);  // icon
  Put16(out, static_cast<uint32_t>(images.size()));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
  for (std::size_t k = 0; k < images.size(); ++k) {
    const Bitmap& bm = sizes[static_cast<std::size_t>(entries[k][0])];
    const int bits = entries[k][1];
    out.push_back(static_cast<uint8_t>(bm.width >= 256 ? 0 : bm.width));
    out.push_back(static_cast<uint8_t>(bm.height >= 256 ? 0 : bm.height));
    out.push_back(0);  // colour count: 0 for 256 colours and more
    out.push_back(0);
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(bits));
    Put32(out, static_cast<uint32_t>(images[k].size()));
    Put32(out, offset);
    offset += static_cast<uint32_t>(images[k].size());
  }
  for (const Bytes& image : images) out.insert(out.end(), image.begin(), image.end());
  return out;
}

}  // namespace tarnvik::art::files
