#include "core/export/listing.hpp"

#include "core/archive/codecs.hpp"
#include "core/export/number_format.hpp"

namespace ar4 {

void ListingLine::AppendCellOffset(CellPosition position, std::uint8_t cell_size) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::uint32_t page = position.Page;
  const std::uint32_t in_page = (position.Cell * cell_size) & 0xFFu;
  const std::uint32_t offset = ((page & 0xFFFFFFu) << 8) | in_page;
  Append('$');
  for (int shift = 28; shift >= 0; shift -= 4) Append(kHex[(offset >> shift) & 0x0Fu]);
  AppendBlanks(3);
}

void ListingLine::AppendRight(const char* text, std::size_t length, std::size_t width) {
  if (length < width) AppendBlanks(width - length);
  std::memcpy(data_ + size_, text, length);
  size_ += length;
}

void ListingLine::AppendValue(double listing_value, int decimals, char separator, std::size_t width) {
  if (width == kValueFieldWidth) {
    // Blanks first, then the number written backwards from the end of the field.
    std::memset(data_ + size_, ' ', kValueFieldWidth);
    FormatFixedBackward(data_ + size_ + kValueFieldWidth, listing_value, decimals, separator);
    size_ += kValueFieldWidth;
    return;
  }
  if (width >= kMaxFixedLength) {
    std::memset(data_ + size_, ' ', width);
    FormatFixedBackward(data_ + size_ + width, listing_value, decimals, separator);
    size_ += width;
    return;
  }
  char text[kMaxFixedLength];
  const std::size_t length = FormatFixed(text, listing_value, decimals, separator);
  AppendRight(text, length, width);
}

void ListingLine::AppendStatus(std::uint8_t status, std::size_t width) {
  char text[8] = {'E', 'r', 'r', '_'};
  std::size_t length = 4;
  if (status >= 100) text[length++] = static_cast<char>('0' + status / 100);
  if (status >= 10) text[length++] = static_cast<char>('0' + status / 10 % 10);
  text[length++] = static_cast<char>('0' + status % 10);
  AppendRight(text, length, width);
}

void ListingLine::AppendUnsigned(std::uint32_t value, std::size_t width) {
  char digits[10];
  std::size_t length = 0;
  do {
    digits[sizeof digits - 1 - length++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  AppendRight(digits + sizeof digits - length, length, width);
}

}  // namespace ar4
