#pragma once
// Building main blocks cell by cell and running the export into memory, for the export tests.

#include <cstdint>
#include <string>
#include <vector>

#include "ar4gen/generator.hpp"
#include "core/archive/format.hpp"
#include "core/export/export_walk.hpp"
#include "core/export/memory_file_system.hpp"

namespace ar4::test {

/// A packed time stamp from calendar fields.
constexpr std::uint32_t Stamp(unsigned year, unsigned month, unsigned day, unsigned hour = 0, unsigned minute = 0,
                              unsigned second = 0) {
  return ((year - 2000u) << 26) | ((month - 1u) << 22) | ((day - 1u) << 17) | (hour << 12) | (minute << 6) |
         second;
}

/// A main block of one type, every byte 0xFF (erased) until cells are put into it.
struct Ring {
  Ring(std::uint16_t device_type, std::uint32_t page_count);

  const DeviceProfile& Profile;
  RingGeometry Geometry;
  std::vector<std::uint8_t> Block;

  void Put(CellPosition position, const ar4gen::CellContent& content,
           ar4gen::Damage damage = ar4gen::Damage::kNone);
  /// Puts a cell into every slot in ring order from (0, 0), stamps rising by one second from `first`.
  void FillRising(std::uint32_t first);
  std::uint8_t* CellAt(CellPosition position) { return Block.data() + Geometry.Offset(position); }
};

/// A cell of types 73..76 with one value for every channel.
ar4gen::CellContent ChannelCell(std::uint32_t stamp, float value = 1.0f, std::uint8_t relays = 0);

/// Bounds that take every time stamp, from `start` once around the ring.
ExportBounds WholeRing(CellPosition start = {});

/// One export into a MemoryFileSystem under "/out/".
struct ExportRun {
  MemoryFileSystem FileSystem;
  ExportFiles Files;
  ExportResult Result;
  std::vector<int> Gauge;

  ExportRun() { FileSystem.AddDirectory("/out"); }
  void Run(const Ring& ring, const ExportBounds& bounds, const ExportSettings& settings = {});

  const std::vector<std::uint8_t>& Bytes(const std::string& name) const;
  std::string Text(const std::string& name) const;
  bool Exists(const std::string& name) const;
  /// The listing split after every CR LF (each line keeps its CR LF).
  std::vector<std::string> Lines() const;
};

/// `text` right-aligned in `width` characters.
std::string Right(const std::string& text, std::size_t width);

}  // namespace ar4::test
