// The run as one set of files in its results folder: a lock file that keeps a
// second run out while this one writes there, the earlier run's group files
// (multi-study file, QC report, manifest) set aside before this run first
// replaces a file of it, and the run manifest that lists every file the run
// wrote, with its checksum.
//
// The lock file "PPI_run.lock" lies beside the designs. It is created
// exclusively and names its run:
//   PPI run lock
//   process <id>
//   host <machine name>
//   started <YYYY-MM-DDThh:mm:ssZ>
// A lock whose process is gone from this machine is taken over with a warning;
// any other refuses the run, naming the run that holds it. The lock goes when
// the run ends, however it ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/outcome.h"
#include "common/report.h"
#include "report/runmanifest.h"

namespace ppi::analysis {

constexpr const char* kRunLockName = "PPI_run.lock";

struct LockHolder {
  std::int64_t processId = 0;
  std::string host;
  std::int64_t startedUtc = 0;

  bool operator==(const LockHolder& other) const {
    return processId == other.processId && host == other.host && startedUtc == other.startedUtc;
  }
};

std::string lockFileText(const LockHolder& holder);
// False for a text that is not a lock file's (an empty one, one cut short).
bool readLockFile(std::string_view text, LockHolder& holder);
// "process 1234 on host lab-7, started 2026-12-08T19:43:22Z".
std::string describeHolder(const LockHolder& holder);

// "<folder><stem>_<time><.extension>" for "<folder><stem><.extension>", with
// "_2", "_3", ... after the time when that names a file already.
std::string asidePath(const std::string& path, const std::string& time);

class RunSet {
 public:
  // `multiStudyPath`: the run's multi-study file ("" in dialog mode).
  RunSet(Report& report, std::int64_t startedUtc, std::string multiStudyPath);
  ~RunSet();
  RunSet(const RunSet&) = delete;
  RunSet& operator=(const RunSet&) = delete;

  const LockHolder& self() const { return self_; }

  // Holds the lock of `folder` ("" for the current folder, else ending in its
  // separator), taking it now unless this run holds it. Fails, after a log
  // line, a message box and an error in the report, when another run holds it
  // or it cannot be made.
  Outcome holdFolder(const std::string& folder);

  // Before a file of this run replaces the one at `path`: the earlier run's
  // multi-study file, report and manifest in that folder are renamed with the
  // earlier run's time (once per folder). Fails, after a log line, when one
  // of them cannot be moved: the run must stop rather than mix two runs.
  Outcome setAsideEarlierRun(const std::string& folder);

  // A design or merged design saved for subject `subject` (from 1).
  void noteFile(std::size_t subject, std::string role, std::string path);
  // The run's settings as the first subject read them.
  void noteSettings(const SettingsRecord& settings);

  // The folder of the manifest: the multi-study file's, else the first
  // design's; false when the run wrote nothing and has no folder.
  bool resultsFolder(std::string& folder) const;

  // Writes the manifest into the results folder: the noted files, the record
  // beside each, and `reportPath` (when not empty), each with its checksum;
  // the settings noted (`input`'s when none were).
  // Returns its path ("" when there is no folder or it could not be written,
  // which is a warning in the report).
  std::string writeManifest(RunManifestInput input, const std::string& reportPath,
                            const std::vector<std::string>& reportPages = {});

  // Removes the locks this run holds.
  void release();

 private:
  Outcome takeLock(const std::string& folder, const std::string& path);

  Report& report_;
  LockHolder self_;
  std::string multiStudyPath_;
  std::vector<std::string> locks_;  // the lock files this run made
  std::set<std::string> heldFolders_;
  std::set<std::string> setAsideFolders_;
  std::vector<ManifestFile> files_;
  SettingsRecord settings_;
  bool haveSettings_ = false;
};

}  // namespace ppi::analysis
