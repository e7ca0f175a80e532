// pack-icon OUT.ico IN.png...: a build tool, compiled for the build machine, that packs
// square PNG pictures (8-bit RGBA, as rsvg-convert writes them) into one Windows icon file.
// Pictures of 256 pixels go in as the PNG files they are, as Windows Vista and later read
// them; smaller ones as the classic 32-bit bitmaps, which Windows (and Wine) show without
// starting an image decoder: under Wine that start alone costs a program 27 ms.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kDirectorySize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr std::uint32_t kLargestBitmap = 255;
constexpr std::size_t kBitmapHeaderSize = 40;

void PutWord(Bytes& out, std::uint32_t value) {
  out.push_back(static_cast<unsigned char>(value));
  out.push_back(static_cast<unsigned char>(value >> 8));
}

void PutDword(Bytes& out, std::uint32_t value) {
  PutWord(out, value & 0xFFFF);
  PutWord(out, value >> 16);
}

std::uint32_t BigEndian(const Bytes& in, std::size_t at) {
  return std::uint32_t{in[at]} << 24 | std::uint32_t{in[at + 1]} << 16 | std::uint32_t{in[at + 2]} << 8 |
         std::uint32_t{in[at + 3]};
}

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "pack-icon: %s\n", why.c_str());
  std::exit(1);
}

// The PNG's width, after checking that it is a square PNG an icon can hold; 0 if not.
std::uint32_t SquareSide(const Bytes& png) {
  // The signature, then the IHDR chunk: length, type, width, height.
  if (png.size() < 24 || !std::equal(std::begin(kPngSignature), std::end(kPngSignature), png.begin())) return 0;
  if (std::string(png.begin() + 12, png.begin() + 16) != "IHDR") return 0;
  const std::uint32_t width = BigEndian(png, 16);
  const std::uint32_t height = BigEndian(png, 20);
  return width == height && width >= 1 && width <= 256 ? width : 0;
}

int Paeth(int left, int up, int upLeft) {
  const int estimate = left + up - upLeft;
  const int toLeft = std::abs(estimate - left), toUp = std::abs(estimate - up), toUpLeft = std::abs(estimate - upLeft);
  if (toLeft <= toUp && toLeft <= toUpLeft) return left;
  return toUp <= toUpLeft ? up : upLeft;
}

// The pixels of an 8-bit RGBA PNG without interlace, top row first, four bytes each.
Bytes DecodeRgba(const Bytes& png, std::uint32_t side) {
  // The IHDR's bit depth, colour type and interlace method.
  if (png[24] != 8 || png[25] != 6 || png[28] != 0) Fail("only 8-bit RGBA PNG files without interlace can be packed");
  Bytes compressed;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const std::uint32_t length = BigEndian(png, at);
    if (std::string(png.begin() + static_cast<std::ptrdiff_t>(at) + 4, png.begin() + static_cast<std::ptrdiff_t>(at) + 8) == "IDAT") {
      compressed.insert(compressed.end(), png.begin() + static_cast<std::ptrdiff_t>(at) + 8,
                        png.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
    }
    at += 12 + length;
  }
  const std::size_t stride = 4 * std::size_t{side};
  Bytes filtered((stride + 1) * side);
  uLongf size = static_cast<uLongf>(filtered.size());
  if (uncompress(filtered.data(), &size, compressed.data(), static_cast<uLong>(compressed.size())) != Z_OK ||
      size != filtered.size()) {
    Fail("a PNG's image data don't inflate to its size");
  }
  Bytes pixels(stride * side);
  for (std::size_t y = 0; y < side; ++y) {
    const unsigned char filter = filtered[y * (stride + 1)];
    for (std::size_t x = 0; x < stride; ++x) {
      const int raw = filtered[y * (stride + 1) + 1 + x];
      const int left = x >= 4 ? pixels[y * stride + x - 4] : 0;
      const int up = y > 0 ? pixels[(y - 1) * stride + x] : 0;
      const int upLeft = x >= 4 && y > 0 ? pixels[(y - 1) * stride + x - 4] : 0;
      const int predicted = filter == 0 ? 0 : filter == 1 ? left : filter == 2 ? up : filter == 3 ? (left + up) / 2 : Paeth(left, up, upLeft);
      if (filter > 4) Fail("a PNG row has an unknown filter");
      pixels[y * stride + x] = static_cast<unsigned char>(raw + predicted);
    }
  }
  return pixels;
}

// The classic icon image: a BITMAPINFOHEADER of twice the height, the BGRA rows bottom row
// first, then the AND mask (1 bit a pixel, rows padded to 32 bits) that marks transparent
// pixels for systems that ignore the alpha channel.
Bytes IconBitmap(const Bytes& png, std::uint32_t side) {
  const Bytes rgba = DecodeRgba(png, side);
  const std::uint32_t maskStride = (side + 31) / 32 * 4;
  Bytes image;
  for (const std::uint32_t value : {std::uint32_t{kBitmapHeaderSize}, side, 2 * side}) PutDword(image, value);
  PutWord(image, 1);   // planes
  PutWord(image, 32);  // bits a pixel
  for (const std::uint32_t value : {0u, side * side * 4 + maskStride * side, 0u, 0u, 0u, 0u}) PutDword(image, value);
  for (std::uint32_t row = side; row-- > 0;) {
    for (std::uint32_t x = 0; x < side; ++x) {
      const unsigned char* pixel = &rgba[(std::size_t{row} * side + x) * 4];
      image.insert(image.end(), {pixel[2], pixel[1], pixel[0], pixel[3]});
    }
  }
  for (std::uint32_t row = side; row-- > 0;) {
    Bytes mask(maskStride, 0);
    for (std::uint32_t x = 0; x < side; ++x) {
      if (rgba[(std::size_t{row} * side + x) * 4 + 3] == 0) mask[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
    }
    image.insert(image.end(), mask.begin(), mask.end());
  }
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: pack-icon OUT.ico IN.png...\n");
    return 2;
  }
  std::vector<std::uint32_t> sides;
  std::vector<Bytes> images;
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    const Bytes png{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::uint32_t side = SquareSide(png);
    if (side == 0) Fail(std::string(argv[i]) + " is no square PNG of at most 256 pixels");
    sides.push_back(side);
    images.push_back(side <= kLargestBitmap ? IconBitmap(png, side) : png);
  }

  Bytes icon;
  PutWord(icon, 0);  // reserved
  PutWord(icon, 1);  // an icon, not a cursor
  PutWord(icon, static_cast<std::uint32_t>(images.size()));
  std::size_t offset = kDirectorySize + kEntrySize * images.size();
  for (std::size_t i = 0; i < images.size(); ++i) {
    const std::uint32_t side = sides[i];
    icon.push_back(static_cast<unsigned char>(side % 256));  // 0 stands for 256
    icon.push_back(static_cast<unsigned char>(side % 256));
    icon.push_back(0);  // no palette
    icon.push_back(0);  // reserved
    PutWord(icon, 1);   // colour planes
    PutWord(icon, 32);  // bits a pixel
    PutDword(icon, static_cast<std::uint32_t>(images[i].size()));
    PutDword(icon, static_cast<std::uint32_t>(offset));
    offset += images[i].size();
  }
  for (const Bytes& image : images) icon.insert(icon.end(), image.begin(), image.end());

  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(icon.data()), static_cast<std::streamsize>(icon.size()));
  if (!out.flush()) {
    std::fprintf(stderr, "pack-icon: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
