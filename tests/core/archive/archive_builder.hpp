#pragma once
// Small archives for the tests of the archive library: a header and pages of cells written with the
// generator's writers, and temporary files that remove themselves.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "ar4gen/generator.hpp"
#include "core/archive/archive_buffers.hpp"
#include "core/archive/format.hpp"
#include "core/archive/scan.hpp"

namespace ar4::testing {

/// Every field of two scan results equal (each difference a test failure of its own).
void ExpectSameScan(const ScanResult& got, const ScanResult& expected);

/// A whole archive file in memory: header, PageCount pages (erased to 0xFF), optional tail.
class ArchiveImage {
 public:
  ArchiveImage(std::uint16_t device_type, std::uint32_t page_count, std::size_t tail_bytes = 0);
  explicit ArchiveImage(const ar4gen::HeaderFields& header, std::size_t tail_bytes = 0);

  const DeviceProfile& Profile() const { return *FindDeviceProfile(header_.DeviceType); }
  RingGeometry Ring() const { return RingGeometry::Of(Profile(), header_.PageCount); }

  /// The cell's bytes inside the image.
  std::uint8_t* Cell(CellPosition pos);
  std::uint8_t* Cell(std::uint32_t page, std::uint32_t cell) { return Cell(CellPosition{page, cell}); }
  /// Writes a valid (or damaged) cell.
  void Put(CellPosition pos, const ar4gen::CellContent& content, ar4gen::Damage damage = ar4gen::Damage::kNone);
  /// Writes the same content into every cell of the ring.
  void FillAll(const ar4gen::CellContent& content);

  std::uint8_t* Header() { return bytes_.data(); }
  std::uint8_t* MainBlock() { return bytes_.data() + kHeaderSize; }
  std::vector<std::uint8_t>& Bytes() { return bytes_; }
  std::span<const std::uint8_t> View() const { return bytes_; }

 private:
  ar4gen::HeaderFields header_;
  std::vector<std::uint8_t> bytes_;
};

/// A cell content with a stamp and nothing flagged.
ar4gen::CellContent Content(std::uint32_t stamp);

/// One process-wide pair of 32 MiB buffers for the tests that need no fresh ones.
ArchiveBuffers& SharedBuffers();

/// A file under the system's temporary folder with a unique name, removed on destruction.
class TempPath {
 public:
  explicit TempPath(const std::string& stem);
  ~TempPath();
  TempPath(const TempPath&) = delete;
  TempPath& operator=(const TempPath&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  void Write(std::span<const std::uint8_t> bytes) const;

 private:
  std::filesystem::path path_;
};

}  // namespace ar4::testing
