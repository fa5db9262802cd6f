#include "export_test_support.hpp"

#include <gtest/gtest.h>

namespace ar4::test {

Ring::Ring(std::uint16_t device_type, std::uint32_t page_count)
    : Profile(*FindDeviceProfile(device_type)),
      Geometry(RingGeometry::Of(Profile, page_count)),
      Block(std::size_t{page_count} * kPageSize, 0xFF) {}

void Ring::Put(CellPosition position, const ar4gen::CellContent& content, ar4gen::Damage damage) {
  ar4gen::WriteCell(CellAt(position), Profile, content, damage);
}

void Ring::FillRising(std::uint32_t first) {
  CellPosition position{};
  std::uint32_t stamp = first;
  for (std::uint32_t i = 0; i < Geometry.TotalCells(); ++i) {
    Put(position, ChannelCell(stamp, static_cast<float>(i)));
    stamp = ar4gen::StampAfterSeconds(stamp, 1);
    position = Geometry.Next(position);
  }
}

ar4gen::CellContent ChannelCell(std::uint32_t stamp, float value, std::uint8_t relays) {
  ar4gen::CellContent content;
  content.Stamp = stamp;
  content.Relays = relays;
  for (auto& field : content.Fields) field = ar4gen::EncodeDeviceFloat(value);
  return content;
}

ExportBounds WholeRing(CellPosition start) { return {start, start, 0, 0xFFFFFFFFu}; }

void ExportRun::Run(const Ring& ring, const ExportBounds& bounds, const ExportSettings& settings) {
  Pacer pacer;
  Result = RunExport(ring.Block.data(), ring.Geometry, ring.Profile, bounds, settings, "/out/", Files, FileSystem,
                     [this](int percent) { Gauge.push_back(percent); }, pacer);
  EXPECT_TRUE(Files.Commit());
}

const std::vector<std::uint8_t>& ExportRun::Bytes(const std::string& name) const {
  return FileSystem.Contents("/out/" + name);
}

std::string ExportRun::Text(const std::string& name) const {
  const auto& bytes = Bytes(name);
  return {bytes.begin(), bytes.end()};
}

bool ExportRun::Exists(const std::string& name) const { return FileSystem.Exists("/out/" + name); }

std::vector<std::string> ExportRun::Lines() const {
  const std::string text = Text("All_Chan.txt");
  std::vector<std::string> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find("\r\n", begin);
    end = end == std::string::npos ? text.size() : end + 2;
    lines.push_back(text.substr(begin, end - begin));
    begin = end;
  }
  return lines;
}

std::string Right(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

}  // namespace ar4::test
