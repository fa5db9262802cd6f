#include "core/archive/format.hpp"

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "core/archive/cp1251.hpp"

namespace ar4 {
namespace {

std::uint32_t PageCountOfSizeBytes(std::array<std::uint8_t, 8> size_field) {
  std::array<std::uint8_t, kHeaderSize> header{};
  for (std::size_t i = 0; i < 8; ++i) header[header::kMainBlockSize + i] = size_field[i];
  return PageCountOf(header.data());
}

TEST(PageCountOf, TakesOnlyBytesFiveToSeven) {
  EXPECT_EQ(PageCountOfSizeBytes({0x00, 0x01, 0x00, 0x00}), 1u);
  EXPECT_EQ(PageCountOfSizeBytes({0xFF, 0x00, 0x00, 0x00}), 0u);
  EXPECT_EQ(PageCountOfSizeBytes({0xFF, 0x01, 0x00, 0x00}), 1u);
  EXPECT_EQ(PageCountOfSizeBytes({0x00, 0x01, 0x00, 0x02}), 131073u);
  EXPECT_EQ(PageCountOfSizeBytes({0x00, 0x00, 0x00, 0x02}), 131072u);
  EXPECT_EQ(PageCountOfSizeBytes({0x00, 0x02, 0x01, 0x00}), 258u);
  // The high half of the 64-bit size changes nothing.
  EXPECT_EQ(PageCountOfSizeBytes({0x00, 0x02, 0x01, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}), 258u);
  EXPECT_EQ(PageCountOfSizeBytes({0x00, 0xFF, 0xFF, 0xFF}), 0xFFFFFFu);
}

TEST(DeviceProfiles, TableRows) {
  struct Expected {
    std::uint16_t type;
    std::uint8_t cell_size;
    std::uint8_t cells_per_page;
    std::uint8_t channels;
    std::uint8_t relays;
    std::uint32_t capacity;
  };
  const Expected rows[] = {{73, 26, 9, 4, 8, 1179648},  {74, 42, 6, 8, 8, 786432}, {75, 75, 3, 16, 3, 393216},
                           {76, 13, 19, 1, 4, 2490368}, {89, 85, 3, 1, 0, 0}};
  for (const Expected& row : rows) {
    const DeviceProfile* p = FindDeviceProfile(row.type);
    ASSERT_NE(p, nullptr) << row.type;
    EXPECT_EQ(p->DeviceType, row.type);
    EXPECT_EQ(p->CellSize, row.cell_size);
    EXPECT_EQ(p->CellsPerPage, row.cells_per_page);
    EXPECT_EQ(p->CellsPerPage, kPageSize / p->CellSize);
    EXPECT_EQ(p->Channels, row.channels);
    EXPECT_EQ(p->Relays, row.relays);
    EXPECT_EQ(p->NominalCapacity, row.capacity);
    if (row.type != 89) {
      EXPECT_EQ(p->NominalCapacity, kMaxPageCount * p->CellsPerPage);
    }
    // The channel (or sample) fields fill the cell up to its check byte.
    const unsigned fields = row.type == 89 ? cell::kMaxSamples : p->Channels;
    EXPECT_EQ(p->FirstFieldOffset + 4u * fields, p->CellSize - 1u) << row.type;
  }
  EXPECT_EQ(FindDeviceProfile(80), nullptr);
  EXPECT_EQ(FindDeviceProfile(0), nullptr);
}

TEST(DeviceProfiles, ModelsAndFolderPrefixes) {
  EXPECT_EQ(FindDeviceProfile(73)->Model, "VR7731");
  EXPECT_EQ(FindDeviceProfile(76)->Model, "ЛС 260");
  EXPECT_EQ(FindDeviceProfile(89)->Model, "ГРВ-300");
  EXPECT_EQ(FindDeviceProfile(89)->DeviceFolderPrefix, "GRV 300-");
  // At most 8 characters in the code page: 7 for types 73..76, 8 for type 89.
  for (const DeviceProfile& p : kDeviceProfiles) {
    EXPECT_EQ(Utf8ToCp1251(p.DeviceFolderPrefix).size(), p.DeviceType == 89 ? 8u : 7u) << p.DeviceType;
  }
  EXPECT_EQ(Utf8ToCp1251(FindDeviceProfile(76)->DeviceFolderPrefix), "\xCB\xD1 260-");
}

TEST(NominalCapacityOf, TypeEightyNineCountsThisFile) {
  EXPECT_EQ(NominalCapacityOf(*FindDeviceProfile(89), 7), 21u);
  EXPECT_EQ(NominalCapacityOf(*FindDeviceProfile(89), kMaxPageCount), 393216u);
  EXPECT_EQ(NominalCapacityOf(*FindDeviceProfile(73), 1), 1179648u);
}

TEST(RingGeometry, SuccessorWithinAPageAndAtItsEnd) {
  const RingGeometry r73 = RingGeometry::Of(*FindDeviceProfile(73), 4);
  EXPECT_EQ(r73.Next({0, 7}), (CellPosition{0, 8}));
  EXPECT_EQ(r73.Next({0, 8}), (CellPosition{1, 0}));
  EXPECT_EQ(r73.Next({3, 8}), (CellPosition{0, 0}));  // the last page is followed by page 0

  const RingGeometry r76 = RingGeometry::Of(*FindDeviceProfile(76), 2);
  EXPECT_EQ(r76.Next({1, 17}), (CellPosition{1, 18}));
  EXPECT_EQ(r76.Next({1, 18}), (CellPosition{0, 0}));
  EXPECT_EQ(r76.Offset({1, 18}) + 13, kPageSize + 247);  // 9 bytes of padding follow

  const RingGeometry r89 = RingGeometry::Of(*FindDeviceProfile(89), 3);
  EXPECT_EQ(r89.Next({2, 1}), (CellPosition{2, 2}));
  EXPECT_EQ(r89.Next({2, 2}), (CellPosition{0, 0}));
  EXPECT_EQ(r89.Offset({0, 2}) + 85, 255u);  // one byte of padding

  const RingGeometry single = RingGeometry::Of(*FindDeviceProfile(75), 1);
  EXPECT_EQ(single.Next({0, 2}), (CellPosition{0, 0}));
}

TEST(RingGeometry, AWalkVisitsEveryCellOnceAndComesBack) {
  for (const DeviceProfile& p : kDeviceProfiles) {
    const RingGeometry ring = RingGeometry::Of(p, 5);
    std::set<std::pair<std::uint32_t, std::uint32_t>> seen;
    CellPosition pos{2, 1};
    for (std::uint32_t i = 0; i < ring.TotalCells(); ++i) {
      EXPECT_TRUE(seen.insert({pos.Page, pos.Cell}).second) << p.DeviceType;
      EXPECT_LT(pos.Page, 5u);
      EXPECT_LT(pos.Cell, p.CellsPerPage);
      EXPECT_LE(ring.Offset(pos) % kPageSize + p.CellSize, kPageSize);
      pos = ring.Next(pos);
    }
    EXPECT_EQ(pos, (CellPosition{2, 1})) << p.DeviceType;
  }
}

}  // namespace
}  // namespace ar4
