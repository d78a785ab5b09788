#include "standin/nifti.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "host/hostrecords.h"
#include "standin/documents.h"
#include "tests/support/fakehost.h"

namespace {

using standin::NiftiImage;
using standin::NiftiSampleType;
using testsupport::readFile;
using testsupport::ScopedWorkingDirectory;
using testsupport::writeFile;

// A 3 x 2 x 2 image of 4 volumes whose stored value tells its place:
// x + 10 y + 100 z + 1000 t (scaled down for the small types).
NiftiImage codedImage(NiftiSampleType type, double divisor = 1.0) {
  NiftiImage image;
  image.dims = {3, 2, 2, 4};
  image.pixdim = {2.5, 2.5, 3.0, 2.0};
  image.type = type;
  for (int t = 0; t < 4; ++t) {
    for (int z = 0; z < 2; ++z) {
      for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) image.stored.push_back((x + 10 * y + 100 * z + 1000 * t) / divisor);
      }
    }
  }
  return image;
}

double sampleAt(const standin::TimeCourse& tc, int x, int y, int z, int t) {
  const std::size_t i =
      static_cast<std::size_t>(((z * tc.dimY() + y) * tc.dimX() + x) * tc.nrOfVolumes + t);
  return tc.dataType == 1 ? tc.intSamples.at(i) : static_cast<double>(tc.floatSamples.at(i));
}

#define REQUIRE_NIFTI() \
  if (!standin::niftiSupported()) GTEST_SKIP() << "built without libnifti2"

TEST(NiftiTimeCourse, SampleTypesScalingAndTheCellOrderTheHostHandsOut) {
  REQUIRE_NIFTI();
  struct Row {
    const char* name;
    NiftiSampleType type;
    int version;
    const char* file;
    double divisor, slope, inter;
    int dataType;  // the host's: 1 16-bit, 2 float
  };
  const Row rows[] = {
      {"int16 stays 16-bit", NiftiSampleType::Int16, 1, "a.nii.gz", 1, 0, 0, 1},
      {"int16 with slope 1 stays 16-bit", NiftiSampleType::Int16, 1, "b.nii", 1, 1, 0, 1},
      {"uint8 stays 16-bit", NiftiSampleType::UInt8, 1, "c.nii", 20, 0, 0, 1},
      {"uint16 becomes float", NiftiSampleType::UInt16, 1, "d.nii.gz", 1, 0, 0, 2},
      {"int32 becomes float", NiftiSampleType::Int32, 2, "e.nii.gz", 1, 0, 0, 2},
      {"float32", NiftiSampleType::Float32, 1, "f.nii.gz", 1, 0, 0, 2},
      {"float64 in NIfTI-2", NiftiSampleType::Float64, 2, "g.nii", 1, 0, 0, 2},
      {"scaled int16 becomes float", NiftiSampleType::Int16, 1, "h.nii.gz", 2, 2.0, 0, 2},
      {"intercept alone scales", NiftiSampleType::Int16, 2, "i.nii.gz", 1, 1.0, -5.0, 2},
      {"overwritten in place", NiftiSampleType::Float32, 2, "a.nii.gz", 1, 0, 0, 2},
  };
  ScopedWorkingDirectory dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    NiftiImage image = codedImage(row.type, row.divisor);
    if (row.type == NiftiSampleType::UInt8) {
      for (double& v : image.stored) v = std::floor(v);
    }
    image.version = row.version;
    image.slope = row.slope;
    image.inter = row.inter;
    std::string why;
    ASSERT_TRUE(standin::writeNiftiImage(row.file, image, &why)) << why;
    auto tc = standin::readNiftiTimeCourse(row.file, &why);
    ASSERT_TRUE(tc) << why;
    EXPECT_EQ(tc->dataType, row.dataType);
    EXPECT_EQ(std::make_tuple(tc->nrOfVolumes, tc->xStart, tc->xEnd, tc->yEnd, tc->zEnd,
                              tc->resolution),
              std::make_tuple(4, 0, 3, 2, 2, 1));
    EXPECT_DOUBLE_EQ(tc->repetitionTimeMs, 2000.0);
    const double slope = row.slope == 0 ? 1.0 : row.slope;
    for (int t = 0; t < 4; ++t) {
      for (int z = 0; z < 2; ++z) {
        for (int y = 0; y < 2; ++y) {
          for (int x = 0; x < 3; ++x) {
            double stored = (x + 10 * y + 100 * z + 1000 * t) / row.divisor;
            if (row.type == NiftiSampleType::UInt8) stored = std::floor(stored);
            if (row.type == NiftiSampleType::Int16) stored = std::trunc(stored);
            ASSERT_DOUBLE_EQ(sampleAt(*tc, x, y, z, t), stored * slope + row.inter)
                << x << " " << y << " " << z << " " << t;
          }
        }
      }
    }
    // The voxel sizes of the header reach the grid check, not the grid.
    ASSERT_EQ(tc->voxelToWorld.size(), 12u);
    EXPECT_EQ(tc->voxelToWorld[0], 2.5);
    EXPECT_EQ(tc->voxelToWorld[10], 3.0);
  }
}

TEST(NiftiTimeCourse, RepetitionTimeFromTheSidecarElseTheHeader) {
  REQUIRE_NIFTI();
  struct Row {
    const char* name;
    double pixdim;
    bool milliseconds;
    const char* sidecar;  // null: none
    double expectedMs;    // 0: refused
    const char* message;  // part of the warning or of the reason; null: no warning
  };
  const Row rows[] = {
      {"header in seconds", 2.0, false, nullptr, 2000, nullptr},
      {"header in milliseconds", 1500, true, nullptr, 1500, nullptr},
      {"sidecar and header agree", 2.0, false, R"({"RepetitionTime": 2.0})", 2000, nullptr},
      {"sidecar wins a disagreement, named both",
       1.79355, false, R"({"RepetitionTime": 2, "TaskName": "x"})", 2000,
       "the sidecar's RepetitionTime 2 s and the header's pixdim[4] 1.79355 s disagree"},
      {"sidecar without RepetitionTime", 2.5, false, R"({"TaskName": "x"})", 2500, nullptr},
      {"sidecar alone", 0.0, false, R"({"RepetitionTime": 0.8})", 800, nullptr},
      {"neither", 0.0, false, nullptr, 0, "no repetition time"},
      {"broken sidecar", 2.0, false, R"({"RepetitionTime": )", 0, "not a JSON object"},
      {"negative RepetitionTime", 2.0, false, R"({"RepetitionTime": -2})", 0,
       "not a positive number"},
      {"RepetitionTime as text", 2.0, false, R"({"RepetitionTime": "2"})", 0,
       "not a positive number"},
  };
  ScopedWorkingDirectory dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    NiftiImage image = codedImage(NiftiSampleType::Float32);
    image.pixdim[3] = row.pixdim;
    image.timeInMilliseconds = row.milliseconds;
    std::string why;
    ASSERT_TRUE(standin::writeNiftiImage("run_bold.nii.gz", image, &why)) << why;
    std::filesystem::remove("run_bold.json");
    if (row.sidecar != nullptr) writeFile("run_bold.json", row.sidecar);
    std::vector<std::string> warnings;
    auto tc = standin::readNiftiTimeCourse("run_bold.nii.gz", &why, &warnings);
    if (row.expectedMs == 0) {
      EXPECT_FALSE(tc);
      EXPECT_NE(why.find(row.message), std::string::npos) << why;
      continue;
    }
    ASSERT_TRUE(tc) << why;
    EXPECT_NEAR(tc->repetitionTimeMs, row.expectedMs, 1e-9);
    if (row.message == nullptr) {
      EXPECT_TRUE(warnings.empty()) << warnings.front();
    } else {
      ASSERT_EQ(warnings.size(), 1u);
      EXPECT_NE(warnings[0].find(row.message), std::string::npos) << warnings[0];
    }
  }
}

TEST(NiftiTimeCourse, RefusesWhatIsNotATimeCourseReadWhole) {
  REQUIRE_NIFTI();
  ScopedWorkingDirectory dir;
  std::string why;
  NiftiImage good = codedImage(NiftiSampleType::Float32);
  // Enough data that a corruption in the middle of the compressed file
  // lies past the header.
  good.dims = {16, 16, 8, 6};
  good.stored.resize(16 * 16 * 8 * 6);
  for (std::size_t i = 0; i < good.stored.size(); ++i) good.stored[i] = std::sin(0.37 * i) * 1000;
  ASSERT_TRUE(standin::writeNiftiImage("good.nii", good, &why)) << why;
  ASSERT_TRUE(standin::writeNiftiImage("good.nii.gz", good, &why)) << why;
  const std::string plain = readFile("good.nii");
  const std::string packed = readFile("good.nii.gz");
  NiftiImage threeD = codedImage(NiftiSampleType::Float32);
  threeD.dims[3] = 0;
  threeD.stored.resize(12);
  ASSERT_TRUE(standin::writeNiftiImage("mask.nii.gz", threeD, &why)) << why;
  NiftiImage oneVolume = threeD;
  oneVolume.dims[3] = 1;
  ASSERT_TRUE(standin::writeNiftiImage("one.nii", oneVolume, &why)) << why;

  std::string corrupt = packed;
  for (std::size_t i = corrupt.size() / 2; i < corrupt.size() / 2 + 16; ++i) corrupt[i] ^= 0x5A;
  struct Row {
    const char* name;
    const char* file;
    std::string content;  // empty: leave the file as written
    const char* why;
  };
  const Row rows[] = {
      {"truncated", "cutplain.nii", plain.substr(0, plain.size() - 10), "cannot be read whole"},
      {"truncated compressed", "cutpacked.nii.gz", packed.substr(0, packed.size() * 2 / 3),
       "truncated or its compression is corrupt"},
      {"corrupt compressed", "bad.nii.gz", corrupt, "truncated or its compression is corrupt"},
      {"header only", "short.nii", plain.substr(0, 100), "header cannot be read"},
      {"not NIfTI", "text.nii", "TYNK-TIMECOURSE 1\nvolumes 3\n", "not a NIfTI image"},
      {"3-D given as a time course", "mask.nii.gz", "", "a 3-D image (3 x 2 x 2), not a time course"},
      {"one volume", "one.nii", "", "a single volume"},
      {"missing", "missing.nii.gz", "", "cannot open missing.nii.gz"},
      {"both compressed and not", "good.nii.gz", "", "both good.nii and good.nii.gz are there"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (!row.content.empty()) writeFile(row.file, row.content);
    EXPECT_FALSE(standin::readNiftiTimeCourse(row.file, &why));
    EXPECT_NE(why.find(row.why), std::string::npos) << why;
  }
}

TEST(NiftiTimeCourse, WriterLeavesNothingHalfWritten) {
  REQUIRE_NIFTI();
  ScopedWorkingDirectory dir;
  std::string why;
  NiftiImage ragged = codedImage(NiftiSampleType::Float32);
  ragged.stored.pop_back();
  EXPECT_FALSE(standin::writeNiftiImage("r.nii.gz", ragged, &why));
  EXPECT_NE(why.find("do not fill"), std::string::npos);
  EXPECT_FALSE(standin::writeNiftiImage("nofolder/r.nii.gz", codedImage(NiftiSampleType::Int16), &why));
  EXPECT_NE(why.find("cannot write nofolder/r.nii.gz"), std::string::npos) << why;
  EXPECT_FALSE(standin::writeNiftiImage("r.img", codedImage(NiftiSampleType::Int16), &why));
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    ADD_FAILURE() << "left behind: " << entry.path();
  }
}

TEST(NiftiTimeCourse, TheHostLinksItWithTheVoxelGridAndReportsTheWarning) {
  REQUIRE_NIFTI();
  ScopedWorkingDirectory dir;
  NiftiImage image = codedImage(NiftiSampleType::Int16);
  image.pixdim[3] = 1.79355;
  std::string why;
  ASSERT_TRUE(standin::writeNiftiImage("sub_bold.nii.gz", image, &why)) << why;
  writeFile("sub_bold.json", R"({"RepetitionTime": 2})");
  standin::HostModel model;
  std::vector<std::string> problems, warnings;
  standin::useDocumentFiles(
      model, [&](const std::string& p) { problems.push_back(p); },
      [&](const std::string& w) { warnings.push_back(w); });
  ASSERT_EQ(model.nkLinkVTCToCurrentVMR("sub_bold.nii.gz", 1), 1);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("pixdim[4] 1.79355 s"), std::string::npos);
  ppi::host::VTCHeaderRecord header{};
  ASSERT_EQ(model.nkGetHeaderOfVTCOfCurrentVMR(header.bytes), 1);
  using R = ppi::host::VTCHeaderRecord;
  EXPECT_EQ(header.intAt(R::kNrOfVolumes), 4);
  EXPECT_EQ(header.intAt(R::kXEnd), 3);
  EXPECT_EQ(header.intAt(R::kResolution), 1);
  EXPECT_EQ(header.intAt(R::kDataType), 1);
  EXPECT_EQ(header.intAt(R::kProtocolLinkCount), 0);
  const short* data = model.nkGetVTCIntDataOfCurrentVMR();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data[1], 1000);  // cell (0, 0, 0), volume 2
  EXPECT_EQ(data[4 * 4 + 3], 3011);  // cell (1, 1, 0), volume 4

  writeFile("broken.nii.gz", "not gzip at all");
  EXPECT_EQ(model.nkLinkVTCToCurrentVMR("broken.nii.gz", 1), 0);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("broken.nii.gz"), std::string::npos);
}

}  // namespace
