#include "win32/png_writer.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string_view>

namespace ar4::win32 {
namespace {

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::uint32_t U32At(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
         (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

/// Reads deflate's bits, least significant first.
class BitReader {
 public:
  BitReader(const std::vector<std::uint8_t>& bytes, std::size_t at) : bytes_(bytes), at_(at) {}
  std::uint32_t Get(int bits) {
    std::uint32_t value = 0;
    for (int i = 0; i < bits; ++i) {
      if (at_ >= bytes_.size()) throw std::runtime_error("out of data");
      value |= static_cast<std::uint32_t>((bytes_[at_] >> bit_) & 1u) << i;
      if (++bit_ == 8) {
        bit_ = 0;
        ++at_;
      }
    }
    return value;
  }
  /// The next literal/length symbol of the fixed code (its bits come most significant first).
  unsigned Symbol() {
    std::uint32_t code = 0;
    for (int length = 1; length <= 9; ++length) {
      code = (code << 1) | Get(1);
      if (length == 7 && code <= 0x17) return 256 + code;
      if (length == 8 && code >= 0x30 && code <= 0xBF) return code - 0x30;
      if (length == 8 && code >= 0xC0 && code <= 0xC7) return 280 + code - 0xC0;
      if (length == 9 && code >= 0x190) return 144 + code - 0x190;
    }
    throw std::runtime_error("bad code");
  }
  void SkipToByte() {
    if (bit_ != 0) {
      bit_ = 0;
      ++at_;
    }
  }
  std::size_t At() const { return at_; }

 private:
  const std::vector<std::uint8_t>& bytes_;
  std::size_t at_;
  int bit_ = 0;
};

/// A zlib stream of stored and fixed-code blocks, inflated; its header and Adler-32 checked.
std::vector<std::uint8_t> Inflate(const std::vector<std::uint8_t>& zlib) {
  static constexpr unsigned kLengthBase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                             31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  static constexpr int kLengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                         2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  static constexpr unsigned kDistanceBase[] = {1,    2,    3,    4,    5,    7,    9,     13,    17,    25,
                                               33,   49,   65,   97,   129,  193,  257,   385,   513,   769,
                                               1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
  static constexpr int kDistanceExtra[] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                           6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
  EXPECT_EQ(zlib.at(0) & 0x0F, 8);  // deflate
  EXPECT_EQ((zlib.at(0) * 256 + zlib.at(1)) % 31, 0);
  std::vector<std::uint8_t> out;
  BitReader bits(zlib, 2);
  bool last = false;
  while (!last) {
    last = bits.Get(1) != 0;
    const std::uint32_t type = bits.Get(2);
    if (type == 0) {
      bits.SkipToByte();
      const std::uint32_t length = bits.Get(16);
      EXPECT_EQ(bits.Get(16), length ^ 0xFFFFu);
      for (std::uint32_t i = 0; i < length; ++i) out.push_back(static_cast<std::uint8_t>(bits.Get(8)));
      continue;
    }
    if (type != 1) throw std::runtime_error("unexpected block type");
    for (;;) {
      const unsigned symbol = bits.Symbol();
      if (symbol < 256) {
        out.push_back(static_cast<std::uint8_t>(symbol));
        continue;
      }
      if (symbol == 256) break;
      const unsigned code = symbol - 257;
      const std::size_t length = kLengthBase[code] + bits.Get(kLengthExtra[code]);
      std::uint32_t distance_code = 0;
      for (int i = 0; i < 5; ++i) distance_code = (distance_code << 1) | bits.Get(1);
      const std::size_t distance = kDistanceBase[distance_code] + bits.Get(kDistanceExtra[distance_code]);
      if (distance > out.size()) throw std::runtime_error("distance before the start");
      for (std::size_t i = 0; i < length; ++i) out.push_back(out[out.size() - distance]);
    }
  }
  bits.SkipToByte();
  EXPECT_EQ(bits.At() + 4, zlib.size());
  EXPECT_EQ(U32At(zlib, bits.At()), Adler32(out));
  return out;
}

/// The chunks of a PNG file, each checked against its CRC, and the inflated scan lines.
struct DecodedPng {
  std::uint32_t Width = 0, Height = 0;
  std::vector<std::uint8_t> Header;
  std::vector<std::uint8_t> Raw;
  std::vector<std::string> Chunks;
  std::size_t CompressedSize = 0;
};

DecodedPng Decode(const std::vector<std::uint8_t>& png) {
  DecodedPng decoded;
  static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  EXPECT_TRUE(std::equal(std::begin(kSignature), std::end(kSignature), png.begin()));
  std::vector<std::uint8_t> zlib;
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    const std::uint32_t length = U32At(png, at);
    const std::string type(png.begin() + static_cast<std::ptrdiff_t>(at + 4),
                           png.begin() + static_cast<std::ptrdiff_t>(at + 8));
    const std::span<const std::uint8_t> typed(png.data() + at + 4, length + 4);
    EXPECT_EQ(U32At(png, at + 8 + length), Crc32(typed)) << type;
    const std::vector<std::uint8_t> data(png.begin() + static_cast<std::ptrdiff_t>(at + 8),
                                         png.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
    if (type == "IHDR") decoded.Header = data;
    if (type == "IDAT") zlib.insert(zlib.end(), data.begin(), data.end());
    decoded.Chunks.push_back(type);
    at += 12 + length;
  }
  EXPECT_EQ(at, png.size());
  if (decoded.Header.size() == 13) {
    decoded.Width = U32At(decoded.Header, 0);
    decoded.Height = U32At(decoded.Header, 4);
  }
  decoded.CompressedSize = zlib.size();
  decoded.Raw = Inflate(zlib);
  return decoded;
}

TEST(PngWriter, ChecksumsMatchTheirStandardCheckValues) {
  EXPECT_EQ(Crc32(Bytes("123456789")), 0xCBF43926u);
  EXPECT_EQ(Crc32(Bytes("6789"), Crc32(Bytes("12345"))), 0xCBF43926u);
  EXPECT_EQ(Adler32(Bytes("Wikipedia")), 0x11E60398u);
  EXPECT_EQ(Adler32({}), 1u);
}

TEST(PngWriter, SmallImageHasHeaderAndFilteredRows) {
  const std::vector<std::uint8_t> rgb{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};  // 2 x 2
  const DecodedPng png = Decode(EncodePng(2, 2, rgb));
  EXPECT_EQ(png.Chunks, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  EXPECT_EQ(png.Width, 2u);
  EXPECT_EQ(png.Height, 2u);
  EXPECT_EQ(png.Header[8], 8);  // bit depth
  EXPECT_EQ(png.Header[9], 2);  // RGB
  EXPECT_EQ(png.Raw, (std::vector<std::uint8_t>{0, 1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12}));
}

TEST(PngWriter, CompressedDataInflatesToItselfWhateverItsPatterns) {
  std::vector<std::vector<std::uint8_t>> cases;
  cases.push_back({});
  cases.push_back({42});
  cases.push_back(std::vector<std::uint8_t>(100000, 7));  // matches longer than 258, overlapping
  std::vector<std::uint8_t> noise(5000);
  std::uint32_t state = 12345;
  for (auto& b : noise) b = static_cast<std::uint8_t>((state = state * 1103515245u + 12345u) >> 24);
  cases.push_back(noise);  // no matches at all: every byte a literal, all 256 values
  std::vector<std::uint8_t> rows;
  for (int row = 0; row < 40; ++row) rows.insert(rows.end(), noise.begin(), noise.begin() + 3073);
  cases.push_back(rows);  // the same row again and again: matches at the row distance
  for (const auto& data : cases) {
    EXPECT_EQ(Inflate(ZlibCompress(data, 3, 3073)), data) << data.size();
  }
  // A row distance beyond the 32 KiB window is not used.
  std::vector<std::uint8_t> wide;
  for (int row = 0; row < 3; ++row) {
    wide.insert(wide.end(), noise.begin(), noise.end());
    wide.resize(wide.size() + 30000);
  }
  EXPECT_EQ(Inflate(ZlibCompress(wide, 3, 35000)), wide);
  EXPECT_EQ(Inflate(ZlibCompress(noise, 0, 0)), noise);
}

TEST(PngWriter, LargeFlatImageIsSmallAndIntact) {
  const int width = 669, height = 303;  // the splash window
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width * height * 3));
  for (std::size_t i = 0; i < rgb.size(); i += 3) {
    rgb[i + 1] = 255;  // lime
  }
  for (int x = 100; x < 400; ++x) rgb[static_cast<std::size_t>((50 * width + x) * 3)] = 0x80;  // a line of text
  const DecodedPng png = Decode(EncodePng(width, height, rgb));
  ASSERT_EQ(png.Raw.size(), static_cast<std::size_t>((width * 3 + 1) * height));
  for (int y = 0; y < height; ++y) {
    const std::size_t row = static_cast<std::size_t>(y) * (width * 3 + 1);
    ASSERT_EQ(png.Raw[row], 0);
    ASSERT_TRUE(std::equal(rgb.begin() + y * width * 3, rgb.begin() + (y + 1) * width * 3,
                           png.Raw.begin() + static_cast<std::ptrdiff_t>(row + 1)));
  }
  EXPECT_LT(png.CompressedSize, rgb.size() / 50);
}

TEST(PngWriter, RejectsSizesThatDoNotMatchThePixels) {
  const std::vector<std::uint8_t> rgb(12);
  EXPECT_THROW(EncodePng(0, 2, rgb), std::invalid_argument);
  EXPECT_THROW(EncodePng(3, 2, rgb), std::invalid_argument);
}

}  // namespace
}  // namespace ar4::win32
