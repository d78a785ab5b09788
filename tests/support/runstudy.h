// A study of numbered subjects in the fake host, with a contrast, and results
// published before a run, which a run must leave alone when it stops.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "standin/hostmodel.h"
#include "tests/formats/sdmfiles.h"
#include "tests/support/fakehost.h"
#include "tests/support/studyfixture.h"

namespace analysistest {

inline std::vector<SubjectSetup> numbered(int count) {
  std::vector<SubjectSetup> setups;
  for (int i = 1; i <= count; ++i) setups.push_back(numberedSubject(i));
  return setups;
}

// Subject i's motion estimates: sdmfiles::motionFile's, moved by (i - 1) / 4
// mm, so that no two subjects share their samples.
inline void motionFiles(standin::HostModel& model, int count) {
  for (int i = 1; i <= count; ++i) {
    const std::string path = "m" + std::to_string(i) + "_3DMC.sdm";
    std::ostringstream text;
    text << sdmfiles::header(1, 6, 24, 0, 1);
    for (int k = 0; k < 6; ++k) text << k << ' ' << k + 10 << ' ' << k + 20 << '\t';
    text << '\n';
    for (int k = 0; k < 6; ++k) text << "\"Motion " << k << "\"\t";
    text << '\n';
    for (int row = 0; row < 24; ++row) {
      for (int k = 0; k < 6; ++k) text << sdmfiles::motionValue(k, row) + 0.25 * (i - 1) << '\t';
      text << '\n';
    }
    testsupport::writeFile(path, text.str());
    model.openFileAnswers.push_back({true, path});
  }
}

// Subjects, a contrast, and published results that a run must leave alone
// when it stops.
struct Study {
  explicit Study(int count) : Study(numbered(count)) {}
  explicit Study(const std::vector<SubjectSetup>& setups) {
    for (const SubjectSetup& setup : setups) analysistest::addSubject(harness, setup);
    model.stringParameters["CondID-0"] = "Faces list2";
    model.stringParameters["CondID-1"] = "Houses list0";
    model.stringParameters["SDMFileList"] = "before";
    model.intParameters["nr_subs"] = -7;
    model.yesNoAnswers.push_back(true);
  }
  void answerSaves(const Names& paths) {
    for (const std::string& path : paths) model.saveFileAnswers.push_back({true, path});
  }
  bool unpublished() const {
    return model.stringParameters.at("SDMFileList") == "before" &&
           model.intParameters.at("nr_subs") == -7;
  }
  testsupport::PluginHarness harness;
  standin::HostModel& model = harness.model;
};

}  // namespace analysistest
