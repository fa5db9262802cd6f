#pragma once
/// A small PNG encoder for the window pictures: 8-bit RGB, filter 0, the image data deflated with the
/// fixed Huffman codes and matches against the pixel before and the row above (window pictures are
/// mostly flat colour, so this is enough to make them small). No dependencies.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace ar4::win32 {

/// CRC-32 of the PNG chunks (polynomial 0xEDB88320), continuing from `crc` (0 to start).
std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

/// Adler-32 of the zlib stream.
std::uint32_t Adler32(std::span<const std::uint8_t> bytes);

/// A zlib stream of `data` in one deflate block with the fixed codes. Matches are looked for
/// `pixel_bytes` back (the pixel before) and `row_bytes` back (the row above); 0 leaves a distance out.
std::vector<std::uint8_t> ZlibCompress(std::span<const std::uint8_t> data, std::size_t pixel_bytes,
                                       std::size_t row_bytes);

/// The PNG file of an image given as `height` rows of `width` RGB triples, top row first.
std::vector<std::uint8_t> EncodePng(int width, int height, std::span<const std::uint8_t> rgb);

}  // namespace ar4::win32
