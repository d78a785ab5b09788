#include "standin/documents.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "tests/support/fakehost.h"
#include "tests/support/standinfixtures.h"

namespace {

using testsupport::readFile;
using testsupport::ScopedWorkingDirectory;
using testsupport::smallTimeCourse;
using testsupport::writeFile;

TEST(TimeCourseFile, RoundTripsBothSampleTypesAndTheProtocolLink) {
  ScopedWorkingDirectory dir;
  for (int dataType : {1, 2}) {
    for (const char* protocol : {"", "./with blank/task.prt"}) {
      SCOPED_TRACE(std::to_string(dataType) + " " + protocol);
      standin::TimeCourse written = smallTimeCourse(dataType);
      written.linkedProtocol = protocol;
      std::string why;
      ASSERT_TRUE(standin::writeTimeCourseFile("tc.vtc", written, &why)) << why;
      auto read = standin::readTimeCourseFile("tc.vtc", &why);
      ASSERT_TRUE(read) << why;
      EXPECT_EQ(std::make_tuple(read->nrOfVolumes, read->dimX(), read->dimY(), read->dimZ(),
                                read->zStart, read->dataType, read->repetitionTimeMs),
                std::make_tuple(3, 2, 1, 2, -6, dataType, 1500.5));
      EXPECT_EQ(read->linkedProtocol, protocol);
      EXPECT_EQ(read->intSamples, written.intSamples);
      EXPECT_EQ(read->floatSamples, written.floatSamples);
    }
  }
  // The samples are little-endian whatever the machine.
  const std::string bytes = readFile("tc.vtc");
  const std::size_t data = bytes.find("data\n") + 5;
  EXPECT_EQ(bytes.size(), data + 12 * 4);
  EXPECT_EQ(bytes.substr(data + 4 * 5, 4), std::string("\0\0\x80\x3E", 4));  // sample 5: 0.25f
}

TEST(TimeCourseFile, RefusesWhatItCannotReadWhole) {
  auto file = [](const char* volumes, const char* grid, const char* time, const char* samples) {
    return std::string("TYNK-TIMECOURSE 1\nvolumes ") + volumes + "\ngrid " + grid +
           "\nrepetition-time " + time + "\nsamples " + samples + "\ndata\n";
  };
  const std::string good = file("3", "10 16 20 23 -6 0 3", "2000", "int16");
  const std::string samples(24, '\1');
  struct Row {
    std::string content;
    const char* why;
  };
  const Row rows[] = {
      {good + samples.substr(1), "ends before the last sample"},
      {good + samples + "x", "data after the last sample"},
      {"TYNK-TIMECOURSE 2\n", "not a TYNK-TIMECOURSE 1 file"},
      {"something else\n", "not a TYNK-TIMECOURSE 1 file"},
      {"TYNK-TIMECOURSE 1\nvolumes 3\n", "no \"data\" line"},
      {"TYNK-TIMECOURSE 1\nvolumes 3\ndata\n", "lacks volumes, grid"},
      {"TYNK-TIMECOURSE 1\ncolour red\ndata\n", "unknown header item \"colour\""},
      {"TYNK-TIMECOURSE 1\nvolumes three\ndata\n", "line 2: cannot read volumes"},
      {file("3", "10 16 20 23 -6 0 0", "2000", "int16"), "resolution must be at least 1"},
      {file("3", "10 12 20 23 -6 0 3", "2000", "int16"), "grid is empty"},
      {file("0", "10 16 20 23 -6 0 3", "2000", "int16"), "number of volumes"},
      {file("3", "10 16 20 23 -6 0 3", "-1", "int16"), "repetition time must be positive"},
      {file("3", "10 16 20 23 -6 0 3", "2000", "int8"), "cannot read samples"},
  };
  ScopedWorkingDirectory dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    writeFile("bad.vtc", row.content);
    std::string why;
    EXPECT_FALSE(standin::readTimeCourseFile("bad.vtc", &why));
    EXPECT_NE(why.find(row.why), std::string::npos) << why;
  }
  std::string why;
  EXPECT_FALSE(standin::readTimeCourseFile("missing.vtc", &why));
  EXPECT_NE(why.find("cannot open"), std::string::npos);

  standin::TimeCourse ragged = smallTimeCourse(1);
  ragged.intSamples.pop_back();
  EXPECT_FALSE(standin::writeTimeCourseFile("ragged.vtc", ragged, &why));
  EXPECT_NE(why.find("does not fill the grid"), std::string::npos);
}

TEST(ProtocolFile, RoundTripsAndRefusesBadIntervals) {
  ScopedWorkingDirectory dir;
  standin::Protocol written{
      {{"Rest", {{1, 10}, {21, 30}}}, {"Task with blank", {{11, 20}}}, {"Empty", {}}}};
  std::string why;
  ASSERT_TRUE(standin::writeProtocolFile("p.prt", written, &why)) << why;
  EXPECT_EQ(readFile("p.prt"),
            "TYNK-PROTOCOL 1\ncondition \"Rest\" 1-10 21-30\ncondition \"Task with blank\" "
            "11-20\ncondition \"Empty\"\n");
  auto read = standin::readProtocolFile("p.prt", &why);
  ASSERT_TRUE(read) << why;
  ASSERT_EQ(read->conditions.size(), 3u);
  EXPECT_EQ(read->conditions[1].name, "Task with blank");
  EXPECT_EQ(read->conditions[0].intervals, written.conditions[0].intervals);
  EXPECT_TRUE(read->conditions[2].intervals.empty());

  struct Row {
    const char* content;
    const char* why;
  };
  const Row rows[] = {
      {"# comment\r\n\r\nTYNK-PROTOCOL 1\r\ncondition \"A\" 1-2\r\n", nullptr},
      {"TYNK-PROTOCOL 1\ncondition \"A\" 0-2\n", "line 2: interval \"0-2\""},
      {"TYNK-PROTOCOL 1\ncondition \"A\" 5-2\n", "interval \"5-2\""},
      {"TYNK-PROTOCOL 1\ncondition \"A\" 5\n", "interval \"5\""},
      {"TYNK-PROTOCOL 1\ncondition \"A\" -1-2\n", "interval \"-1-2\""},
      {"TYNK-PROTOCOL 1\ncondition \"A 1-2\n", "no closing quote"},
      {"TYNK-PROTOCOL 1\nblock \"A\" 1-2\n", "expected: condition"},
      {"TYNK-PROTOCOL 2\n", "format version 2"},
      {"condition \"A\" 1-2\n", "not a TYNK-PROTOCOL file"},
      {"", "not a TYNK-PROTOCOL file"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.content);
    writeFile("bad.prt", row.content);
    auto parsed = standin::readProtocolFile("bad.prt", &why);
    if (row.why == nullptr) {
      ASSERT_TRUE(parsed) << why;
      EXPECT_EQ(parsed->conditions[0].intervals.size(), 1u);
    } else {
      EXPECT_FALSE(parsed);
      EXPECT_NE(why.find(row.why), std::string::npos) << why;
    }
  }
  EXPECT_FALSE(standin::writeProtocolFile("q.prt", {{{"say \"hi\"", {}}}}, &why));
  EXPECT_FALSE(standin::writeProtocolFile("q.prt", {{{"A", {{3, 2}}}}}, &why));
}

TEST(RegionFile, RoundTripsAndRefusesShortOrBrokenRegions) {
  ScopedWorkingDirectory dir;
  standin::RegionFile written;
  written.coordinateSystem = 3;
  written.regions = {{"Seed area", {{1, 2, 3}, {-4, 5, 600}}}, {"Empty", {}}};
  std::string why;
  ASSERT_TRUE(standin::writeRegionFile("r.voi", written, &why)) << why;
  auto read = standin::readRegionFile("r.voi", &why);
  ASSERT_TRUE(read) << why;
  EXPECT_EQ(read->coordinateSystem, 3);
  ASSERT_EQ(read->regions.size(), 2u);
  EXPECT_EQ(read->regions[0].name, "Seed area");
  EXPECT_EQ(read->regions[0].voxels, written.regions[0].voxels);
  EXPECT_TRUE(read->regions[1].voxels.empty());

  struct Row {
    const char* content;
    const char* why;
  };
  const Row rows[] = {
      {"TYNK-REGIONS 1\nregion \"A\" 1\n1 2 3\n", "first item must be: coordinates"},
      {"TYNK-REGIONS 1\ncoordinates 1\nregion \"A\" 2\n1 2 3\n", "has 1 of its 2 voxels"},
      {"TYNK-REGIONS 1\ncoordinates 1\nregion \"A\" 1\n1 2\n", "line 4: expected three"},
      {"TYNK-REGIONS 1\ncoordinates 1\nregion \"A\" 1\n1 2 x\n", "expected three"},
      {"TYNK-REGIONS 1\ncoordinates 1\nregion \"A\" -1\n", "expected: region"},
      {"TYNK-REGIONS 1\ncoordinates 1\n1 2 3\n", "expected: region"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.content);
    writeFile("bad.voi", row.content);
    EXPECT_FALSE(standin::readRegionFile("bad.voi", &why));
    EXPECT_NE(why.find(row.why), std::string::npos) << why;
  }
}

TEST(DocumentLoaders, ServeTheModelAndReportUnreadableFiles) {
  ScopedWorkingDirectory dir;
  standin::TimeCourse tc = smallTimeCourse(1);
  tc.linkedProtocol = "p.prt";
  ASSERT_TRUE(standin::writeTimeCourseFile("tc.vtc", tc));
  ASSERT_TRUE(standin::writeProtocolFile("p.prt", {{{"A", {{1, 2}}}}}));
  writeFile("bad.voi", "nonsense\n");
  standin::HostModel model;
  std::vector<std::string> problems;
  standin::useDocumentFiles(model, [&](const std::string& why) { problems.push_back(why); });
  EXPECT_EQ(model.nkLinkVTCToCurrentVMR("tc.vtc", 1), 1);
  ASSERT_NE(model.currentProtocol(), nullptr);
  EXPECT_EQ(model.currentProtocol()->conditions[0].name, "A");
  EXPECT_EQ(model.nkLoadVOIs("bad.voi"), 0);
  EXPECT_EQ(model.nkLinkVTCToCurrentVMR("missing.vtc", 1), 0);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(problems[0].find("not a TYNK-REGIONS file"), std::string::npos);
  EXPECT_NE(problems[1].find("cannot open missing.vtc"), std::string::npos);
}

}  // namespace
