// The provenance records and QC report of runs through the fake host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "run/regiontimecourse.h"
#include "run/regressors.h"
#include "commands/handlers.h"
#include "design/runsettings.h"
#include "common/checksum.h"
#include "common/filelayer.h"
#include "standin/designfile.h"
#include "run/readsettings.h"
#include "tests/support/runstudy.h"
#include "tests/support/studyfixture.h"
#include "tests/formats/sdmfiles.h"

namespace {

using analysistest::convolvedBoxCar;
using analysistest::Names;
using analysistest::numberedSubject;
using analysistest::plainRegionTimeCourse;
using analysistest::predictorValues;
using analysistest::SubjectSetup;
using testsupport::PluginHarness;
using analysistest::motionFiles;
using analysistest::numbered;
using analysistest::Study;

TEST(RunRecords, RecordsAndReportAreAdditiveAndTheirFailuresNeverFailTheRun) {
  namespace fs = std::filesystem;
  using Operation = ppi::FaultyFileSystem::Operation;
  const auto written = [] {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(".")) {
      const std::string name = entry.path().filename().string();
      if (name != "autosaveList.ppi") files.push_back(name);
    }
    std::sort(files.begin(), files.end());
    return files;
  };
  const std::vector<std::string> designs = {"one.sdm", "two.sdm"};
  const std::vector<std::string> all = {"PPI_report.html", "one.json", "one.sdm", "two.json",
                                        "two.sdm"};
  const struct {
    const char* name;
    int noReport;
    ppi::FaultyFileSystem::Fault fault;
    std::vector<std::string> files;  // left in the working folder
    const char* warning;             // the start of the warning logged, or none
  } rows[] = {
      {"records and report", 0, {}, all, nullptr},
      {"switched off", 1, {}, designs, nullptr},
      {"the first record cannot be renamed",
       0,
       {Operation::rename, 1, false},
       {"PPI_report.html", "one.sdm", "two.json", "two.sdm"},
       "Plugin> record one.json: "},
      {"the report's disk is full",
       0,
       {Operation::write, 3, true},
       {"one.json", "one.sdm", "two.json", "two.sdm"},
       "Plugin> QC report PPI_report.html: "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Study study(2);
    study.answerSaves({"one.sdm", "two.sdm"});
    study.model.intParameters["noReport"] = row.noReport;
    ppi::FaultyFileSystem faulty(ppi::realFileSystem());
    {
      ppi::ScopedFileSystem scope(faulty);
      faulty.inject(row.fault);
      EXPECT_TRUE(study.harness.run("Start"));
    }
    EXPECT_EQ(faulty.struck(), row.fault.nth != 0);
    EXPECT_EQ(written(), row.files);
    EXPECT_EQ(study.model.stringParameters["SDMFileList"], "one.sdm\ntwo.sdm");
    const auto& log = study.model.log;
    const bool warned = std::any_of(log.begin(), log.end(), [&](const std::string& line) {
      return row.warning != nullptr && line.rfind(row.warning, 0) == 0;
    });
    EXPECT_EQ(warned, row.warning != nullptr);
    if (row.warning != nullptr) {
      EXPECT_NE(study.model.stringParameters["PPIReport"].find("warning"), std::string::npos);
    }
  }
}

// Each record carries the checksum of the samples the host handed out for its
// subject, float and 16-bit alike.

TEST(RunRecords, TheRecordCarriesTheChecksumOfItsSubjectsSamples) {
  Study study(2);  // subject 1 has float samples, subject 2 16-bit ones
  study.answerSaves({"one.sdm", "two.sdm"});
  ASSERT_TRUE(study.harness.run("Start"));
  const char* records[] = {"one.json", "two.json"};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(records[i]);
    const standin::TimeCourse& samples =
        study.model.timeCourses.at(analysistest::numberedSubject(i + 1).vtcPath);
    const std::uint64_t expected =
        samples.dataType == 1
            ? ppi::checksum64(samples.intSamples.data(), samples.intSamples.size() * 2)
            : ppi::checksum64(samples.floatSamples.data(), samples.floatSamples.size() * 4);
    const auto record = nlohmann::json::parse(testsupport::readFile(records[i]));
    EXPECT_EQ(record["inputs"]["timeCourse"]["sampleType"], i == 0 ? "float32" : "int16");
    EXPECT_EQ(record["inputs"]["timeCourse"]["checksum"], ppi::hex64(expected));
  }
}

TEST(RunRecords, APpiTermNearlyCollinearWithTheOthersIsFlagged) {
  // A weighted condition that covers almost every volume makes the PPI term
  // nearly the region signal; a short one leaves it apart.
  for (bool covering : {false, true}) {
    SCOPED_TRACE(covering);
    std::vector<SubjectSetup> setups = numbered(1);
    if (covering) {
      setups[0].protocol.conditions[0].intervals = {{1, 23}};
      setups[0].protocol.conditions[1].intervals = {};
    }
    Study study(setups);
    study.answerSaves({"one.sdm"});
    ASSERT_TRUE(study.harness.run("Start"));
    const std::string report = testsupport::readFile("PPI_report.html");
    EXPECT_EQ(report.find("flag-vif") != std::string::npos, covering);
  }
}

}  // namespace
