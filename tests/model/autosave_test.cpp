// The autosave list and "Save" under file-system faults: every write path with
// a failure at each open, write, flush, close and rename in turn (and a short
// write at each write). Whatever fails, the old file stays whole, the failure
// is logged, no temporary file is left, the list in memory is unchanged, and
// the next write brings the file back in step.
#include "model/autosave.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/filelayer.h"
#include "tests/commands/subjectfixtures.h"
#include "tests/support/fakehost.h"
#include "tests/support/testfilesystems.h"

namespace {

namespace fs = std::filesystem;
using Fault = ppi::FaultyFileSystem::Fault;
using Operation = ppi::FaultyFileSystem::Operation;
using subjectfixtures::answerAddSubject;
using subjectfixtures::chooseFile;
using subjectfixtures::chooseSaveFile;
using subjectfixtures::registerStudy;
using testsupport::PluginHarness;
using testsupport::readFile;
using testsupport::writeFile;

const std::string kA = "/d/a.vtc\t/d/one.voi\t0\n";
const std::string kB = "/d/b.vtc\t/d/three.voi\t1\n";
const char* const kAutosave = "autosaveList.ppi";
const std::string kNotInStep =
    "Plugin> Could not write autosaveList.ppi: it does not hold the current subject list.";

// Every fault of every kind that a step with `counts` operations can meet.
std::vector<Fault> everyFault(const ppi::FaultyFileSystem& counted) {
  std::vector<Fault> faults;
  for (int kind = 0; kind < ppi::FaultyFileSystem::kOperationCount; ++kind) {
    const auto operation = static_cast<Operation>(kind);
    if (operation == Operation::folderFlush) continue;  // after the rename: the file is in place
    for (int nth = 1; nth <= counted.count(operation); ++nth) {
      faults.push_back({operation, nth, false});
      if (operation == Operation::write) faults.push_back({operation, nth, true});
    }
  }
  return faults;
}

bool noTemporaryFile() {
  for (const auto& entry : fs::directory_iterator(".")) {
    if (entry.path().extension() == ".part") return false;
  }
  return true;
}

std::string faultName(const Fault& fault) {
  return std::to_string(static_cast<int>(fault.operation)) + "#" + std::to_string(fault.nth) +
         (fault.shortWrite ? " short" : "");
}

// One plug-in with subject A added, then `step` run once without a fault (to
// count its operations) and then once per fault in a fresh working folder.
template <typename Step, typename Check>
void walkFaults(Step step, Check check) {
  std::vector<Fault> faults;
  {
    PluginHarness harness;
    registerStudy(harness.model);
    answerAddSubject(harness.model, "/d/a.vtc", "/d/one.voi");
    ASSERT_TRUE(harness.run("AddSubject"));
    ppi::FaultyFileSystem counting(ppi::realFileSystem());
    ppi::ScopedFileSystem scope(counting);
    counting.inject({});
    step(harness);
    faults = everyFault(counting);
  }
  ASSERT_GT(faults.size(), 3u);
  for (const Fault& fault : faults) {
    SCOPED_TRACE(faultName(fault));
    PluginHarness harness;
    registerStudy(harness.model);
    answerAddSubject(harness.model, "/d/a.vtc", "/d/one.voi");
    ASSERT_TRUE(harness.run("AddSubject"));
    ppi::FaultyFileSystem faulty(ppi::realFileSystem());
    {
      ppi::ScopedFileSystem scope(faulty);
      faulty.inject(fault);
      step(harness);
    }
    EXPECT_TRUE(faulty.struck());
    EXPECT_TRUE(noTemporaryFile());
    check(harness);
  }
}

TEST(AutosaveFaults, AnAddedSubjectThatDoesNotReachTheFileIsWrittenWholeNextTime) {
  walkFaults(
      [](PluginHarness& harness) {
        answerAddSubject(harness.model, "/d/b.vtc", "/d/three.voi", {}, 1);
        ASSERT_TRUE(harness.run("AddSubject"));
      },
      [](PluginHarness& harness) {
        EXPECT_EQ(harness.plugin.state.subjects.size(), 2u);
        const std::string file = readFile(kAutosave);
        // The append failed and the whole list was written instead, or both
        // failed and the file holds the old list with at most a fragment.
        if (file != kA + kB) {
          EXPECT_EQ(file.substr(0, kA.size()), kA);
          EXPECT_EQ(harness.model.log.back(), kNotInStep);
        }
        // The next change never appends to a fragment.
        answerAddSubject(harness.model, "/d/c.vtc", "/d/one.voi", "c.prt");
        ASSERT_TRUE(harness.run("AddSubject"));
        EXPECT_EQ(readFile(kAutosave), kA + kB + "/d/c.vtc\t/d/one.voi\t0\n");
      });
}

TEST(AutosaveFaults, ARewrittenListKeepsTheOldFileUntilTheNewOneIsWhole) {
  walkFaults([](PluginHarness& harness) { ASSERT_TRUE(harness.run("Clear")); },
             [](PluginHarness& harness) {
               EXPECT_TRUE(harness.plugin.state.subjects.empty());
               EXPECT_EQ(readFile(kAutosave), kA);
               EXPECT_EQ(harness.model.log.back(), kNotInStep);
             });
}

TEST(SaveFaults, AFailedSaveLeavesTheOldListWholeAndSaysSo) {
  walkFaults(
      [](PluginHarness& harness) {
        writeFile("study.ppi", "an earlier list\n");
        chooseSaveFile(harness.model, "study.ppi");
        harness.run("Save");
      },
      [](PluginHarness& harness) {
        EXPECT_EQ(readFile("study.ppi"), "an earlier list\n");
        EXPECT_EQ(harness.model.log.back(), "PPI Plugin> Could not write study.ppi. Please retry.");
        EXPECT_EQ(harness.plugin.state.subjects.size(), 1u);
      });
}

TEST(SaveFaults, SaveWritesTheListItHoldsWhateverStateTheAutosaveFileIsIn) {
  // The autosave file cannot be written (a folder stands at its name): "Save"
  // still writes the subjects this object holds, not a copy of the file.
  PluginHarness harness;
  registerStudy(harness.model);
  fs::create_directory(kAutosave);
  answerAddSubject(harness.model, "/d/a.vtc", "/d/one.voi");
  ASSERT_TRUE(harness.run("AddSubject"));
  EXPECT_EQ(harness.model.log.back(), kNotInStep);
  chooseSaveFile(harness.model, "study.ppi");
  EXPECT_TRUE(harness.run("Save"));
  EXPECT_EQ(readFile("study.ppi"), kA);
  EXPECT_TRUE(fs::is_directory(kAutosave));

  // A fresh object that has no subject yet recovers what an earlier session left.
  PluginHarness fresh;
  writeFile(kAutosave, kB);
  chooseSaveFile(fresh.model, "recovered.ppi");
  EXPECT_TRUE(fresh.run("Save"));
  EXPECT_EQ(readFile("recovered.ppi"), kB);
}

TEST(AutosaveFaults, AShortAppendWhoseRepairFailsTooIsNeverGluedToTheNextLine) {
  // The disk fills during an append (half the line reaches the file), the
  // rewrite that should repair it fails too; the next subject must not be
  // appended to the fragment.
  PluginHarness harness;
  registerStudy(harness.model);
  answerAddSubject(harness.model, "/d/a.vtc", "/d/one.voi");
  ASSERT_TRUE(harness.run("AddSubject"));
  {
    ppi::FaultyFileSystem shortWrite(ppi::realFileSystem());
    ppi::FaultyFileSystem failedRename(static_cast<ppi::FileSystem&>(shortWrite));
    shortWrite.inject({Operation::write, 1, true});
    failedRename.inject({Operation::rename, 1, false});
    ppi::ScopedFileSystem scope(failedRename);
    answerAddSubject(harness.model, "/d/b.vtc", "/d/three.voi", {}, 1);
    ASSERT_TRUE(harness.run("AddSubject"));
    ASSERT_TRUE(shortWrite.struck() && failedRename.struck());
  }
  const std::string fragment = readFile(kAutosave);
  EXPECT_GT(fragment.size(), kA.size());
  EXPECT_NE(fragment.back(), '\n');
  // A time course is listed once: the third subject is another one, with A's protocol.
  subjectfixtures::addTimeCourse(harness.model, "/d/a2.vtc", 30, "a.prt");
  answerAddSubject(harness.model, "/d/a2.vtc", "/d/one.voi");
  ASSERT_TRUE(harness.run("AddSubject"));
  EXPECT_EQ(readFile(kAutosave), kA + kB + "/d/a2.vtc\t/d/one.voi\t0\n");

  const std::string written = (harness.directory.path() / kAutosave).string();
  PluginHarness reader;
  registerStudy(reader.model);
  subjectfixtures::addTimeCourse(reader.model, "/d/a2.vtc", 30, "a.prt");
  chooseFile(reader.model, written);
  ASSERT_TRUE(reader.run("Load"));
  EXPECT_EQ(reader.plugin.state.subjects.size(), 3u);
}

}  // namespace

namespace {

// What "PPIReport" says after the command.
std::string dialogReport(PluginHarness& harness) {
  return harness.model.stringParameters["PPIReport"];
}

const char* const kRecoveryOff =
    "warning: autosaveList.ppi: does not hold the current subject list (";
const char* const kRecoveryOn =
    "note: autosaveList.ppi: holds the current subject list again: crash recovery is on.";

}  // namespace

// Every command that writes the autosave list and fails says in its report
// that crash recovery is off, with the file layer's reason; the next command
// that writes it says that it is on again. Each row's fault makes the first
// write of the command fail.
TEST(AutosaveReport, AFailedWriteTurnsCrashRecoveryOffInTheDialog) {
  struct Row {
    const char* name;
    const char* command;
    Fault fault;
    const char* reason;  // what the report quotes from the file layer
  };
  const Row rows[] = {
      {"AddSubject, disk full", "AddSubject", {Operation::write, 1, false}, "injected write failure"},
      {"AddSubject, folder refuses the file", "AddSubject", {Operation::open, 1, false},
       "injected open failure"},
      {"AddSubject, flush fails", "AddSubject", {Operation::flush, 1, false},
       "injected flush failure"},
      {"Clear, rename fails", "Clear", {Operation::rename, 1, false}, "injected rename failure"},
      {"Load, disk full", "Load", {Operation::write, 1, true}, "injected short write"},
      {"Save onto the autosave list", "Save", {Operation::open, 1, false},
       "injected open failure"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    PluginHarness harness;
    registerStudy(harness.model);
    const std::string command = row.command;
    // AddSubject adds the first subject (the list is written whole); the
    // others find one subject in the list.
    answerAddSubject(harness.model, "/d/a.vtc", "/d/one.voi");
    if (command != "AddSubject") {
      ASSERT_TRUE(harness.run("AddSubject"));
      EXPECT_EQ(dialogReport(harness).find("crash recovery"), std::string::npos);
    }
    if (command == "Load") {
      writeFile("study.ppi", kB);
      chooseFile(harness.model, "study.ppi");
    } else if (command == "Save") {
      chooseSaveFile(harness.model, (harness.directory.path() / kAutosave).string());
    }
    ppi::FaultyFileSystem faulty(ppi::realFileSystem());
    {
      ppi::ScopedFileSystem scope(faulty);
      faulty.inject(row.fault);
      harness.run(row.command);
    }
    ASSERT_TRUE(faulty.struck());
    const std::string report = dialogReport(harness);
    EXPECT_NE(report.find(kRecoveryOff), std::string::npos) << report;
    EXPECT_NE(report.find(row.reason), std::string::npos) << report;
    EXPECT_NE(report.find("crash recovery is off until the list is written to it again."),
              std::string::npos)
        << report;
    EXPECT_EQ(harness.model.log.back(), kNotInStep);
    if (command == "Save") {
      EXPECT_EQ(report.rfind("Save: nothing saved\n", 0), 0u) << report;
    }

    ASSERT_TRUE(harness.run("Clear"));
    EXPECT_NE(dialogReport(harness).find(kRecoveryOn), std::string::npos) << dialogReport(harness);
    ASSERT_TRUE(harness.run("Clear"));  // said once, when it turned on again
    EXPECT_EQ(dialogReport(harness).find("crash recovery"), std::string::npos);
  }
}

// A folder at the list's name: every command that writes it warns, and the
// dialog never says only "subject 1 added".
TEST(AutosaveReport, AnUnwritableListWarnsAtEveryCommand) {
  PluginHarness harness;
  registerStudy(harness.model);
  fs::create_directory(kAutosave);
  answerAddSubject(harness.model, "/d/a.vtc", "/d/one.voi");
  ASSERT_TRUE(harness.run("AddSubject"));
  const std::string added = dialogReport(harness);
  EXPECT_EQ(added.rfind("AddSubject: subject 1 added (a.vtc); 1 subject in the list\n", 0), 0u)
      << added;
  EXPECT_NE(added.find(std::string(kRecoveryOff) + "could not replace autosaveList.ppi: it is a folder)"),
            std::string::npos)
      << added;
  answerAddSubject(harness.model, "/d/b.vtc", "/d/three.voi", {}, 1);
  ASSERT_TRUE(harness.run("AddSubject"));
  EXPECT_NE(dialogReport(harness).find(kRecoveryOff), std::string::npos);
  ASSERT_TRUE(harness.run("Clear"));
  EXPECT_NE(dialogReport(harness).find(kRecoveryOff), std::string::npos);
}
