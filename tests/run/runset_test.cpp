// The run as one set of files: its lock, held by one process at a time (two
// real processes here), the earlier run's group files set aside, and the
// manifest.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/checksum.h"
#include "common/filelayer.h"
#include "common/processinfo.h"
#include "run/runset.h"
#include "tests/support/fakehost.h"
#include "tests/support/testfilesystems.h"

namespace {

namespace fs = std::filesystem;
using ppi::analysis::LockHolder;
using ppi::analysis::RunSet;

constexpr std::int64_t kStarted = 1796757802;  // 2026-12-08T19:23:22Z

struct Host {
  testsupport::ScopedWorkingDirectory directory;
  testsupport::FakeHost fake;
  Host() { fake.bind(); }
};

std::string lockOf(const LockHolder& holder) { return ppi::analysis::lockFileText(holder); }

TEST(RunLockFile, ReadsWhatItWritesAndNothingElse) {
  const LockHolder holder{4242, "lab-7", kStarted};
  const std::string text = lockOf(holder);
  EXPECT_EQ(text, "PPI run lock\nprocess 4242\nhost lab-7\nstarted 2026-12-08T19:23:22Z\n");
  const struct {
    const char* name;
    std::string text;
    bool read;
  } rows[] = {
      {"as written", text, true},
      {"with CR LF line ends", "PPI run lock\r\nprocess 4242\r\nhost lab-7\r\nstarted "
                               "2026-12-08T19:23:22Z\r\n", true},
      {"without the last line feed", text.substr(0, text.size() - 1), true},
      {"empty (killed as it was made)", "", false},
      {"cut after the process", "PPI run lock\nprocess 4242\n", false},
      {"another title", "lock\nprocess 4242\nhost lab-7\nstarted 2026-12-08T19:23:22Z\n", false},
      {"a process that is no number", "PPI run lock\nprocess 42x\nhost lab-7\nstarted "
                                      "2026-12-08T19:23:22Z\n", false},
      {"no host", "PPI run lock\nprocess 4242\nhost \nstarted 2026-12-08T19:23:22Z\n", false},
      {"a date that is not one", "PPI run lock\nprocess 4242\nhost lab-7\nstarted "
                                 "2026-02-31T19:23:22Z\n", false},
  };
  for (const auto& row : rows) {
    LockHolder read;
    EXPECT_EQ(ppi::analysis::readLockFile(row.text, read), row.read) << row.name;
    if (row.read) {
      EXPECT_TRUE(read == holder) << row.name;
    }
  }
}

TEST(RunLockFile, FileNameTimesAndAsideNames) {
  EXPECT_EQ(ppi::analysis::fileNameTime(kStarted), "20261208T192322Z");
  std::int64_t seconds = 0;
  ASSERT_TRUE(ppi::analysis::parseIsoUtc("1970-01-01T00:00:00Z", seconds));
  EXPECT_EQ(seconds, 0);
  ASSERT_TRUE(ppi::analysis::parseIsoUtc("2026-12-08T19:23:22Z", seconds));
  EXPECT_EQ(seconds, kStarted);
  EXPECT_FALSE(ppi::analysis::parseIsoUtc("2026-12-08 19:23:22Z", seconds));

  testsupport::ScopedWorkingDirectory directory;
  fs::create_directory("g");
  testsupport::writeFile("g/m_T.mdm", "taken");
  const struct {
    const char* path;
    const char* aside;
  } rows[] = {
      {"g/Multistudy_PPI.mdm", "g/Multistudy_PPI_T.mdm"},
      {"PPI_run.json", "PPI_run_T.json"},
      {"g/m.mdm", "g/m_T_2.mdm"},  // the first name is taken
      {"g/noextension", "g/noextension_T"},
      {"g/.hidden", "g/.hidden_T"},
      {"g.d/report", "g.d/report_T"},  // a point in the folder is no extension
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ppi::analysis::asidePath(row.path, "T"), row.aside) << row.path;
  }
}

#if !defined(_WIN32)

// A process that has ended, reaped: its id names no process (until reused).
std::int64_t endedProcess() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

TEST(RunLock, OneRunAtATimeAStaleLockIsTakenOver) {
  const std::string here = ppi::currentHostName();
  const std::int64_t parent = static_cast<std::int64_t>(getppid());  // alive while we run
  const struct {
    const char* name;
    std::function<std::string()> lock;  // the lock file found, or none
    bool taken;
    const char* finding;  // the report's finding id
    std::vector<std::string> said;  // in the message (refused) or the warning (taken over)
  } rows[] = {
      {"a free folder", nullptr, true, "", {}},
      {"a live run on this host", [&] { return lockOf({parent, here, kStarted}); }, false,
       "run-lock",
       {"Another run is writing into the results folder g/: process " + std::to_string(parent) +
        " on host " + here + ", started 2026-12-08T19:23:22Z (lock file g/PPI_run.lock)."}},
      {"a run on another host", [&] { return lockOf({parent, here + "-other", kStarted}); },
       false, "run-lock", {"on host " + here + "-other"}},
      {"a run whose process has ended", [&] { return lockOf({endedProcess(), here, kStarted}); },
       true, "stale-run-lock", {"ended without removing its lock file g/PPI_run.lock"}},
      {"an empty lock", [] { return std::string(); }, false, "run-lock", {"names no run"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Host host;
    fs::create_directory("g");
    if (row.lock) {
      testsupport::writeFile("g/PPI_run.lock", row.lock());
    }
    const std::string before = row.lock ? testsupport::readFile("g/PPI_run.lock") : "";
    ppi::Report report;
    {
      RunSet set(report, kStarted, "g/Multistudy_PPI.mdm");
      EXPECT_EQ(set.holdFolder("g/").ok(), row.taken);
      if (row.taken) {
        EXPECT_TRUE(set.holdFolder("g/").ok()) << "held: taken once";
      }
      if (row.taken) {
        EXPECT_EQ(testsupport::readFile("g/PPI_run.lock"), lockOf(set.self()));
      } else {
        EXPECT_EQ(testsupport::readFile("g/PPI_run.lock"), before) << "another run's lock stays";
        ASSERT_FALSE(host.fake.model.messageBoxes.empty());
        for (const std::string& text : row.said) {
          EXPECT_NE(host.fake.model.messageBoxes.back().find(text), std::string::npos) << text;
        }
      }
    }
    // The run is over: its lock is gone, another's stays.
    EXPECT_EQ(fs::exists("g/PPI_run.lock"), !row.taken);
    EXPECT_EQ(fs::exists("g/PPI_run.lock." + std::to_string(getpid()) + ".stale"), false);
    std::vector<std::string> ids;
    for (const ppi::Finding& finding : report.problems()) ids.push_back(finding.id);
    EXPECT_EQ(ids, row.finding[0] == '\0' ? std::vector<std::string>{}
                                          : std::vector<std::string>{row.finding});
    if (row.taken && !row.said.empty()) {
      EXPECT_NE(report.problems().front().what.find(row.said.front()), std::string::npos);
    }
  }
}

// Two processes: the second is refused while the first runs, and takes the
// folder over once the first has been killed without a chance to clean up.
TEST(RunLock, ASecondProcessIsRefusedUntilTheFirstIsGone) {
  Host host;
  fs::create_directory("g");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t first = fork();
  if (first == 0) {
    close(ready[0]);
    ppi::Report report;
    RunSet set(report, kStarted, "");
    const char held = set.holdFolder("g/").ok() ? 'y' : 'n';
    if (write(ready[1], &held, 1) != 1) _exit(3);
    pause();  // until killed
    _exit(0);
  }
  close(ready[1]);
  char held = 0;
  ASSERT_EQ(read(ready[0], &held, 1), 1);
  close(ready[0]);
  ASSERT_EQ(held, 'y');

  ppi::Report report;
  RunSet second(report, kStarted + 60, "");
  EXPECT_FALSE(second.holdFolder("g/").ok());
  ASSERT_EQ(report.problems().size(), 1u);
  EXPECT_NE(report.problems()[0].what.find("process " + std::to_string(first) + " on host "),
            std::string::npos)
      << report.problems()[0].what;

  kill(first, SIGKILL);
  waitpid(first, nullptr, 0);
  ASSERT_TRUE(fs::exists("g/PPI_run.lock")) << "a killed run leaves its lock";
  RunSet third(report, kStarted + 120, "");
  EXPECT_TRUE(third.holdFolder("g/").ok());
  EXPECT_EQ(report.problems().back().id, "stale-run-lock");
  EXPECT_EQ(testsupport::readFile("g/PPI_run.lock"), lockOf(third.self()));
}

#endif

// Before a run first replaces a file of an earlier run, that run's group files
// go aside, named with its time; its designs stay for this run to replace.
TEST(RunSetAside, TheEarlierRunsGroupFilesGoAsideOnce) {
  const std::string manifest = R"({"started": "2026-12-08T19:23:22Z",
    "multiStudyFile": "/elsewhere/old.mdm",
    "files": [{"role": "report", "path": "/elsewhere/PPI_report_2.html"}]})";
  const struct {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;  // before
    std::vector<std::string> after;                           // every file after, sorted
    std::size_t moved;  // notes in the report, one a file set aside
  } rows[] = {
      {"a manifest names the run's group files",
       {{"g/PPI_run.json", manifest}, {"g/old.mdm", "old"}, {"g/PPI_report_2.html", "r2"},
        {"g/PPI_report.html", "r1"}, {"g/Multistudy_PPI.mdm", "m"}, {"g/a.sdm", "a"}},
       {"g/Multistudy_PPI_20261208T192322Z.mdm", "g/PPI_report.html",
        "g/PPI_report_2_20261208T192322Z.html", "g/PPI_run_20261208T192322Z.json", "g/a.sdm",
        "g/old_20261208T192322Z.mdm"},
       4},
      {"no manifest: the multi-study file and the report",
       {{"g/Multistudy_PPI.mdm", "m"}, {"g/PPI_report.html", "r1"}, {"g/a.sdm", "a"}},
       {"g/Multistudy_PPI_before_20261208T192422Z.mdm",
        "g/PPI_report_before_20261208T192422Z.html", "g/a.sdm"},
       2},
      {"a manifest that cannot be read is set aside as well",
       {{"g/PPI_run.json", "{cut"}, {"g/a.sdm", "a"}},
       {"g/PPI_run_before_20261208T192422Z.json", "g/a.sdm"},
       1},
      {"nothing of an earlier run", {{"g/a.sdm", "a"}}, {"g/a.sdm"}, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Host host;
    fs::create_directory("g");
    for (const auto& [path, content] : row.files) testsupport::writeFile(path, content);
    ppi::Report report;
    RunSet set(report, kStarted + 60, "g/Multistudy_PPI.mdm");
    EXPECT_TRUE(set.setAsideEarlierRun("g/").ok());
    testsupport::writeFile("g/Multistudy_PPI.mdm", "this run's");
    EXPECT_TRUE(set.setAsideEarlierRun("g/").ok()) << "once per folder";
    fs::remove("g/Multistudy_PPI.mdm");
    std::vector<std::string> after;
    for (const auto& entry : fs::directory_iterator("g")) {
      after.push_back("g/" + entry.path().filename().string());
    }
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, row.after);
    EXPECT_EQ(report.problems().size(), row.moved);
  }
}

TEST(RunSetAside, AFileThatCannotBeMovedStopsTheRun) {
  Host host;
  fs::create_directory("g");
  testsupport::writeFile("g/Multistudy_PPI.mdm", "m");
  ppi::FaultyFileSystem faulty(ppi::realFileSystem());
  ppi::Report report;
  {
    ppi::ScopedFileSystem scope(faulty);
    faulty.inject({ppi::FaultyFileSystem::Operation::rename, 1, false});
    RunSet set(report, kStarted, "g/Multistudy_PPI.mdm");
    EXPECT_FALSE(set.setAsideEarlierRun("g/").ok());
  }
  EXPECT_EQ(testsupport::readFile("g/Multistudy_PPI.mdm"), "m");
  ASSERT_EQ(report.problems().size(), 1u);
  EXPECT_EQ(report.problems()[0].kind, ppi::Report::Kind::error);
  EXPECT_EQ(report.problems()[0].id, "earlier-run");
}

// The manifest lists each design with the record beside it, then the report,
// each with the checksum of its bytes, and reads back as the run it was.
TEST(RunManifest, ListsEveryFileWithItsChecksum) {
  Host host;
  fs::create_directory("g");
  testsupport::writeFile("g/a.sdm", "design a");
  testsupport::writeFile("g/a.json", "record a");
  testsupport::writeFile("g/a_3DMC.sdm", "merged a");
  testsupport::writeFile("g/PPI_report.html", "report");
  ppi::Report report;
  RunSet set(report, kStarted, "g/Multistudy_PPI.mdm");
  set.noteFile(1, "design", "g/a.sdm");
  set.noteFile(1, "merged design", "g/a_3DMC.sdm");  // its record is missing: not listed
  ppi::analysis::RunManifestInput input;
  input.completed = true;
  input.subjects = 1;
  input.listed = {"g/a_3DMC.sdm"};
  const std::string path = set.writeManifest(input, "g/PPI_report.html");
  ASSERT_EQ(path, "g/PPI_run.json");
  const auto manifest = nlohmann::json::parse(testsupport::readFile(path));
  EXPECT_EQ(manifest["completed"], true);
  EXPECT_EQ(manifest["started"], "2026-12-08T19:23:22Z");
  EXPECT_EQ(manifest["multiStudyFile"], "g/Multistudy_PPI.mdm");
  std::vector<std::string> files;
  for (const auto& file : manifest["files"]) {
    const std::string bytes = testsupport::readFile(file["path"].get<std::string>());
    EXPECT_EQ(file["checksum"], ppi::hex64(ppi::checksum64(bytes.data(), bytes.size())));
    files.push_back(file["role"].get<std::string>() + " " + file["path"].get<std::string>());
  }
  EXPECT_EQ(files, (std::vector<std::string>{"design g/a.sdm", "record g/a.json",
                                             "merged design g/a_3DMC.sdm",
                                             "report g/PPI_report.html"}));
  const ppi::analysis::EarlierRun earlier =
      ppi::analysis::readRunManifest(testsupport::readFile(path));
  EXPECT_TRUE(earlier.read);
  EXPECT_EQ(earlier.startedUtc, kStarted);
  EXPECT_EQ(earlier.reports, std::vector<std::string>{"g/PPI_report.html"});
}

}  // namespace
