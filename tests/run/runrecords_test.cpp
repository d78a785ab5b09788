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
#include "tests/support/testfilesystems.h"

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
  // The run's manifest is written whatever the records do.
  const std::vector<std::string> designs = {"PPI_run.json", "one.sdm", "two.sdm"};
  const std::vector<std::string> all = {"PPI_report", "PPI_report.html", "PPI_run.json",
                                        "one.json",   "one.sdm",         "two.json",
                                        "two.sdm"};
  const std::vector<std::string> bothPages = {"subject-0001.html", "subject-0002.html"};
  const struct {
    const char* name;
    int noReport;
    ppi::FaultyFileSystem::Fault fault;
    std::vector<std::string> files;  // left in the working folder
    std::vector<std::string> pages;  // in the folder PPI_report
    std::size_t links;               // from the summary to subject pages
    const char* warning;             // the start of the warning logged, or none
  } rows[] = {
      {"records and report", 0, {}, all, bothPages, 2, nullptr},
      {"switched off", 1, {}, designs, {}, 0, nullptr},
      {"the first record cannot be renamed",
       0,
       {Operation::rename, 1, false},
       {"PPI_report", "PPI_report.html", "PPI_run.json", "one.sdm", "two.json", "two.sdm"},
       bothPages,
       2,
       "Plugin> record one.json: "},
      // Writes: the run's lock, the two records, the two subject pages, the
      // summary.
      {"the first subject page's disk is full",
       0,
       {Operation::write, 4, true},
       all,
       {"subject-0002.html"},
       1,
       "Plugin> QC report PPI_report.html: 1 subject page not written (could not write "},
      {"the folder of pages cannot be created",
       0,
       {Operation::folderMake, 1, false},
       {"PPI_report.html", "PPI_run.json", "one.json", "one.sdm", "two.json", "two.sdm"},
       {},
       0,
       "Plugin> QC report PPI_report.html: could not create the folder PPI_report: "},
      {"the summary's disk is full",
       0,
       {Operation::write, 6, true},
       {"PPI_report", "PPI_run.json", "one.json", "one.sdm", "two.json", "two.sdm"},
       bothPages,
       0,
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
    std::vector<std::string> pages;
    if (fs::is_directory("PPI_report")) {
      for (const auto& entry : fs::directory_iterator("PPI_report")) {
        pages.push_back(entry.path().filename().string());
      }
    }
    std::sort(pages.begin(), pages.end());
    EXPECT_EQ(pages, row.pages);
    const std::string summary =
        fs::exists("PPI_report.html") ? testsupport::readFile("PPI_report.html") : "";
    std::size_t links = 0;
    for (auto at = summary.find("<a href=\"PPI_report/subject-"); at != std::string::npos;
         at = summary.find("<a href=\"PPI_report/subject-", at + 1)) {
      ++links;
    }
    EXPECT_EQ(links, row.links);
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

// The checks' findings through the run, in dialog mode: each reaches the
// command's report, the record beside the saved design and the QC report,
// and a design with an error is saved but not listed.
TEST(RunChecks, FindingsReachTheDialogTheRecordAndTheReportAndErrorsAreNotListed) {
  const auto same = [](SubjectSetup&) {};
  const auto asStudy = [](standin::HostModel&) {};
  const struct {
    const char* name;
    std::function<void(SubjectSetup&)> protocol;
    std::function<void(standin::HostModel&)> contrast;
    std::vector<std::string> ids;  // the findings' ids, in order
    bool listed;
  } rows[] = {
      {"a clean design", same, asStudy, {}, true},
      // Faces covers the run but one volume and Houses never occurs: the
      // complementary regressor is the psychological one.
      {"a weighted condition that never occurs",
       [](SubjectSetup& setup) {
         setup.protocol.conditions[0].intervals = {{1, 23}};
         setup.protocol.conditions[1].intervals = {};
       },
       asStudy, {"rank-deficient"}, false},
      // Only list2, and its condition spelt otherwise than in the contrast:
      // nothing is weighted.
      {"a one-sided contrast whose condition is spelt otherwise", same,
       [](standin::HostModel& model) {
         model.stringParameters["CondID-0"] = "faces list2";
         model.stringParameters["CondID-1"] = "Houses list1";
       },
       {"unnamed-condition", "constant-column"}, false},
      {"a one-sided contrast", same,
       [](standin::HostModel& model) { model.stringParameters["CondID-1"] = "Houses list1"; },
       {"one-sided-contrast"}, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<SubjectSetup> setups = numbered(1);
    row.protocol(setups[0]);
    Study study(setups);
    study.model.stringParameters["CondID-2"] = "Rest list1";
    row.contrast(study.model);
    study.answerSaves({"one.sdm"});
    EXPECT_EQ(study.harness.run("Start"), row.listed);
    EXPECT_EQ(study.unpublished(), !row.listed);
    ASSERT_TRUE(std::filesystem::exists("one.sdm")) << "dialog mode saves it as asked";

    const std::string dialog = study.model.stringParameters["PPIReport"];
    const std::string status = dialog.substr(0, dialog.find('\n'));
    EXPECT_EQ(status.find("not in the list: subject 1 (run1.vtc)") != std::string::npos,
              !row.listed)
        << status;
    const nlohmann::json record = nlohmann::json::parse(testsupport::readFile("one.json"));
    const std::string report = testsupport::readFile("PPI_report.html") +
                               testsupport::readFile("PPI_report/subject-0001.html");
    std::vector<std::string> ids;
    for (std::size_t i = 0; i < record["findings"].size(); ++i) {
      const nlohmann::json& finding = record["findings"][i];
      ids.push_back(finding["id"]);
      const std::string line = record["warnings"][i];
      EXPECT_NE(dialog.find("\n" + line), std::string::npos) << line;
      EXPECT_NE(report.find("id=\"" + ids.back() + "-1\""), std::string::npos) << ids.back();
    }
    EXPECT_EQ(ids, row.ids);
  }
}


// A rerun never writes into an earlier report: an earlier summary is set
// aside with the earlier run's group files, its folder of pages stays where
// that summary links to, and this run's summary and pages take the first name
// free of both; no page of another run sits in the folder this run links to.
TEST(RunRecords, EachRunsReportHasAFolderOfItsOwnPages) {
  namespace fs = std::filesystem;
  const struct {
    const char* name;
    std::vector<std::string> folders;  // there before the run
    std::vector<std::string> files;
    const char* stem;                  // the run's report
    bool summarySetAside;              // the earlier "PPI_report.html"
  } rows[] = {
      {"nothing there", {}, {}, "PPI_report", false},
      {"an earlier report", {"PPI_report"}, {"PPI_report.html", "PPI_report/subject-0001.html",
                                             "PPI_report/subject-0002.html",
                                             "PPI_report/subject-0003.html"},
       "PPI_report_2", true},
      // The summary deleted, its pages left: they are not this run's.
      {"an earlier folder of pages alone", {"PPI_report"},
       {"PPI_report/subject-0001.html", "PPI_report/subject-0003.html"}, "PPI_report_2", false},
      {"a summary alone", {}, {"PPI_report.html"}, "PPI_report", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Study study(2);
    for (const std::string& folder : row.folders) fs::create_directories(folder);
    for (const std::string& file : row.files) testsupport::writeFile(file, "earlier");
    study.answerSaves({"one.sdm", "two.sdm"});
    ASSERT_TRUE(study.harness.run("Start"));
    const std::string stem = row.stem;
    EXPECT_EQ(study.model.stringParameters["PPIReportFile"], stem + ".html");
    std::vector<std::string> pages;
    for (const auto& entry : fs::directory_iterator(stem)) {
      pages.push_back(entry.path().filename().string());
    }
    std::sort(pages.begin(), pages.end());
    EXPECT_EQ(pages, (std::vector<std::string>{"subject-0001.html", "subject-0002.html"}));
    std::size_t setAside = 0;
    for (const auto& entry : fs::directory_iterator(".")) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("PPI_report_before_", 0) == 0) {
        EXPECT_EQ(testsupport::readFile(name), "earlier");
        ++setAside;
      }
    }
    EXPECT_EQ(setAside, row.summarySetAside ? 1u : 0u);
    for (const std::string& file : row.files) {
      if (file != "PPI_report.html") {
        EXPECT_EQ(testsupport::readFile(file), "earlier");
      }
    }
    const std::string page = testsupport::readFile(stem + "/subject-0002.html");
    EXPECT_NE(page.find("<a href=\"../" + stem + ".html#row-2\">Run summary</a>"),
              std::string::npos);
    EXPECT_NE(page.find("Subject 2 of 2 with a design"), std::string::npos);
  }
}

}  // namespace

// The reason a stopped run gives, in the dialog and in the report, is the one
// the stopping step returned, even when other lines are logged after it (an
// earlier run's report set aside as the run ends) and when the step put a
// detailed error of its own in the report first.
TEST(RunRecords, AStoppedRunGivesTheStoppingStepsReasonEverywhere) {
  const struct {
    const char* name;
    bool multiStudy;
    const char* motionFile;   // the answer to the motion dialog; none: no merge
    const char* logged;       // the stopping step's line
    const char* dialogError;  // the dialog's error line
  } rows[] = {
      {"the save dialog cancelled", false, nullptr,
       "PPI Plugin> No SDM file name selected. Prepare PPI Plugin aborted.",
       "error: subject 1 (run1.vtc): No SDM file name selected. Prepare PPI Plugin aborted. The "
       "run stopped here; later subjects were not analysed."},
      {"a motion file that cannot be read, then an earlier report set aside", true, "gone_3DMC.sdm",
       "PPI Plugin> Motion correction predictors could not be added. Prepare PPI Plugin aborted.",
       "error: subject 1 (run1.vtc): The motion-estimates file gone_3DMC.sdm is rejected: the "
       "file cannot be opened. Choose the subject's own motion-estimates file, or correct this "
       "one."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Study study(1);
    standin::HostModel& model = study.model;
    std::filesystem::create_directory("group");
    testsupport::writeFile("group/PPI_report.html", "earlier");
    if (row.multiStudy) {
      model.intParameters["saveMDM"] = 1;
      study.answerSaves({"group/Multistudy_PPI.mdm"});
    } else {
      model.saveFileAnswers.push_back({false, ""});
    }
    if (row.motionFile != nullptr) {
      model.intParameters["addMoCo"] = 1;
      model.openFileAnswers.push_back({true, row.motionFile});
    }
    EXPECT_FALSE(study.harness.run("Start"));

    const auto stopLine = std::find(model.log.begin(), model.log.end(), row.logged);
    ASSERT_NE(stopLine, model.log.end());
    if (row.multiStudy) {
      // The case in point: the run logs on after the stopping step.
      EXPECT_TRUE(std::any_of(stopLine, model.log.end(), [](const std::string& line) {
        return line.rfind("Plugin> The earlier run's group/PPI_report.html is set aside as ", 0) ==
               0;
      }));
    }
    const std::string dialog = model.stringParameters["PPIReport"];
    EXPECT_NE(dialog.find("\n" + std::string(row.dialogError)), std::string::npos) << dialog;
    EXPECT_EQ(dialog.find("set aside as PPI_report_") == std::string::npos, !row.multiStudy);
    const std::string reason = std::string(row.logged).substr(std::string("PPI Plugin> ").size());
    EXPECT_NE(testsupport::readFile(model.stringParameters["PPIReportFile"])
                  .find("The run stopped at subject 1 of 1: " + reason + "</p>"),
              std::string::npos);
  }
}
