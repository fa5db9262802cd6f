#include "archive_builder.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>

namespace ar4::testing {

namespace {
ar4gen::HeaderFields HeaderOf(std::uint16_t device_type, std::uint32_t page_count) {
  ar4gen::HeaderFields header;
  header.DeviceType = device_type;
  header.PageCount = page_count;
  return header;
}
}  // namespace

ArchiveImage::ArchiveImage(std::uint16_t device_type, std::uint32_t page_count, std::size_t tail_bytes)
    : ArchiveImage(HeaderOf(device_type, page_count), tail_bytes) {}

ArchiveImage::ArchiveImage(const ar4gen::HeaderFields& header, std::size_t tail_bytes)
    : header_(header), bytes_(kHeaderSize + std::size_t{header.PageCount} * kPageSize + tail_bytes, 0xFF) {
  ar4gen::WriteHeader(bytes_.data(), header_);
}

std::uint8_t* ArchiveImage::Cell(CellPosition pos) { return MainBlock() + Ring().Offset(pos); }

void ArchiveImage::Put(CellPosition pos, const ar4gen::CellContent& content, ar4gen::Damage damage) {
  ar4gen::WriteCell(Cell(pos), Profile(), content, damage);
}

void ArchiveImage::FillAll(const ar4gen::CellContent& content) {
  const RingGeometry ring = Ring();
  for (std::uint32_t p = 0; p < ring.PageCount; ++p) {
    for (std::uint32_t c = 0; c < ring.CellsPerPage; ++c) Put({p, c}, content);
  }
}

ar4gen::CellContent Content(std::uint32_t stamp) {
  ar4gen::CellContent content;
  content.Stamp = stamp;
  content.SampleByte = 0;
  return content;
}

ArchiveBuffers& SharedBuffers() {
  static ArchiveBuffers buffers;
  return buffers;
}

TempPath::TempPath(const std::string& stem) {
  // Test programs run side by side: the clock, a random number and a counter keep the names apart.
  static std::atomic<unsigned> counter{0};
  static const unsigned process_tag = std::random_device{}();
  const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = std::filesystem::temp_directory_path() /
          (stem + "-" + std::to_string(process_tag) + "-" + std::to_string(tick) + "-" +
           std::to_string(counter++) + ".ar4");
}

TempPath::~TempPath() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TempPath::Write(std::span<const std::uint8_t> bytes) const {
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path_.string());
}

void ExpectSameScan(const ScanResult& got, const ScanResult& expected) {
  EXPECT_EQ(got.Statistics.ValidCells, expected.Statistics.ValidCells);
  EXPECT_EQ(got.Statistics.CellsWithoutMarker, expected.Statistics.CellsWithoutMarker);
  EXPECT_EQ(got.Statistics.CellsWithWrongLength, expected.Statistics.CellsWithWrongLength);
  EXPECT_EQ(got.Statistics.CellsWithBadChecksum, expected.Statistics.CellsWithBadChecksum);
  EXPECT_EQ(got.Statistics.ChainBreaks, expected.Statistics.ChainBreaks);
  EXPECT_EQ(got.Statistics.OffScaleValues, expected.Statistics.OffScaleValues);
  EXPECT_EQ(got.MinDate, expected.MinDate);
  EXPECT_EQ(got.StartPosition, expected.StartPosition);
  EXPECT_EQ(got.NominalCapacity, expected.NominalCapacity);
  EXPECT_EQ(got.FillPerMille, expected.FillPerMille);
}

}  // namespace ar4::testing
