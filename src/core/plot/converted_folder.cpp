#include "core/plot/converted_folder.hpp"

#include <algorithm>
#include <array>
#include <fstream>
#include <system_error>

#include "core/archive/codecs.hpp"

namespace ar4 {
namespace {

constexpr std::size_t kPenRecord = 15;  // TimeRecord (6), value (4), 0 (4), status (1)
constexpr std::size_t kRelRecord = 7;   // TimeRecord (6), state (1)
constexpr std::size_t kMaxFiles = 16;
constexpr std::size_t kMaxPenText = 64 * 1024;

/// N of a name "ChanN.pen" (1..16, no leading zero), else 0.
std::size_t ChannelNumber(const std::string& name) {
  if (name.size() < 9 || name.size() > 10 || name.compare(0, 4, "Chan") != 0 ||
      name.compare(name.size() - 4, 4, ".pen") != 0) {
    return 0;
  }
  const std::string digits = name.substr(4, name.size() - 8);
  if (digits.empty() || digits[0] == '0' || !std::all_of(digits.begin(), digits.end(), [](char c) {
        return c >= '0' && c <= '9';
      })) {
    return 0;
  }
  const std::size_t n = std::stoul(digits);
  return n >= 1 && n <= kMaxFiles ? n : 0;
}

bool IsFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

/// The channel files "Pen.txt" names (only names of the form ChanN.pen, each once); without "Pen.txt",
/// Chan1.pen, Chan2.pen, ... as long as they exist.
std::vector<std::string> ChannelFiles(const std::filesystem::path& folder, ConvertedFolderSummary& summary) {
  std::vector<std::string> names;
  std::ifstream pen(folder / "Pen.txt", std::ios::binary);
  if (pen) {
    summary.PenTextFound = true;
    std::string text(kMaxPenText, '\0');
    pen.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(pen.gcount()));
    std::size_t begin = 0;
    while (begin < text.size()) {
      std::size_t end = text.find('\n', begin);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(begin, end - begin);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (ChannelNumber(line) != 0 && std::find(names.begin(), names.end(), line) == names.end() &&
          IsFile(folder / line)) {
        names.push_back(line);
      }
      begin = end + 1;
    }
  }
  if (names.empty()) {
    for (std::size_t k = 1; k <= kMaxFiles && IsFile(folder / ("Chan" + std::to_string(k) + ".pen")); ++k) {
      names.push_back("Chan" + std::to_string(k) + ".pen");
    }
  }
  return names;
}

/// Whole records in a file; a problem line when its size is not a whole number of them.
std::uint64_t RecordsIn(const std::filesystem::path& path, std::size_t record, ConvertedFolderSummary& summary) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) {
    summary.Problems.push_back(path.filename().string() + ": не удаётся прочитать");
    return 0;
  }
  if (size % record != 0) {
    summary.Problems.push_back(path.filename().string() + ": " + std::to_string(size % record) +
                               " байт после последней целой записи пропущены");
  }
  return size / record;
}

/// Reads `rows` records of `record` bytes, handing each to `take(row, bytes)`. False when the file ends
/// early or cannot be read.
template <class Take>
bool ReadRecords(const std::filesystem::path& path, std::size_t record, std::uint32_t rows, Take&& take) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  constexpr std::size_t kChunkRecords = 4096;
  std::vector<char> chunk(kChunkRecords * record);
  std::uint32_t row = 0;
  while (row < rows) {
    const std::size_t n = std::min<std::size_t>(kChunkRecords, rows - row);
    in.read(chunk.data(), static_cast<std::streamsize>(n * record));
    if (static_cast<std::size_t>(in.gcount()) != n * record) return false;
    for (std::size_t i = 0; i < n; ++i, ++row) {
      take(row, reinterpret_cast<const std::uint8_t*>(chunk.data() + i * record));
    }
  }
  return true;
}

double RecordTime(const std::uint8_t* r) { return FieldsToSeconds(r[0], r[1], r[2], r[3], r[4], r[5]); }

}  // namespace

bool IsConvertedFolder(const std::filesystem::path& folder) {
  return IsFile(folder / "Pen.txt") || IsFile(folder / "Chan1.pen");
}

bool ReadConvertedFolder(const std::filesystem::path& folder, PlotSeries& out, ConvertedFolderSummary& summary) {
  out.Clear();
  summary = ConvertedFolderSummary{};
  summary.ChannelFiles = ChannelFiles(folder, summary);
  for (std::size_t k = 1; k <= kMaxFiles && IsFile(folder / ("Rele" + std::to_string(k) + ".rel")); ++k) {
    summary.RelayFiles.push_back("Rele" + std::to_string(k) + ".rel");
  }
  if (summary.RelayFiles.size() > 8) summary.RelayFiles.resize(8);  // a relay byte holds eight
  if (summary.ChannelFiles.empty()) return false;

  std::uint64_t rows = UINT64_MAX;
  bool differ = false;
  const auto count = [&](const std::string& name, std::size_t record) {
    const std::uint64_t n = RecordsIn(folder / name, record, summary);
    if (rows != UINT64_MAX && n != rows) differ = true;
    rows = std::min(rows, n);
  };
  for (const std::string& name : summary.ChannelFiles) count(name, kPenRecord);
  for (const std::string& name : summary.RelayFiles) count(name, kRelRecord);
  if (differ) summary.Problems.push_back("в файлах разное число записей; показаны первые " + std::to_string(rows));
  if (rows > kMaxFolderRows) {
    summary.Problems.push_back("показаны первые " + std::to_string(kMaxFolderRows) + " из " + std::to_string(rows) +
                               " записей");
    rows = kMaxFolderRows;
  }
  const auto n = static_cast<std::uint32_t>(rows);

  out.Channels = static_cast<std::uint32_t>(summary.ChannelFiles.size());
  out.Relays = static_cast<std::uint32_t>(summary.RelayFiles.size());
  out.Times.assign(n, 0.0);
  out.Values.assign(out.Channels, std::vector<float>(n, kGapValue));
  out.RelayBits.assign(out.Relays > 0 ? n : 0, 0);
  std::vector<std::vector<FlaggedValue>> flagged(out.Channels);
  for (std::size_t g = 0; g < summary.ChannelFiles.size(); ++g) {
    std::vector<float>& values = out.Values[g];
    const bool ok = ReadRecords(folder / summary.ChannelFiles[g], kPenRecord, n, [&](std::uint32_t row, const std::uint8_t* r) {
      if (g == 0) out.Times[row] = RecordTime(r);
      if (r[14] != 0) {
        flagged[g].push_back({row, static_cast<std::uint8_t>(g), r[14]});
        return;
      }
      // The record holds the value least significant byte first; the instruments' decoding saturates it.
      const std::uint8_t stored[4] = {r[9], r[8], r[7], r[6]};
      values[row] = static_cast<float>(DeviceFloatToDouble(stored));
    });
    if (!ok) summary.Problems.push_back(summary.ChannelFiles[g] + ": не удаётся прочитать");
  }
  for (std::size_t k = 0; k < summary.RelayFiles.size(); ++k) {
    const bool ok = ReadRecords(folder / summary.RelayFiles[k], kRelRecord, n, [&](std::uint32_t row, const std::uint8_t* r) {
      if (r[6] != 0) out.RelayBits[row] |= static_cast<std::uint8_t>(1u << k);
    });
    if (!ok) summary.Problems.push_back(summary.RelayFiles[k] + ": не удаётся прочитать");
  }
  for (const auto& list : flagged) out.Flagged.insert(out.Flagged.end(), list.begin(), list.end());
  std::sort(out.Flagged.begin(), out.Flagged.end(), [](const FlaggedValue& a, const FlaggedValue& b) {
    return a.Row != b.Row ? a.Row < b.Row : a.Channel < b.Channel;
  });
  summary.Rows = n;
  FindStretches(out);
  SummariseSeries(out);
  return true;
}

}  // namespace ar4
