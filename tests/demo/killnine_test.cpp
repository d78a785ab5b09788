// The autosave list survives the host being killed (SIGKILL) at any moment of
// a session that adds many subjects: it holds, in order, the subjects whose
// "AddSubject" got as far as their line, and never a partial line.
#include <gtest/gtest.h>

#if !defined(_WIN32)

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "demo/study.h"
#include "formats/listfile.h"
#include "tests/support/fakehost.h"
#include "tests/support/killedhost.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSubjects = 60;
const char* const kAdded =
    "Plugin> VTC file: ";  // logged just before the subject's line is written

TEST(AutosaveUnderKill, HoldsEveryAnnouncedSubjectWholeAndInOrder) {
  testsupport::ScopedWorkingDirectory directory;
  demo::StudyOptions options;
  options.volumes = 40;
  std::string why;
  ASSERT_TRUE(demo::generateStudy("study", options, &why)) << why;

  std::vector<std::string> expected;
  std::ofstream session("study/many.session");
  session << "vmr open\nint whichapproach 1\n";
  // A time course may be listed once: the subjects after the study's own are
  // its time courses again through folders of their own (links to the
  // subjects' folders).
  for (int i = 0; i < kSubjects; ++i) {
    const std::string subject = "sub-0" + std::to_string(1 + i % options.subjects);
    std::string folder = subject;
    if (i >= options.subjects) {
      folder = "alias-" + std::to_string(i);
      std::filesystem::create_directory_symlink(subject, "study/" + folder);
    }
    const std::string vtc = "./" + folder + "/" + subject + "_task.vtc";
    session << "open-file " << vtc << "\nopen-file ./regions.voi\ninteger 0\ncommand AddSubject\n";
    expected.push_back(ppi::model::formatListLine(vtc, "./regions.voi", 0));
  }
  session.close();

  std::mt19937 random(20261208);  // fixed before the first run
  std::uniform_int_distribution<int> announcement(1, kSubjects);
  std::uniform_int_distribution<int> microseconds(0, 4000);
  int killedRuns = 0;
  for (int trial = 0; trial < 16; ++trial) {
    fs::remove("study/autosaveList.ppi");
    const int killAfter = announcement(random);
    const std::chrono::microseconds delay(microseconds(random));
    SCOPED_TRACE("killed after " + std::to_string(killAfter) + " subjects and " +
                 std::to_string(delay.count()) + " us");
    const testsupport::KilledHost run =
        testsupport::playAndKill("study", "many.session", kAdded, killAfter, delay);
    ASSERT_GE(run.counted, killAfter);
    killedRuns += run.killed;

    std::string file;
    if (fs::exists("study/autosaveList.ppi"))
      file = testsupport::readFile("study/autosaveList.ppi");
    ASSERT_TRUE(file.empty() || file.back() == '\n') << "a partial line: " << file;
    std::string whole;
    int lines = 0;
    while (whole.size() < file.size() && lines < kSubjects) whole += expected[lines++];
    EXPECT_EQ(file, whole) << "not the first subjects in order";
    // The subject in flight when the host died may or may not have its line.
    EXPECT_TRUE(lines == run.counted || lines == run.counted - 1)
        << lines << " lines for " << run.counted << " announced subjects";
  }
  EXPECT_GT(killedRuns, 8);  // most runs died before the session's end
}

}  // namespace

#endif
