// A full study through ppi_gui.js and the real plug-in: subjects added, a
// contrast set, Start in multi-study mode with the motion merge, and the
// multi-study file the script writes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "standin/designfile.h"
#include "standin/script/guiscript.h"
#include "tests/commands/subjectfixtures.h"
#include "tests/support/fakehost.h"

namespace standin::script {
namespace {

using namespace subjectfixtures;
using ::testing::HasSubstr;

constexpr int kVolumes = 24;

// A 2 x 2 x 2 grid whose samples vary over time, so the region signal does.
TimeCourse varyingTimeCourse(const std::string& protocol, double phase) {
  TimeCourse timeCourse = makeTimeCourse(kVolumes, protocol);
  for (int cell = 0; cell < 8; ++cell) {
    for (int t = 0; t < kVolumes; ++t) {
      timeCourse.floatSamples[static_cast<std::size_t>(cell * kVolumes + t)] =
          static_cast<float>(100.0 + std::sin(0.7 * t + phase) + 0.1 * cell);
    }
  }
  return timeCourse;
}

// A motion-estimates file: six predictors, no constant, kVolumes rows.
void writeMotionFile(const std::string& path, double scale) {
  DesignMatrixFile motion;
  motion.firstConfound = 1;
  for (const char* name :
       {"Translation BV-X [mm]", "Translation BV-Y [mm]", "Translation BV-Z [mm]",
        "Rotation BV-X [deg]", "Rotation BV-Y [deg]", "Rotation BV-Z [deg]"}) {
    motion.names.push_back(name);
    motion.colours.push_back({200, 100, 0});
    std::vector<double> column;
    for (int t = 0; t < kVolumes; ++t)
      column.push_back(scale * ((t * 7 + motion.names.size()) % 5));
    motion.columns.push_back(column);
  }
  ASSERT_TRUE(writeDesignMatrixFile(path, motion));
}

TEST(GuiFullStudy, TwoSubjectsMultiStudyModeWithTheMotionMerge) {
  testsupport::PluginHarness harness;
  HostModel& model = harness.model;
  GuiScript gui(model, [&] { return harness.plugin.execute(); });
  Protocol protocol = makeProtocol({"Faces", "Face", "Rest"});
  protocol.conditions[0].intervals = {{3, 6}, {15, 18}};
  protocol.conditions[1].intervals = {{9, 12}};
  protocol.conditions[2].intervals = {{19, 24}};
  model.protocols["faces.prt"] = protocol;
  std::filesystem::create_directories("group");
  for (int s = 1; s <= 2; ++s) {
    const std::string n = std::to_string(s);
    model.timeCourses["s" + n + "/s" + n + "_run.vtc"] = varyingTimeCourse("faces.prt", s);
    addRegionFile(model, "s" + n + "/seed.voi", {"FFA"});
    writeMotionFile("s" + n + "_run_3DMC.sdm", 0.1 * s);
  }
  ASSERT_TRUE(gui.loadFile(PPI_GUI_SCRIPT_PATH)) << gui.error();

  for (int s = 1; s <= 2; ++s) {
    const std::string n = std::to_string(s);
    answerAddSubject(model, "s" + n + "/s" + n + "_run.vtc", "s" + n + "/seed.voi");
    ASSERT_TRUE(gui.click("addSubject")) << gui.error();
  }
  ASSERT_TRUE(gui.moveItem("Faces", "list2")) << gui.error();
  ASSERT_TRUE(gui.moveItem("Face", "list0")) << gui.error();
  ASSERT_TRUE(gui.setChecked("saveMDM", true)) << gui.error();
  ASSERT_TRUE(gui.setChecked("addMoCo", true)) << gui.error();
  ASSERT_TRUE(gui.setChecked("zMC", true)) << gui.error();
  chooseSaveFile(model, "group/Multistudy_PPI.mdm");
  model.yesNoAnswers.push_back(true);
  chooseFile(model, "s1_run_3DMC.sdm");
  chooseFile(model, "s2_run_3DMC.sdm");
  ASSERT_TRUE(gui.click("start")) << gui.error();

  EXPECT_THAT(gui.dialog().find("status")->value,
              HasSubstr("multi-study file written: group/Multistudy_PPI.mdm"));
  ASSERT_TRUE(gui.messages.empty()) << gui.messages.front();
  EXPECT_EQ(model.intParameters["nr_subs"], 2);
  const std::string first = "group/standPPI_s1_run_seed_3DMC_z.sdm";
  const std::string second = "group/standPPI_s2_run_seed_3DMC_z.sdm";
  EXPECT_EQ(model.stringParameters["SDMFileList"], first + "\n" + second);
  EXPECT_EQ(testsupport::readFile("group/Multistudy_PPI.mdm"),
            "FileVersion: 1\nNrOfStudies: 2\n\n"
            "\"s1/s1_run.vtc\" \"" +
                first +
                "\"\n"
                "\"s2/s2_run.vtc\" \"" +
                second + "\"\n");

  // The contrast the plug-in applied: Face -1 from its own entry, Faces +1.
  std::vector<std::string> weights;
  for (const std::string& line : model.log) {
    if (line.rfind("    assigned weight", 0) == 0) weights.push_back(line);
  }
  EXPECT_EQ(weights, (std::vector<std::string>{
                         "    assigned weight 1 to Faces", "    assigned weight -1 to Face",
                         "    assigned weight 0 to Rest", "    assigned weight 1 to Faces",
                         "    assigned weight -1 to Face", "    assigned weight 0 to Rest"}));
  std::string error;
  auto merged = readDesignMatrixFile(second, &error);
  ASSERT_TRUE(merged) << error;
  EXPECT_EQ(merged->names.size(), 11u);  // PPI, psychological, complementary, region, 6, constant
  EXPECT_EQ(merged->names.back(), "Constant");

  // Run again with a multi-study file the script cannot write (a folder's
  // name): the user is told and nothing is recorded as written.
  std::filesystem::create_directories("group/taken.mdm");
  chooseSaveFile(model, "group/taken.mdm");
  model.yesNoAnswers.push_back(true);
  chooseFile(model, "s1_run_3DMC.sdm");
  chooseFile(model, "s2_run_3DMC.sdm");
  ASSERT_TRUE(gui.click("start")) << gui.error();
  EXPECT_EQ(gui.writtenFiles, (std::vector<std::string>{"group/Multistudy_PPI.mdm"}));
  EXPECT_EQ(
      gui.messages,
      (std::vector<std::string>{"The multi-study file could not be written: group/taken.mdm"}));
}

// The whole-run scale: 1,000 subjects whose time courses have 150-character
// paths, loaded from a list file, run in multi-study mode with the motion
// merge. Every list the plug-in publishes is longer than one parameter holds.
TEST(GuiFullStudy, AThousandSubjectsWithLongPathsLoadRunAndReachTheMultiStudyFile) {
  constexpr int kSubjects = 1000;
  testsupport::PluginHarness harness;
  HostModel& model = harness.model;
  GuiScript gui(model, [&] { return harness.plugin.execute(); });
  Protocol protocol = makeProtocol({"Faces", "Rest"});
  protocol.conditions[0].intervals = {{3, 6}, {15, 18}};
  protocol.conditions[1].intervals = {{9, 12}};
  model.protocols["faces.prt"] = protocol;
  std::filesystem::create_directories("group");
  std::filesystem::create_directories("moco");
  std::vector<std::string> vtcPaths, motionPaths;
  std::string listFile;
  for (int s = 1; s <= kSubjects; ++s) {
    char id[16];
    std::snprintf(id, sizeof id, "sub-%04d", s);
    const std::string tail = std::string("/") + id + "/func/" + id + "_task-faces_bold.vtc";
    const std::string study = "/data/imaging/" + std::string(150 - 14 - tail.size(), 'p');
    vtcPaths.push_back(study + tail);
    const std::string voiPath = study + "/" + id + "/seed.voi";
    model.timeCourses[vtcPaths.back()] = varyingTimeCourse("faces.prt", 0.01 * s);
    addRegionFile(model, voiPath, {"FFA"});
    motionPaths.push_back(std::string("moco/") + id + "_3DMC.sdm");
    writeMotionFile(motionPaths.back(), 0.001 * s);
    listFile += vtcPaths.back() + "\t" + voiPath + "\t0\n";
  }
  ASSERT_EQ(vtcPaths.front().size(), 150u);
  testsupport::writeFile("study.ppi", listFile);
  ASSERT_TRUE(gui.loadFile(PPI_GUI_SCRIPT_PATH)) << gui.error();

  chooseFile(model, "study.ppi");
  ASSERT_TRUE(gui.click("loadList")) << gui.error();
  ASSERT_EQ(harness.plugin.state.subjectCount(), kSubjects);
  EXPECT_EQ(model.intParameters["VTCFileNameList-parts"], 31);  // 33 paths a part
  const std::string shown = gui.dialog().find("subjects")->value;
  EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), kSubjects - 1);
  EXPECT_THAT(shown, HasSubstr("\n1000. sub-1000_task-faces_bold.vtc  |  seed.voi - FFA"));

  ASSERT_TRUE(gui.moveItem("Faces", "list2")) << gui.error();
  ASSERT_TRUE(gui.setChecked("saveMDM", true)) << gui.error();
  ASSERT_TRUE(gui.setChecked("addMoCo", true)) << gui.error();
  chooseSaveFile(model, "group/Multistudy_PPI.mdm");
  model.yesNoAnswers.push_back(true);
  for (const std::string& motion : motionPaths) chooseFile(model, motion);
  ASSERT_TRUE(gui.click("start")) << gui.error();
  ASSERT_TRUE(gui.messages.empty()) << gui.messages.front();
  EXPECT_THAT(gui.dialog().find("status")->value,
              HasSubstr("multi-study file written: group/Multistudy_PPI.mdm"));
  EXPECT_EQ(model.intParameters["nr_subs"], kSubjects);

  // Every list whole over its parts, each part within the limit.
  const auto whole = [&](const std::string& name) {
    std::string list = model.stringParameters[name];
    EXPECT_LE(list.size(), 4999u) << name;
    for (int k = 2; k <= model.intParameters[name + "-parts"]; ++k) {
      const std::string& part = model.stringParameters[name + "-" + std::to_string(k)];
      EXPECT_LE(part.size(), 4999u) << name << " part " << k;
      list += "\n" + part;
    }
    return list;
  };
  std::string vtcNames, vtcList, voiList, sdmList, mdm = "FileVersion: 1\nNrOfStudies: 1000\n\n";
  for (int s = 0; s < kSubjects; ++s) {
    const std::string& path = vtcPaths[static_cast<std::size_t>(s)];
    const std::string name = path.substr(path.rfind('/') + 1);
    const std::string sdm = "group/standPPI_" + name.substr(0, name.size() - 4) + "_seed_3DMC.sdm";
    const char* separator = s > 0 ? "\n" : "";
    vtcNames += separator + name;
    vtcList += separator + path;
    voiList += std::string(separator) + "seed.voi - FFA";
    sdmList += separator + sdm;
    mdm += "\"" + path + "\" \"" + sdm + "\"\n";
  }
  EXPECT_TRUE(whole("VTCFileList") == vtcNames);
  EXPECT_TRUE(whole("VTCFileNameList") == vtcList);
  EXPECT_TRUE(whole("VOIFileList") == voiList);
  EXPECT_TRUE(whole("SDMFileList") == sdmList);
  EXPECT_TRUE(testsupport::readFile("group/Multistudy_PPI.mdm") == mdm);
  EXPECT_TRUE(std::filesystem::exists("group/standPPI_sub-1000_task-faces_bold_seed_3DMC.sdm"));
}

}  // namespace
}  // namespace standin::script
