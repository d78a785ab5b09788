// A run whose results folder fills up: a small memory file system mounted
// there (only where the test may mount one: as root, with mount(8) allowed).
// The run stops and says so; nothing it leaves in the folder is a cut file.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "formats/sdmfile.h"
#include "demo/study.h"
#include "tests/support/fakehost.h"
#include "tests/support/standinfixtures.h"

namespace {

namespace fs = std::filesystem;

// Mounts a memory file system of `size` at `folder` for the guard's lifetime.
class SmallDisk {
 public:
  SmallDisk(const fs::path& folder, const char* size) : folder_(fs::absolute(folder)) {
    if (geteuid() != 0) return;
    const std::string command = std::string("mount -t tmpfs -o size=") + size + " tmpfs '" +
                                folder_.string() + "' 2>/dev/null";
    mounted_ = std::system(command.c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) std::system(("umount '" + folder_.string() + "'").c_str());
  }
  bool mounted() const { return mounted_; }

 private:
  fs::path folder_;
  bool mounted_ = false;
};

TEST(FullDisk, ARunIntoAFullResultsFolderStopsAndLeavesNoCutFile) {
  testsupport::ScopedWorkingDirectory directory;
  demo::StudyOptions options;
  std::string why;
  ASSERT_TRUE(demo::generateStudy("study", options, &why)) << why;
  std::ofstream session("study/full.session");
  session << "vmr open\nint whichapproach 0\nopen-file ./study.ppi\ncommand Load\n"
             "int saveMDM 1\nint addMoCo 1\nstring CondID-0 Rest\tlist1\n"
             "string CondID-1 Attend\tlist2\nstring CondID-2 Passive\tlist0\n"
             "save-file ./results/Multistudy_PPI.mdm\nanswer yes\n";
  for (int i = 1; i <= options.subjects; ++i) {
    session << "open-file ./sub-0" << i << "/sub-0" << i << "_task_3DMC.sdm\n";
  }
  session << "command Start expect false\n";
  session.close();

  // The first subject's design matrix (about 8 KiB) is cut by the host, or it
  // fits and its merged copy (about 17 KiB) does not.
  const struct {
    const char* size;
    const char* stop;  // in the line that stops the run
    int designs;       // design matrices left
  } rows[] = {{"8k", "is incomplete", 0}, {"20k", "Motion correction predictors could not", 1}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.size);
    fs::remove_all("study/results");
    fs::create_directories("study/results");
    SmallDisk disk("study/results", row.size);
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    const testsupport::HostRun run = testsupport::runHost(
        STANDIN_APP_PATH, "study", "--plugin '" STANDIN_PLUGIN_PATH "' full.session");
    EXPECT_TRUE(testsupport::contains(run.output, "Start returned false, as expected"))
        << run.output;
    EXPECT_TRUE(testsupport::contains(run.output, row.stop)) << run.output;
    int designs = 0;
    for (const auto& entry : fs::directory_iterator("study/results")) {
      SCOPED_TRACE(entry.path().filename().string());
      EXPECT_NE(entry.path().extension(), ".part");
      if (entry.path().extension() != ".sdm") continue;
      ++designs;
      const auto read = ppi::confounds::readDesignMatrixFile(entry.path().string());
      EXPECT_TRUE(read.complete) << read.problem;
    }
    EXPECT_EQ(designs, row.designs);
  }
}

}  // namespace

#endif
