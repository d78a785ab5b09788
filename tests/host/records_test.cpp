#include <gtest/gtest.h>

#include <string>

#include "common/boundedtext.h"
#include "host/hostrecords.h"

namespace {

TEST(HostRecords, FieldsAtTheirOffsets) {
  ppi::host::VTCHeaderRecord header;
  header.bytes[4] = 0x2C;  // 300 little-endian
  header.bytes[5] = 0x01;
  header.bytes[48] = 1;
  std::string path = "/data/s01/run1.vtc";
  std::copy(path.begin(), path.end(), header.bytes + 56);
  header.bytes[320] = 0xFF;  // -1
  header.bytes[321] = 0xFF;
  header.bytes[322] = 0xFF;
  header.bytes[323] = 0xFF;
  EXPECT_EQ(header.nrOfVolumes(), 300);
  EXPECT_EQ(header.dataType(), 1);
  EXPECT_EQ(header.vtcPath(), path);
  EXPECT_EQ(header.protocolLinkCount(), -1);

  // An unterminated text stops at the end of its field.
  ppi::host::VOIRecord voi;
  std::fill(voi.bytes + 4, voi.bytes + 268, 'n');
  EXPECT_EQ(voi.name(), std::string(264, 'n'));
  ppi::host::VOISetRecord set;
  set.setTextAt(set.kPath, set.kPathEnd, std::string(400, 'q'));
  set.setIntAt(set.kCoordinateSystem, 3);
  EXPECT_EQ(set.voiPath(), std::string(263, 'q'));
  EXPECT_EQ(set.coordinateSystem(), 3);
}

TEST(BoundedText, RefusesOrCutsButNeverOverruns) {
  ppi::FixedText<5> text;
  EXPECT_TRUE(text.assign("abcde"));
  EXPECT_FALSE(text.assign("abcdef"));
  EXPECT_EQ(text.view(), "abcde");
  text.assignCut("abcdefgh");
  EXPECT_EQ(text.view(), "abcde");
  EXPECT_FALSE(text.format("%s-%d", "xyz", 42));
  EXPECT_EQ(text.view(), "xyz-4");
  EXPECT_TRUE(text.format("%d", 7));
  EXPECT_EQ(text.view(), "7");
  char small[4];
  EXPECT_FALSE(ppi::formatBounded(small, sizeof small, "%s", "%s%n"));
  EXPECT_STREQ(small, "%s%");
}

}  // namespace
