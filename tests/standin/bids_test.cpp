#include "standin/bids.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "standin/documents.h"
#include "tests/support/fakehost.h"

namespace {

using Intervals = std::vector<std::pair<int, int>>;
using testsupport::ScopedWorkingDirectory;
using testsupport::writeFile;

const char* const kHeader = "onset\tduration\ttrial_type\n";

TEST(EventsToProtocol, EachEventCoversTheVolumesItOverlapsByHalf) {
  // TR 2 s, 10 volumes: volume v covers [2 (v - 1), 2 v).
  struct Row {
    const char* name;
    const char* events;  // after the header
    Intervals expected;  // of condition "A"
  };
  const Row rows[] = {
      {"on the volume grid", "4\t6\tA\n", {{3, 5}}},
      {"late by less than half a volume", "4.9\t6\tA\n", {{3, 5}}},
      {"late by more than half a volume", "5.1\t6\tA\n", {{4, 6}}},
      {"ends half into a volume", "4\t5\tA\n", {{3, 5}}},
      {"ends short of half a volume", "4\t4.9\tA\n", {{3, 4}}},
      {"short: the volume it overlaps most", "5.2\t0.5\tA\n", {{3, 3}}},
      {"short across a volume boundary", "5.5\t1\tA\n", {{3, 3}}},
      {"short, more in the next volume", "5.9\t1\tA\n", {{4, 4}}},
      {"impulse", "7\t0\tA\n", {{4, 4}}},
      {"duration n/a", "7\tn/a\tA\n", {{4, 4}}},
      {"two events merge into one interval", "0\t4\tA\n4\t2\tA\n", {{1, 3}}},
      {"unsorted events", "12\t2\tA\n0\t2\tA\n", {{1, 1}, {7, 7}}},
      {"cut at the run's end", "16\t10\tA\n", {{9, 10}}},
      {"the last volume", "18\t2\tA\n", {{10, 10}}},
      {"CR LF and a trailing blank line", "2\t2\tA\r\n\r\n", {{2, 2}}},
  };
  ScopedWorkingDirectory dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    writeFile("events.tsv", std::string(kHeader) + row.events);
    std::string why;
    auto converted = standin::protocolFromEvents("events.tsv", 2000.0, 10, {}, &why);
    ASSERT_TRUE(converted) << why;
    ASSERT_EQ(converted->protocol.conditions.size(), 1u);
    EXPECT_EQ(converted->protocol.conditions[0].name, "A");
    EXPECT_EQ(converted->protocol.conditions[0].intervals, row.expected);
  }
}

TEST(EventsToProtocol, ConditionsInOrderOfAppearanceOrAsListedAndTheRuleReported) {
  ScopedWorkingDirectory dir;
  writeFile("events.tsv", std::string("onset\tduration\ttrial_type\tresponse_time\n") +
                              "0\t4\tPassive\tn/a\n4\t0.5\tAttend\t0.3\n8\t1\tAttend\tn/a\n"
                              "12\t2\tn/a\tn/a\n14\tn/a\tPassive\tn/a\n18\t5\tPassive\tn/a\n");
  std::string why;
  auto first = standin::protocolFromEvents("events.tsv", 2000.0, 10, {}, &why);
  ASSERT_TRUE(first) << why;
  ASSERT_EQ(first->protocol.conditions.size(), 2u);
  EXPECT_EQ(first->protocol.conditions[0].name, "Passive");
  EXPECT_EQ(first->protocol.conditions[0].intervals, (Intervals{{1, 2}, {8, 8}, {10, 10}}));
  EXPECT_EQ(first->protocol.conditions[1].intervals, (Intervals{{3, 3}, {5, 5}}));
  auto noted = [&](const std::vector<std::string>& notes, const std::string& part) {
    for (const std::string& note : notes) {
      if (note.find(part) != std::string::npos) return true;
    }
    return false;
  };
  EXPECT_TRUE(noted(first->notes, "2 events of \"Attend\" are shorter than a volume (2 s; the "
                                  "shortest 0.5 s)"));
  EXPECT_TRUE(noted(first->notes, "1 events have the duration n/a"));
  EXPECT_TRUE(noted(first->notes, "1 events end after the run's end (20 s) and are cut there"));
  EXPECT_TRUE(noted(first->notes, "1 rows with the trial_type n/a are no condition"));

  auto listed =
      standin::protocolFromEvents("events.tsv", 2000.0, 10, {"Rest", "Attend", "Passive"}, &why);
  ASSERT_TRUE(listed) << why;
  ASSERT_EQ(listed->protocol.conditions.size(), 3u);
  EXPECT_EQ(listed->protocol.conditions[0].name, "Rest");
  EXPECT_TRUE(listed->protocol.conditions[0].intervals.empty());
  EXPECT_EQ(listed->protocol.conditions[1].name, "Attend");
  EXPECT_EQ(listed->protocol.conditions[2].intervals, first->protocol.conditions[0].intervals);
  EXPECT_TRUE(noted(listed->notes, "condition \"Rest\" has no events"));

  EXPECT_FALSE(standin::protocolFromEvents("events.tsv", 2000.0, 10, {"Attend"}, &why));
  EXPECT_NE(why.find("line 2: the trial_type \"Passive\" is not among the conditions listed"),
            std::string::npos)
      << why;
}

TEST(EventsToProtocol, TheHostConvertsThemInTheLinkedTimeCoursesVolumes) {
  ScopedWorkingDirectory dir;
  writeFile("events.tsv", std::string(kHeader) + "3\t0.5\tFace\n9\t3\tHouse\n");
  standin::HostModel model;
  std::vector<std::string> problems, notes;
  standin::useDocumentFiles(
      model, [&](const std::string& p) { problems.push_back(p); },
      [&](const std::string& n) { notes.push_back(n); });
  EXPECT_EQ(model.nkLoadProtocol("events.tsv"), 0);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("needs the time course linked first"), std::string::npos);
  standin::TimeCourse tc;
  tc.nrOfVolumes = 6;
  tc.xEnd = tc.yEnd = tc.zEnd = 1;
  tc.repetitionTimeMs = 3000;
  tc.floatSamples.assign(6, 0.0f);
  model.timeCourses["run.nii.gz"] = tc;
  ASSERT_EQ(model.nkLinkVTCToCurrentVMR("run.nii.gz", 1), 1);
  ASSERT_EQ(model.nkLoadProtocol("events.tsv"), 1);
  ASSERT_NE(model.currentProtocol(), nullptr);
  const auto& conditions = model.currentProtocol()->conditions;
  ASSERT_EQ(conditions.size(), 2u);
  EXPECT_EQ(conditions[0].intervals, (Intervals{{2, 2}}));
  EXPECT_EQ(conditions[1].intervals, (Intervals{{4, 4}}));
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("1 events of \"Face\" are shorter than a volume (3 s"), std::string::npos);
}

TEST(EventsToProtocol, RefusesWhatCannotBePlaced) {
  struct Row {
    const char* name;
    std::string content;
    const char* why;
  };
  const Row rows[] = {
      {"past the run's end", std::string(kHeader) + "0\t2\tA\n20\t2\tA\n",
       "line 3: the event \"A\" at 20 s starts after the run's end (10 volumes of 2 s end at 20 s)"},
      {"onset n/a", std::string(kHeader) + "n/a\t2\tA\n", "line 2: the onset \"n/a\""},
      {"negative onset", std::string(kHeader) + "-1\t2\tA\n", "the onset \"-1\""},
      {"onset not a number", std::string(kHeader) + "1,5\t2\tA\n", "the onset \"1,5\""},
      {"negative duration", std::string(kHeader) + "1\t-2\tA\n", "the duration \"-2\""},
      {"no trial_type", "onset\tduration\n0\t2\n", "needs the columns onset, duration and trial_type"},
      {"ragged row", std::string(kHeader) + "0\t2\n", "line 2: 2 fields for 3 columns"},
      {"empty", "", "empty, no header line"},
  };
  ScopedWorkingDirectory dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    writeFile("events.tsv", row.content);
    std::string why;
    EXPECT_FALSE(standin::protocolFromEvents("events.tsv", 2000.0, 10, {}, &why));
    EXPECT_NE(why.find(row.why), std::string::npos) << why;
  }
}

// A 4 x 3 x 2 grid: a NIfTI time course's (from 0, resolution 1) or one of
// the project's own (from 10, 20, 30 with cells of 3).
standin::TimeCourse gridOf(bool nifti) {
  standin::TimeCourse tc;
  tc.nrOfVolumes = 2;
  if (nifti) {
    tc.xEnd = 4;
    tc.yEnd = 3;
    tc.zEnd = 2;
    tc.voxelToWorld = {2, 0, 0, -90, 0, 2, 0, -126, 0, 0, 2, -72};
  } else {
    tc.xStart = 10, tc.yStart = 20, tc.zStart = 30, tc.resolution = 3;
    tc.xEnd = 22, tc.yEnd = 29, tc.zEnd = 36;
  }
  return tc;
}

standin::NiftiImage labelImage(std::array<std::int64_t, 3> dims) {
  standin::NiftiImage image;
  image.dims = {dims[0], dims[1], dims[2], 0};
  image.pixdim = {2, 2, 2, 0};
  image.voxelToWorld = {2, 0, 0, -90, 0, 2, 0, -126, 0, 0, 2, -72};
  image.type = standin::NiftiSampleType::Int16;
  image.stored.assign(static_cast<std::size_t>(dims[0] * dims[1] * dims[2]), 0.0);
  return image;
}

TEST(LabelImageToRegions, EachLabelARegionOnTheTimeCoursesGrid) {
  if (!standin::niftiSupported()) GTEST_SKIP() << "built without libnifti2";
  ScopedWorkingDirectory dir;
  standin::NiftiImage image = labelImage({4, 3, 2});
  image.stored[1] = 7;                 // (1, 0, 0)
  image.stored[4 * 3 + 4 + 3] = 7;     // (3, 1, 1)
  image.stored[2] = 2;                 // (2, 0, 0)
  std::string why;
  ASSERT_TRUE(standin::writeNiftiImage("atlas.nii.gz", image, &why)) << why;

  const standin::TimeCourse nifti = gridOf(true);
  auto regions = standin::regionsFromLabelImage("atlas.nii.gz", &nifti, &why);
  ASSERT_TRUE(regions) << why;
  ASSERT_EQ(regions->regions.size(), 2u);
  EXPECT_EQ(regions->coordinateSystem, 1);
  EXPECT_EQ(regions->regions[0].name, "label 2");
  EXPECT_EQ(regions->regions[0].voxels, (std::vector<std::array<std::int32_t, 3>>{{2, 0, 0}}));
  EXPECT_EQ(regions->regions[1].voxels,
            (std::vector<std::array<std::int32_t, 3>>{{1, 0, 0}, {3, 1, 1}}));

  // Named from the label table; on one of the project's own grids the voxels
  // are stored in its units. A mask of floats 0 and 1 is a mask.
  writeFile("atlas.tsv", "index\tname\n7\tSeed area\n3\tunused\n");
  const standin::TimeCourse own = gridOf(false);
  regions = standin::regionsFromLabelImage("atlas.nii.gz", &own, &why);
  ASSERT_TRUE(regions) << why;
  EXPECT_EQ(regions->regions[1].name, "Seed area");
  EXPECT_EQ(regions->regions[0].name, "label 2");
  EXPECT_EQ(regions->regions[1].voxels,
            (std::vector<std::array<std::int32_t, 3>>{{13, 20, 30}, {19, 23, 33}}));

  // Through the host: the region file's loader reads the mask on the linked grid.
  standin::HostModel model;
  std::vector<std::string> problems;
  standin::useDocumentFiles(model, [&](const std::string& p) { problems.push_back(p); });
  EXPECT_EQ(model.nkLoadVOIs("atlas.nii.gz"), 0);  // nothing linked yet
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("link the time course first"), std::string::npos);
  standin::TimeCourse linked = gridOf(true);
  linked.floatSamples.assign(4 * 3 * 2 * 2, 1.0f);
  model.timeCourses["run.nii.gz"] = linked;
  ASSERT_EQ(model.nkLinkVTCToCurrentVMR("run.nii.gz", 1), 1);
  EXPECT_EQ(model.nkLoadVOIs("atlas.nii.gz"), 1);
}

TEST(LabelImageToRegions, RefusesAnotherGridAndWhatIsNoMask) {
  if (!standin::niftiSupported()) GTEST_SKIP() << "built without libnifti2";
  struct Row {
    const char* name;
    standin::NiftiImage image;
    const char* table;  // null: none
    const char* why;
  };
  auto with = [](standin::NiftiImage image, auto change) {
    change(image);
    return image;
  };
  standin::NiftiImage one = labelImage({4, 3, 2});
  one.stored[0] = 1;
  const Row rows[] = {
      {"another grid", with(one, [](auto& i) { i.dims = {4, 3, 3, 0}; i.stored.resize(36, 1.0); }),
       nullptr, "the mask's grid (4 x 3 x 3) is not the time course's (4 x 3 x 2)"},
      {"shifted by a voxel", with(one, [](auto& i) { i.voxelToWorld[3] = -88; }), nullptr,
       "voxel-to-world matrix is not the time course's (they differ by up to 2 mm)"},
      {"empty mask", labelImage({4, 3, 2}), nullptr, "holds no non-zero voxel"},
      {"fractional values",
       with(one, [](auto& i) { i.type = standin::NiftiSampleType::Float32; i.stored[5] = 0.5; }),
       nullptr, "voxel (1, 1, 0) holds 0.5"},
      {"negative label", with(one, [](auto& i) { i.stored[3] = -1; }), nullptr,
       "voxel (3, 0, 0) holds -1"},
      {"4-D", with(one, [](auto& i) { i.dims[3] = 2; i.stored.resize(48, 0.0); }), nullptr,
       "not a 3-D mask or label image"},
      {"label table without names", one, "index\tlabel\n1\tx\n", "needs the columns index and name"},
      {"label table with a bad index", one, "index\tname\none\tx\n", "expected a whole index"},
  };
  ScopedWorkingDirectory dir;
  const standin::TimeCourse grid = gridOf(true);
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = "mask" + std::to_string(++n) + ".nii.gz";
    std::string why;
    ASSERT_TRUE(standin::writeNiftiImage(path, row.image, &why)) << why;
    if (row.table != nullptr) writeFile(standin::labelTablePath(path), row.table);
    EXPECT_FALSE(standin::regionsFromLabelImage(path, &grid, &why));
    EXPECT_NE(why.find(row.why), std::string::npos) << why;
  }
}

TEST(ConfoundsToMotion, SixColumnsInMillimetresAndDegrees) {
  ScopedWorkingDirectory dir;
  writeFile("confounds.tsv",
            "global_signal\ttrans_x\ttrans_x_derivative1\ttrans_y\ttrans_z\trot_x\trot_y\trot_z\n"
            "1\t0.1\tn/a\t-0.2\t0\t0.0174532925199433\t0\t-3.14159265358979\n"
            "2\t1e-2\t-0.09\t0.3\t0.5\t0\t0.5\t0\r\n");
  std::string why;
  auto motion = standin::motionFromConfounds("confounds.tsv", 2, &why);
  ASSERT_TRUE(motion) << why;
  ASSERT_EQ(motion->columns.size(), 6u);
  EXPECT_EQ(motion->names[0], "Translation TY-X [mm]");
  EXPECT_EQ(motion->names[5], "Rotation TY-Z [deg]");
  EXPECT_FALSE(motion->hasConstant);
  EXPECT_EQ(motion->columns[0], (std::vector<double>{0.1, 0.01}));
  EXPECT_EQ(motion->columns[1], (std::vector<double>{-0.2, 0.3}));
  EXPECT_NEAR(motion->columns[3][0], 1.0, 1e-12);
  EXPECT_NEAR(motion->columns[4][1], 28.64788975654116, 1e-12);
  EXPECT_NEAR(motion->columns[5][0], -180.0, 1e-9);

  // Written, it is a design matrix the host's reader takes back.
  ASSERT_TRUE(standin::writeDesignMatrixFile("run_3DMC.sdm", *motion));
  auto back = standin::readDesignMatrixFile("run_3DMC.sdm", &why);
  ASSERT_TRUE(back) << why;
  EXPECT_EQ(back->columns.size(), 6u);

  struct Row {
    const char* name;
    std::string content;
    int volumes;
    const char* why;
  };
  const std::string header = "trans_x\ttrans_y\ttrans_z\trot_x\trot_y\trot_z\n";
  const Row rows[] = {
      {"missing columns", "trans_x\ttrans_y\ttrans_z\trot_x\n0\t0\t0\t0\n", 1,
       "lack the columns rot_y, rot_z"},
      {"more rows than volumes", header + "0\t0\t0\t0\t0\t0\n0\t0\t0\t0\t0\t0\n", 1,
       "2 rows of confounds for a time course of 1 volumes"},
      {"fewer rows than volumes", header + "0\t0\t0\t0\t0\t0\n", 3,
       "1 rows of confounds for a time course of 3 volumes"},
      {"n/a in a motion column", header + "0\t0\tn/a\t0\t0\t0\n", 1,
       "line 2: trans_z is \"n/a\", not a number"},
      {"empty field", header + "0\t0\t0\t0\t\t0\n", 1, "rot_y is \"\", not a number"},
      {"not a number", header + "0\t0\t0\t0\t0\tnan\n", 1, "rot_z is \"nan\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    writeFile("bad.tsv", row.content);
    EXPECT_FALSE(standin::motionFromConfounds("bad.tsv", row.volumes, &why));
    EXPECT_NE(why.find(row.why), std::string::npos) << why;
  }
}

}  // namespace
