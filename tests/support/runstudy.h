// A study of numbered subjects in the fake host, with a contrast, and results
// published before a run, which a run must leave alone when it stops.
#pragma once

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

inline void motionFiles(standin::HostModel& model, int count) {
  for (int i = 1; i <= count; ++i) {
    const std::string path = "m" + std::to_string(i) + "_3DMC.sdm";
    testsupport::writeFile(path, sdmfiles::motionFile(6, 24));
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
