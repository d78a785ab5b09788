// A rerun into the results folder of a complete run, the contrast swapped,
// with the host killed (SIGKILL) at random points: whatever the moment, the
// folder never holds a multi-study file that lists designs of two runs, the
// manifest there lists its files as they are, and the next run takes the
// killed run's lock over and completes. PPI_RERUN_KILLS sets the number of
// kills (default 5).
#include <gtest/gtest.h>

#if !defined(_WIN32)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "demo/study.h"
#include "tests/support/fakehost.h"
#include "tests/support/killedhost.h"
#include "tests/support/runsetcheck.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSubjects = 8;
const char* const kRunning = "Plugin> Running analysis for: ";

// The run through the dialog: the list loaded, `attend` in list2 or list0,
// multi-study mode with the motion merge; the dialog writes the multi-study file.
std::string session(bool attendFirst) {
  std::ostringstream text;
  text << "vmr open\ngui open\nopen-file ./study.ppi\ngui click loadList\n"
       << "gui move " << (attendFirst ? "list2" : "list0") << " Attend\n"
       << "gui move " << (attendFirst ? "list0" : "list2") << " Passive\n"
       << "gui tick saveMDM\ngui tick addMoCo\n"
       << "save-file ./results/Multistudy_PPI.mdm\nanswer yes\n";
  for (int i = 1; i <= kSubjects; ++i) {
    char subject[16];
    std::snprintf(subject, sizeof subject, "sub-%02d", i);
    text << "open-file ./" << subject << "/" << subject << "_task_3DMC.sdm\n";
  }
  text << "gui click start\nexpect-string PPIRunManifest ./results/PPI_run.json\n";
  return text.str();
}

// Plays `name` in `folder`; kills the host `delay` after its `killAfter`-th
// subject began (never when `killAfter` is 0). The host's exit status, or -1
// when it was killed.
int play(const std::string& folder, const std::string& name, int killAfter,
         std::chrono::microseconds delay) {
  return testsupport::playAndKill(folder, name, kRunning, killAfter, delay).status;
}

std::string problemsOf(const std::vector<std::string>& problems) {
  std::string text;
  for (const std::string& line : problems) text += line + "\n";
  return text;
}

TEST(RerunUnderKill, NeverLeavesAMultiStudyFileListingTwoRuns) {
  testsupport::ScopedWorkingDirectory directory;
  demo::StudyOptions options;
  options.subjects = kSubjects;
  options.volumes = 40;
  std::string why;
  ASSERT_TRUE(demo::generateStudy("first", options, &why)) << why;
  testsupport::writeFile("first/first.session", session(true));
  testsupport::writeFile("first/second.session", session(false));
  ASSERT_EQ(play("first", "first.session", 0, {}), 0);
  ASSERT_TRUE(fs::exists("first/results/Multistudy_PPI.mdm"));
  ASSERT_EQ(problemsOf(testsupport::runSetProblems("first", "results")), "");

  int kills = 5;
  if (const char* count = std::getenv("PPI_RERUN_KILLS")) kills = std::max(1, std::atoi(count));
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> subject(1, kSubjects);
  std::uniform_int_distribution<int> microseconds(0, 4000);
  int killed = 0, groupFiles = 0;
  for (int trial = 0; trial < kills; ++trial) {
    fs::remove_all("trial");
    fs::copy("first", "trial", fs::copy_options::recursive);
    const int killAfter = subject(random);
    const std::chrono::microseconds delay(microseconds(random));
    SCOPED_TRACE("killed " + std::to_string(delay.count()) + " us after subject " +
                 std::to_string(killAfter) + " began");
    const int status = play("trial", "second.session", killAfter, delay);
    killed += status == -1;
    groupFiles += fs::exists("trial/results/Multistudy_PPI.mdm");
    EXPECT_EQ(problemsOf(testsupport::runSetProblems("trial", "results", "Multistudy_PPI.mdm",
                                                     true)),
              "");
    // The killed run's lock is taken over; the next run completes.
    ASSERT_EQ(play("trial", "second.session", 0, {}), 0);
    EXPECT_EQ(problemsOf(testsupport::runSetProblems("trial", "results")), "");
    EXPECT_TRUE(fs::exists("trial/results/Multistudy_PPI.mdm"));
  }
  std::printf("%d of %d reruns killed; %d left a multi-study file (the first run's, untouched, "
              "or the rerun's, complete)\n",
              killed, kills, groupFiles);
  EXPECT_GT(killed, 0);
}

}  // namespace

#endif
