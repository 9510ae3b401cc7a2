// Encoders for the two picture file formats the resource compiler takes: 24-bit BMP for the
// button pictures and ICO for the program's icon (the classic sizes at 8 and 32 bits per
// pixel, the high-DPI ones at 32, the 256-pixel one as PNG). Header-only so that the generator
// and its unit test share one copy. The PNG's deflate coder is written here rather than taken
// from a library, so that the same sources give the same icon bytes on every build machine.
#pragma once

#include <array>
#include <cstdlib>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ui/toolkit/artwork.h"

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

inline void Put32Be(Bytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

/// Appends deflate data to `out` least significant bit first, as RFC 1951 packs it.
class BitWriter {
 public:
  explicit BitWriter(Bytes& out) : out_(out) {}
  void Bits(uint32_t value, int count) {
    for (int i = 0; i < count; ++i) Bit((value >> i) & 1u);
  }
  /// A Huffman code goes out most significant bit first.
  void Code(uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) Bit((code >> i) & 1u);
  }
  void Flush() {
    if (used_ != 0) out_.push_back(current_);
    current_ = 0;
    used_ = 0;
  }

 private:
  void Bit(uint32_t bit) {
    current_ = static_cast<uint8_t>(current_ | (bit << used_));
    if (++used_ == 8) Flush();
  }
  Bytes& out_;
  uint8_t current_ = 0;
  int used_ = 0;
};

/// One symbol of the fixed literal/length code.
inline void PutFixedLiteral(BitWriter& w, uint32_t symbol) {
  if (symbol < 144) w.Code(0x30 + symbol, 8);
  else if (symbol < 256) w.Code(0x190 + symbol - 144, 9);
  else if (symbol < 280) w.Code(symbol - 256, 7);
  else w.Code(0xC0 + symbol - 280, 8);
}

/// A (length, distance) pair in the fixed codes: the code of each base, then its extra bits.
inline void PutMatch(BitWriter& w, uint32_t length, uint32_t distance) {
  static constexpr std::array<uint16_t, 29> kLengthBase{3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                        31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  static constexpr std::array<uint8_t, 29> kLengthExtra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  static constexpr std::array<uint16_t, 30> kDistanceBase{
      1,   2,   3,   4,   5,    7,    9,    13,   17,   25,   33,   49,    65,    97,    129,
      193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
  uint32_t l = 28;
  while (kLengthBase[l] > length) --l;
  PutFixedLiteral(w, 257 + l);
  w.Bits(length - kLengthBase[l], kLengthExtra[l]);
  uint32_t d = 29;
  while (kDistanceBase[d] > distance) --d;
  w.Code(d, 5);
  w.Bits(distance - kDistanceBase[d], d < 4 ? 0 : static_cast<int>(d / 2 - 1));
}

/// A zlib stream of `data`: one deflate block in the fixed codes, with greedy matching over
/// hash chains of three-byte prefixes in a 32 KiB window.
inline Bytes ZlibCompress(const Bytes& data) {
  constexpr std::size_t kWindow = 32768, kMaxLength = 258, kChainLimit = 128;
  constexpr uint32_t kHashSize = 1u << 15;
  Bytes out{0x78, 0x01};
  BitWriter w(out);
  w.Bits(1, 1);  // the final block
  w.Bits(1, 2);  // fixed codes
  std::vector<int64_t> head(kHashSize, -1), previous(data.size(), -1);
  const auto hashAt = [&data](std::size_t i) {
    return ((uint32_t{data[i]} << 10) ^ (uint32_t{data[i + 1]} << 5) ^ data[i + 2]) & (kHashSize - 1);
  };
  const auto insert = [&](std::size_t i) {
    if (i + 2 >= data.size()) return;
    const uint32_t h = hashAt(i);
    previous[i] = head[h];
    head[h] = static_cast<int64_t>(i);
  };
  for (std::size_t i = 0; i < data.size();) {
    std::size_t bestLength = 0, bestDistance = 0;
    if (i + 2 < data.size()) {
      std::size_t tried = 0;
      for (int64_t c = head[hashAt(i)]; c >= 0 && i - static_cast<std::size_t>(c) <= kWindow && tried < kChainLimit;
           c = previous[static_cast<std::size_t>(c)], ++tried) {
        const auto candidate = static_cast<std::size_t>(c);
        std::size_t n = 0;
        while (n < kMaxLength && i + n < data.size() && data[candidate + n] == data[i + n]) ++n;
        if (n > bestLength) {
          bestLength = n;
          bestDistance = i - candidate;
        }
      }
    }
    if (bestLength >= 3) {
      PutMatch(w, static_cast<uint32_t>(bestLength), static_cast<uint32_t>(bestDistance));
      for (std::size_t k = 0; k < bestLength; ++k) insert(i + k);
      i += bestLength;
    } else {
      PutFixedLiteral(w, data[i]);
      insert(i++);
    }
  }
  PutFixedLiteral(w, 256);  // end of block
  w.Flush();
  uint32_t a = 1, b = 0;  // Adler-32 of the uncompressed data
  for (const uint8_t byte : data) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  Put32Be(out, (b << 16) | a);
  return out;
}

inline uint32_t Crc32(const uint8_t* data, std::size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

inline void PutPngChunk(Bytes& out, const char (&type)[5], const Bytes& data) {
  Put32Be(out, static_cast<uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  Put32Be(out, Crc32(out.data() + start, out.size() - start));
}

/// An 8-bit RGBA PNG of the picture. Each row takes the filter (none, left or up) whose bytes
/// sum smallest as signed values, the usual heuristic.
inline Bytes EncodePng(const Bitmap& bm) {
  Bytes out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes header;
  Put32Be(header, static_cast<uint32_t>(bm.width));
  Put32Be(header, static_cast<uint32_t>(bm.height));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, filters, no interlace
  PutPngChunk(out, "IHDR", header);

  const std::size_t stride = static_cast<std::size_t>(bm.width) * 4;
  Bytes raw, row(stride), above(stride, 0);
  for (int y = 0; y < bm.height; ++y) {
    for (int x = 0; x < bm.width; ++x) {
      const Rgb c = bm.RgbAt(x, y);
      const std::size_t at = static_cast<std::size_t>(x) * 4;
      row[at] = c.r;
      row[at + 1] = c.g;
      row[at + 2] = c.b;
      row[at + 3] = bm.AlphaAt(x, y);
    }
    std::array<Bytes, 3> filtered;
    std::size_t best = 0;
    long bestCost = -1;
    for (std::size_t f = 0; f < 3; ++f) {
      filtered[f].resize(stride);
      long cost = 0;
      for (std::size_t i = 0; i < stride; ++i) {
        const uint8_t prior = f == 0 ? 0 : f == 1 ? (i >= 4 ? row[i - 4] : 0) : above[i];
        filtered[f][i] = static_cast<uint8_t>(row[i] - prior);
        cost += std::abs(static_cast<int8_t>(filtered[f][i]));
      }
      if (bestCost < 0 || cost < bestCost) {
        best = f;
        bestCost = cost;
      }
    }
    raw.push_back(static_cast<uint8_t>(best));  // PNG's filter numbers: 0 none, 1 left, 2 up
    raw.insert(raw.end(), filtered[best].begin(), filtered[best].end());
    above = row;
  }
  PutPngChunk(out, "IDAT", ZlibCompress(raw));
  PutPngChunk(out, "IEND", {});
  return out;
}

/// Colour depths stored for the classic icon sizes, best first: 32 bits (with alpha from XP on,
/// through the mask before it) and a 256-colour palette for displays of 8 bits. A 24-bit image
/// would only repeat the 32-bit one without its alpha, and cost 11 KB of every .exe.
inline constexpr std::array<int, 2> kIconDepths{32, 8};

/// Whether a size is one Windows before XP asks for, and so gets a palette image beside the
/// 32-bit one. The others serve high-DPI displays on XP and later.
inline bool ClassicIconSize(int size) { return size == 16 || size == 32 || size == 48; }

/// The 256-pixel image is stored as PNG, the form Windows Vista and later read it in: as a
/// bitmap it would weigh about 270 KB instead of 6, and earlier Windows never pick it. The
/// smaller ones stay bitmaps, which every Windows reads without a decoder (Wine, asked for a
/// 64-pixel PNG image, decodes it inside the program, which then failed to end after the help
/// file had been opened).
inline bool PngIconSize(int size) { return size >= 256; }

/// An ICO file holding every picture in `sizes` (square, 1 to 256 pixels): the classic sizes at
/// each depth, the others at 32 bits, the largest as PNG.
inline Bytes EncodeIco(const std::vector<Bitmap>& sizes) {
  std::vector<Bytes> images;
  std::vector<std::array<int, 2>> entries;  // picture index, depth
  for (const int bits : kIconDepths)
    for (std::size_t i = 0; i < sizes.size(); ++i) {
      if (bits != 32 && !ClassicIconSize(sizes[i].width)) continue;
      images.push_back(PngIconSize(sizes[i].width) ? EncodePng(sizes[i]) : EncodeIconImage(sizes[i], bits));
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
