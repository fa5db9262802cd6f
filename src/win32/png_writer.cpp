#include "win32/png_writer.hpp"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace ar4::win32 {
namespace {

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 24));
  out.push_back(static_cast<std::uint8_t>(value >> 16));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

void PutChunk(std::vector<std::uint8_t>& out, const char (&type)[5], std::span<const std::uint8_t> data) {
  PutU32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t type_at = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutU32(out, Crc32(std::span<const std::uint8_t>(out).subspan(type_at, 4 + data.size())));
}

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
  crc = ~crc;
  for (std::uint8_t b : bytes) crc = kCrcTable[(crc ^ b) & 0xFFu] ^ (crc >> 8);
  return ~crc;
}

std::uint32_t Adler32(std::span<const std::uint8_t> bytes) {
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  for (std::uint8_t byte : bytes) {
    a = (a + byte) % 65521u;
    b = (b + a) % 65521u;
  }
  return (b << 16) | a;
}

namespace {

/// Writes bits least significant first, as deflate packs them.
class BitWriter {
 public:
  explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
  void Put(std::uint32_t value, int bits) {
    buffer_ |= static_cast<std::uint64_t>(value) << count_;
    count_ += bits;
    while (count_ >= 8) {
      out_.push_back(static_cast<std::uint8_t>(buffer_));
      buffer_ >>= 8;
      count_ -= 8;
    }
  }
  /// A Huffman code, which deflate stores most significant bit first.
  void PutCode(std::uint32_t code, int bits) {
    std::uint32_t reversed = 0;
    for (int i = 0; i < bits; ++i) reversed |= ((code >> i) & 1u) << (bits - 1 - i);
    Put(reversed, bits);
  }
  void Flush() {
    if (count_ > 0) out_.push_back(static_cast<std::uint8_t>(buffer_));
    buffer_ = 0;
    count_ = 0;
  }

 private:
  std::vector<std::uint8_t>& out_;
  std::uint64_t buffer_ = 0;
  int count_ = 0;
};

/// A literal/length symbol in the fixed code.
void PutSymbol(BitWriter& bits, unsigned symbol) {
  if (symbol < 144) {
    bits.PutCode(0x30 + symbol, 8);
  } else if (symbol < 256) {
    bits.PutCode(0x190 + symbol - 144, 9);
  } else if (symbol < 280) {
    bits.PutCode(symbol - 256, 7);
  } else {
    bits.PutCode(0xC0 + symbol - 280, 8);
  }
}

constexpr std::array<std::uint16_t, 29> kLengthBase{3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                    2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistanceBase{1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                                      33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                                      1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistanceExtra{0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                      6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::size_t kMaxMatch = 258;
constexpr std::size_t kMaxDistance = 32768;

void PutMatch(BitWriter& bits, std::size_t length, std::size_t distance) {
  std::size_t code = kLengthBase.size() - 1;
  while (kLengthBase[code] > length) --code;
  PutSymbol(bits, static_cast<unsigned>(257 + code));
  bits.Put(static_cast<std::uint32_t>(length - kLengthBase[code]), kLengthExtra[code]);
  code = kDistanceBase.size() - 1;
  while (kDistanceBase[code] > distance) --code;
  bits.PutCode(static_cast<std::uint32_t>(code), 5);
  bits.Put(static_cast<std::uint32_t>(distance - kDistanceBase[code]), kDistanceExtra[code]);
}

}  // namespace

std::vector<std::uint8_t> ZlibCompress(std::span<const std::uint8_t> data, std::size_t pixel_bytes,
                                       std::size_t row_bytes) {
  std::vector<std::uint8_t> zlib{0x78, 0x01};  // deflate, 32 KiB window, no dictionary
  BitWriter bits(zlib);
  bits.Put(1, 1);  // the last block
  bits.Put(1, 2);  // fixed Huffman codes
  std::size_t at = 0;
  while (at < data.size()) {
    std::size_t best_length = 0;
    std::size_t best_distance = 0;
    for (std::size_t distance : {pixel_bytes, row_bytes}) {
      if (distance == 0 || distance > at || distance > kMaxDistance) continue;
      const std::size_t limit = std::min(kMaxMatch, data.size() - at);
      std::size_t length = 0;
      while (length < limit && data[at + length] == data[at + length - distance]) ++length;
      if (length > best_length) {
        best_length = length;
        best_distance = distance;
      }
    }
    if (best_length >= 3) {
      PutMatch(bits, best_length, best_distance);
      at += best_length;
    } else {
      PutSymbol(bits, data[at]);
      ++at;
    }
  }
  PutSymbol(bits, 256);  // end of the block
  bits.Flush();
  PutU32(zlib, Adler32(data));
  return zlib;
}

std::vector<std::uint8_t> EncodePng(int width, int height, std::span<const std::uint8_t> rgb) {
  if (width <= 0 || height <= 0) throw std::invalid_argument("empty image");
  const std::size_t row_bytes = static_cast<std::size_t>(width) * 3;
  if (rgb.size() != row_bytes * static_cast<std::size_t>(height)) throw std::invalid_argument("image size");

  // The raw scan lines, each after its filter byte 0.
  std::vector<std::uint8_t> raw;
  raw.reserve((row_bytes + 1) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    const auto row = rgb.subspan(static_cast<std::size_t>(y) * row_bytes, row_bytes);
    raw.insert(raw.end(), row.begin(), row.end());
  }

  // Each scan line is one byte longer than its pixels: the row above starts row_bytes + 1 back.
  const std::vector<std::uint8_t> zlib = ZlibCompress(raw, 3, row_bytes + 1);

  std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> header;
  PutU32(header, static_cast<std::uint32_t>(width));
  PutU32(header, static_cast<std::uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, filter 0, no interlace
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", zlib);
  PutChunk(png, "IEND", {});
  return png;
}

}  // namespace ar4::win32
