// The CSV table: RFC 4180, UTF-8, LF line ends, a header row; a field is quoted only when it holds the
// delimiter (which the characters allowed for it make rare).

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <string_view>

#include "core/table/table_writers.hpp"

namespace ar4 {
namespace {

/// The output buffer: written out whenever less than one longest row's room is left.
constexpr std::size_t kCsvBufferSize = 1u << 20;
constexpr std::size_t kLongestRow = 2048;
/// Room for the shortest text of any float ("-1.1754944e-38" is 14 characters).
constexpr std::size_t kFloatRoom = 24;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

/// The characters a number, a time or a column name may contain besides letters, digits and the decimal
/// separator: a delimiter among them forces the check for quoting.
constexpr std::string_view kFieldPunctuation = ".-+:_";

class CsvRowWriter final : public TableRowSink {
 public:
  CsvRowWriter(const TableLayout& layout, const TableOptions& options, OutputFile& out)
      : layout_(layout), options_(options), out_(out), buffer_(std::make_unique_for_overwrite<char[]>(kCsvBufferSize)),
        at_(buffer_.get()),
        quote_check_(kFieldPunctuation.find(options.Delimiter) != std::string_view::npos ||
                     options.Delimiter == options.DecimalSeparator) {}

  void Header() {
    if (options_.ByteOrderMark) Append(kByteOrderMark);
    bool first = true;
    for (const std::string& name : TableHeader(layout_)) {
      if (!first) *at_++ = options_.Delimiter;
      first = false;
      char* field = at_;
      Append(name);
      Quote(field);
    }
    *at_++ = '\n';
  }

  void Row(const TableRow& row) override {
    char* field = at_;
    at_ += WriteTimeText(at_, row.Stamp, row.Milliseconds, layout_.Grv300);
    Quote(field);
    for (std::size_t g = 0; g < layout_.Channels; ++g) {
      *at_++ = options_.Delimiter;
      if (row.Status[g] == 0) Float(row.Values[g]);  // a flagged channel's field stays empty
      if (layout_.StatusColumns) {
        *at_++ = options_.Delimiter;
        Unsigned(row.Status[g]);
      }
    }
    for (std::size_t r = 0; r < layout_.Relays; ++r) {
      at_[0] = options_.Delimiter;
      at_[1] = static_cast<char>('0' + ((row.Relays >> r) & 1u));
      at_ += 2;
    }
    if (layout_.Grv300) {
      *at_++ = options_.Delimiter;
      Unsigned(row.AuxA);
      *at_++ = options_.Delimiter;
      Unsigned(row.AuxB);
      *at_++ = options_.Delimiter;
      Float(row.AuxC);
      *at_++ = options_.Delimiter;
      Float(row.AuxD);
    }
    *at_++ = '\n';
    if (static_cast<std::size_t>(at_ - buffer_.get()) > kCsvBufferSize - kLongestRow) Flush();
  }

  void Flush() {
    out_.Write(buffer_.get(), static_cast<std::size_t>(at_ - buffer_.get()));
    at_ = buffer_.get();
  }

 private:
  void Append(std::string_view text) {
    std::memcpy(at_, text.data(), text.size());
    at_ += text.size();
  }

  /// The shortest text that reads back as the same single-precision number; "inf", "-inf" and "nan".
  void Float(float value) {
    char* field = at_;
    if (std::isnan(value)) {
      Append("nan");  // whatever its sign bit
    } else {
      at_ = std::to_chars(at_, at_ + kFloatRoom, value).ptr;
      if (options_.DecimalSeparator != '.') {
        for (char* c = field; c < at_; ++c) {
          if (*c == '.') *c = options_.DecimalSeparator;
        }
      }
    }
    Quote(field);
  }

  void Unsigned(std::uint32_t value) { at_ = std::to_chars(at_, at_ + 12, value).ptr; }

  /// Puts the field that begins at `field` in quotes when it holds the delimiter. Fields never hold a
  /// quote or a line end, so nothing inside needs doubling.
  void Quote(char* field) {
    if (!quote_check_) return;
    const std::size_t length = static_cast<std::size_t>(at_ - field);
    if (std::memchr(field, options_.Delimiter, length) == nullptr) return;
    std::memmove(field + 1, field, length);
    field[0] = '"';
    field[length + 1] = '"';
    at_ += 2;
  }

  const TableLayout layout_;
  const TableOptions& options_;
  OutputFile& out_;
  std::unique_ptr<char[]> buffer_;
  char* at_;
  const bool quote_check_;
};

}  // namespace

char DefaultCsvDelimiter(char decimal_separator) { return decimal_separator == ',' ? ';' : ','; }

std::string CsvCharactersProblem(char delimiter, char decimal_separator) {
  const auto usable = [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x80 && byte != '"' && byte != '\r' && byte != '\n' && byte != '\0' &&
           !(c >= '0' && c <= '9') && !(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z') && c != '_';
  };
  if (!usable(delimiter)) return "the delimiter must be one ASCII character other than a letter, a digit, '_' or '\"'";
  if (!usable(decimal_separator) || decimal_separator == '-' || decimal_separator == '+' ||
      decimal_separator == ' ' || decimal_separator == '\t') {
    return "the decimal separator must be one ASCII punctuation character other than '-', '+' or '\"'";
  }
  return {};
}

ExportResult WriteCsvTable(const TableSelection& selection, const TableOptions& options, OutputFile& out,
                           const GaugeCallback& gauge) {
  if (selection.Profile == nullptr) throw ExportError("no instrument type");
  if (!CsvCharactersProblem(options.Delimiter, options.DecimalSeparator).empty()) {
    throw ExportError("unusable CSV characters");
  }
  CsvRowWriter writer(TableLayoutOf(*selection.Profile, options.StatusColumns), options, out);
  writer.Header();
  ExportResult result = ForEachTableRow(selection, writer, gauge);
  writer.Flush();
  return result;
}

}  // namespace ar4
