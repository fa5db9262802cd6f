#pragma once
/// The ListingLine of "All_Chan.txt", filled piece by piece (offset lead, overlap letter, time text ending
/// in column 35, right-aligned fields). Windows-1251. A line lives in its own fixed buffer or is written
/// straight into an output buffer, where the next line begins where the last one ended.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/archive/codecs.hpp"
#include "core/archive/format.hpp"
#include "core/export/number_format.hpp"

namespace ar4 {

/// Column in which the time text of every listing line ends.
inline constexpr std::size_t kTimeTextEnd = 35;
/// Width of a channel or sample field, and of an auxiliary value of type 89.
inline constexpr std::size_t kValueFieldWidth = 20;
/// " Ошибочная ячейка" in Windows-1251: the line of an invalid cell in detailed mode.
inline constexpr std::string_view kInvalidCellText = " \xCE\xF8\xE8\xE1\xEE\xF7\xED\xE0\xFF \xFF\xF7\xE5\xE9\xEA\xE0";
inline constexpr std::string_view kLineEnd = "\r\n";

/// Writes the time text of a stamp: "DD.MM.YYYY    hh:mm:ss", or "----  ----" for 0xFFFFFFFF; returns its
/// length. Every field of the bits has at most two digits (the year four), so the text always has 22
/// characters and each field is written at its place without a loop.
inline std::size_t WriteTimeText(char* out, std::uint32_t stamp) {
  if (stamp == 0xFFFFFFFFu) {
    std::memcpy(out, "----  ----", 10);
    return 10;
  }
  const auto two = [](char* at, std::uint32_t value) { std::memcpy(at, &kTwoDigitTable[2 * value], 2); };
  two(out, ((stamp >> 17) & 0x1Fu) + 1);
  out[2] = '.';
  two(out + 3, ((stamp >> 22) & 0x0Fu) + 1);
  out[5] = '.';
  out[6] = '2';
  out[7] = '0';
  two(out + 8, stamp >> 26);
  std::memcpy(out + 10, "    ", 4);
  two(out + 14, (stamp >> 12) & 0x1Fu);
  out[16] = ':';
  two(out + 17, (stamp >> 6) & 0x3Fu);
  out[19] = ':';
  two(out + 20, stamp & 0x3Fu);
  return kPackedTextLength;
}

class ListingLine {
 public:
  /// The longest line is 373 characters (type 75).
  static constexpr std::size_t kCapacity = 512;

  ListingLine() = default;
  ListingLine(const ListingLine&) = delete;
  ListingLine& operator=(const ListingLine&) = delete;

  /// Starts an empty line at `at`, inside a buffer with room for kCapacity characters from there.
  void StartAt(char* at) {
    data_ = at;
    size_ = 0;
  }
  /// Empties the line where it stands.
  void Clear() { size_ = 0; }
  std::size_t Size() const { return size_; }
  const char* Data() const { return data_; }
  char* Data() { return data_; }
  std::string_view View() const { return {data_, size_}; }
  /// Where the next character goes; a writer that fills the line itself gives back its end with SetEnd.
  char* End() { return data_ + size_; }
  void SetEnd(const char* end) { size_ = static_cast<std::size_t>(end - data_); }

  void Append(char c) { data_[size_++] = c; }
  void Append(std::string_view text) {
    std::memcpy(data_ + size_, text.data(), text.size());
    size_ += text.size();
  }
  void AppendBlanks(std::size_t count) {
    std::memset(data_ + size_, ' ', count);
    size_ += count;
  }
  /// Blanks until the line is `length` characters long (nothing when it is already).
  void PadTo(std::size_t length) {
    if (size_ < length) AppendBlanks(length - size_);
  }
  /// Puts a character in front of the whole line (the overlap letter "A").
  void PutInFront(char c) {
    std::memmove(data_ + 1, data_, size_);
    data_[0] = c;
    ++size_;
  }

  /// Detailed mode: "$", the cell's byte offset in the MainBlock as 8 hexadecimal digits (page bits 16..23,
  /// 8..15, 0..7, then the offset within the page), three blanks.
  void AppendCellOffset(CellPosition position, std::uint8_t cell_size);

  /// The time text of a stamp (the 22 characters of PackedToText, "----  ----" for 0xFFFFFFFF), without
  /// padding.
  void AppendTimeText(std::uint32_t stamp) { size_ += WriteTimeText(data_ + size_, stamp); }
  /// Blanks so that the time text ends in column 35, then the time text.
  void AppendAlignedTimeText(std::uint32_t stamp) {
    const std::size_t length = stamp == 0xFFFFFFFFu ? 10 : kPackedTextLength;
    if (size_ + length < kTimeTextEnd) {
      // A fixed run of blanks (the lead is shorter than the column), of which the needed part is kept.
      std::memset(data_ + size_, ' ', kTimeTextEnd);
      size_ = kTimeTextEnd - length;
    }
    AppendTimeText(stamp);
  }

  /// `text` right-aligned in `width` characters; a longer text is written whole.
  void AppendRight(const char* text, std::size_t length, std::size_t width);
  /// A listing value with `decimals` digits after `separator`, right-aligned in `width` characters.
  void AppendValue(double listing_value, int decimals, char separator, std::size_t width);
  /// "Err_" and the status code in decimal, right-aligned in `width` characters.
  void AppendStatus(std::uint8_t status, std::size_t width);
  /// An unsigned number in decimal, right-aligned in `width` characters (0 width: no padding).
  void AppendUnsigned(std::uint32_t value, std::size_t width);

 private:
  char storage_[kCapacity];
  char* data_ = storage_;
  std::size_t size_ = 0;
};

}  // namespace ar4
