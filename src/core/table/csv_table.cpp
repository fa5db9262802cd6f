// The CSV table: RFC 4180, UTF-8, LF line ends, a header row; a field is quoted only when it holds the
// delimiter (which the characters allowed for it make rare). Large walks are cut into segments that two
// worker threads format while the calling thread writes them out in walk order.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "core/export/export_segments.hpp"
#include "core/table/shortest_float.hpp"
#include "core/table/table_writers.hpp"

namespace ar4 {
namespace {

/// Room for the shortest text of any float ("-1.1754944e-38" is 14 characters) and for a time text.
constexpr std::size_t kFieldRoom = 24;
/// About this many bytes of output per segment.
constexpr std::size_t kSegmentBytes = 1u << 20;
/// Segments being formatted or waiting to be written at one time.
constexpr std::size_t kSegmentContexts = 4;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

/// The characters a number, a time or a column name may contain besides letters, digits and the decimal
/// separator: a delimiter among them forces the check for quoting.
constexpr std::string_view kFieldPunctuation = ".-+:_";

std::size_t FieldCount(const TableLayout& layout) {
  return 1 + layout.Channels * (layout.StatusColumns ? 2 : 1) + layout.Relays + (layout.Grv300 ? 4 : 0);
}

/// The longest text of one position of the walk: one row, or 16 for a ГРВ-300 cell.
std::size_t MostBytesPerPosition(const TableLayout& layout) {
  const std::size_t row = FieldCount(layout) * (kFieldRoom + 3) + 1;  // each field: delimiter, quotes
  return row * (layout.Grv300 ? 16 : 1);
}

/// Formats rows into a buffer that has room for them (nothing is checked or allocated per row).
class CsvFormatter {
 public:
  CsvFormatter(const TableLayout& layout, const TableOptions& options)
      : layout_(layout), delimiter_(options.Delimiter), separator_(options.DecimalSeparator),
        quote_check_(kFieldPunctuation.find(options.Delimiter) != std::string_view::npos ||
                     options.Delimiter == options.DecimalSeparator) {}

  char* Header(char* at, bool byte_order_mark) const {
    if (byte_order_mark) at = Append(at, kByteOrderMark);
    bool first = true;
    for (const std::string& name : TableHeader(layout_)) {
      if (!first) *at++ = delimiter_;
      first = false;
      char* field = at;
      at = Quote(field, Append(at, name));
    }
    *at++ = '\n';
    return at;
  }

  char* Row(char* at, const TableRow& row) const {
    char* field = at;
    at = Quote(field, at + WriteTimeText(at, row.Stamp, row.Milliseconds, layout_.Grv300));
    for (std::size_t g = 0; g < layout_.Channels; ++g) {
      *at++ = delimiter_;
      if (row.Status[g] == 0) at = Float(at, row.Values[g]);  // a flagged channel's field stays empty
      if (layout_.StatusColumns) {
        *at++ = delimiter_;
        at = std::to_chars(at, at + kFieldRoom, row.Status[g]).ptr;
      }
    }
    for (std::size_t r = 0; r < layout_.Relays; ++r) {
      at[0] = delimiter_;
      at[1] = static_cast<char>('0' + ((row.Relays >> r) & 1u));
      at += 2;
    }
    if (layout_.Grv300) {
      *at++ = delimiter_;
      at = std::to_chars(at, at + kFieldRoom, row.AuxA).ptr;
      *at++ = delimiter_;
      at = std::to_chars(at, at + kFieldRoom, row.AuxB).ptr;
      *at++ = delimiter_;
      at = Float(at, row.AuxC);
      *at++ = delimiter_;
      at = Float(at, row.AuxD);
    }
    *at++ = '\n';
    return at;
  }

 private:
  static char* Append(char* at, std::string_view text) {
    std::memcpy(at, text.data(), text.size());
    return at + text.size();
  }

  /// The shortest text that reads back as the same single-precision number; "inf", "-inf" and "nan".
  char* Float(char* at, float value) const {
    char* field = at;
    if (std::isnan(value)) {
      at = Append(at, "nan");  // whatever its sign bit
    } else {
      at = WriteShortestFloat(at, value);
      if (separator_ != '.') {
        for (char* c = field; c < at; ++c) {
          if (*c == '.') *c = separator_;
        }
      }
    }
    return Quote(field, at);
  }

  /// Puts the field from `field` to `end` in quotes when it holds the delimiter; returns its new end.
  /// Fields never hold a quote or a line end, so nothing inside needs doubling.
  char* Quote(char* field, char* end) const {
    if (!quote_check_) return end;
    const std::size_t length = static_cast<std::size_t>(end - field);
    if (std::memchr(field, delimiter_, length) == nullptr) return end;
    std::memmove(field + 1, field, length);
    field[0] = '"';
    field[length + 1] = '"';
    return end + 2;
  }

  const TableLayout layout_;
  const char delimiter_;
  const char separator_;
  const bool quote_check_;
};

/// One segment of the walk with its buffer, reused for every kSegmentContexts-th segment.
struct CsvSegment {
  std::unique_ptr<char[]> Buffer;
  std::size_t Size = 0;
  TableStretch Stretch;
  std::uint64_t Index = 0;
  bool Ready = false;
};

class SegmentSink final : public TableRowSink {
 public:
  SegmentSink(const CsvFormatter& formatter, char* at) : formatter_(formatter), at_(at) {}
  void Row(const TableRow& row) override { at_ = formatter_.Row(at_, row); }
  char* End() const { return at_; }

 private:
  const CsvFormatter& formatter_;
  char* at_;
};

/// The walk in segments: formatted by worker threads (or the calling thread), written in walk order by the
/// calling thread, which also moves the gauge.
class SegmentedCsvWalk {
 public:
  SegmentedCsvWalk(const TableSelection& selection, const CsvFormatter& formatter, const TableLayout& layout)
      : selection_(selection), formatter_(formatter), length_(TableWalkLength(selection)) {
    const std::size_t most = MostBytesPerPosition(layout);
    per_segment_ = std::clamp<std::uint64_t>(kSegmentBytes / most, 64, 16384);
    segment_count_ = (length_ + per_segment_ - 1) / per_segment_;
    const std::uint64_t capacity = std::min(per_segment_, length_);
    contexts_ = std::clamp<std::uint64_t>(kSegmentContexts, 1, segment_count_);
    for (std::uint64_t i = 0; i < contexts_; ++i) {
      segments_.emplace_back();
      segments_.back().Buffer = std::make_unique_for_overwrite<char[]>(most * capacity);
    }
  }

  ExportResult Run(OutputFile& out, const GaugeCallback& gauge) {
    const int wanted = segment_count_ >= 2 ? DefaultWorkerCount() : 0;
    std::vector<std::thread> threads;
    const auto stop_threads = [&] {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
      }
      changed_.notify_all();
      for (std::thread& thread : threads) thread.join();
    };
    for (int i = 0; i < wanted; ++i) {
      try {
        threads.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        break;  // fewer threads, or none: the calling thread formats what they leave
      }
    }
    ExportResult result;
    try {
      std::uint32_t previous = 0;
      int percent = -1;
      for (std::uint64_t k = 0; k < segment_count_; ++k) {
        CsvSegment& segment = segments_[k % contexts_];
        {
          std::unique_lock<std::mutex> lock(mutex_);
          if (threads.empty()) {
            // No worker: format it here.
            lock.unlock();
            Format(k, segment);
            lock.lock();
          }
          changed_.wait(lock, [&] { return failure_ || (segment.Ready && segment.Index == k); });
          if (failure_) std::rethrow_exception(failure_);
        }
        out.Write(segment.Buffer.get(), segment.Size);
        JoinTableStretch(segment.Stretch, previous, result);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          segment.Ready = false;
          written_ = k + 1;
        }
        changed_.notify_all();
        const int now = static_cast<int>((k + 1) * 100 / segment_count_);
        if (gauge && now != percent) gauge(percent = now);
      }
    } catch (...) {
      stop_threads();
      throw;
    }
    stop_threads();
    return result;
  }

 private:
  void Format(std::uint64_t k, CsvSegment& segment) {
    const std::uint64_t first = k * per_segment_;
    SegmentSink sink(formatter_, segment.Buffer.get());
    segment.Stretch = WalkTableStretch(selection_, first, std::min(per_segment_, length_ - first), sink);
    segment.Size = static_cast<std::size_t>(sink.End() - segment.Buffer.get());
    segment.Index = k;
    std::lock_guard<std::mutex> lock(mutex_);
    segment.Ready = true;
  }

  void Work() {
    for (;;) {
      std::uint64_t k = 0;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        // Segments are claimed in walk order once their buffer has been written out.
        changed_.wait(lock, [&] { return stop_ || next_ >= segment_count_ || next_ < written_ + contexts_; });
        if (stop_ || next_ >= segment_count_) return;
        k = next_++;
      }
      try {
        Format(k, segments_[k % contexts_]);
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failure_) failure_ = std::current_exception();
      }
      changed_.notify_all();
    }
  }

  const TableSelection& selection_;
  const CsvFormatter& formatter_;
  const std::uint64_t length_;
  std::uint64_t per_segment_ = 1;
  std::uint64_t segment_count_ = 0;
  std::uint64_t contexts_ = 1;
  std::vector<CsvSegment> segments_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t next_ = 0;     // the next segment to claim
  std::uint64_t written_ = 0;  // segments written out
  bool stop_ = false;
  std::exception_ptr failure_;
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
  CheckTableSelection(selection);
  if (!CsvCharactersProblem(options.Delimiter, options.DecimalSeparator).empty()) {
    throw ExportError("unusable CSV characters");
  }
  const TableLayout layout = TableLayoutOf(*selection.Profile, options.StatusColumns);
  const CsvFormatter formatter(layout, options);
  std::string header(kByteOrderMark.size() + FieldCount(layout) * (kFieldRoom + 3) + 1, '\0');
  header.resize(static_cast<std::size_t>(formatter.Header(header.data(), options.ByteOrderMark) - header.data()));
  out.Write(header.data(), header.size());
  SegmentedCsvWalk walk(selection, formatter, layout);
  return walk.Run(out, gauge);
}

}  // namespace ar4
