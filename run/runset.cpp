#include "run/runset.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "common/checksum.h"
#include "common/filelayer.h"
#include "common/processinfo.h"
#include "host/hostapi.h"
#include "run/runrecords.h"

namespace ppi::analysis {
namespace {

constexpr std::string_view kLockTitle = "PPI run lock";

std::string_view nextLine(std::string_view& text) {
  const std::size_t end = text.find('\n');
  std::string_view line = text.substr(0, end);
  text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool field(std::string_view& text, std::string_view key, std::string_view& value) {
  const std::string_view line = nextLine(text);
  if (line.size() <= key.size() + 1 || line.substr(0, key.size()) != key ||
      line[key.size()] != ' ') {
    return false;
  }
  value = line.substr(key.size() + 1);
  return true;
}

std::string lockWhere(const std::string& folder) {
  return "results folder " + (folder.empty() ? std::string("./") : folder);
}

}  // namespace

std::string lockFileText(const LockHolder& holder) {
  return std::string(kLockTitle) + "\nprocess " + std::to_string(holder.processId) + "\nhost " +
         holder.host + "\nstarted " + isoUtc(holder.startedUtc) + "\n";
}

bool readLockFile(std::string_view text, LockHolder& holder) {
  std::string_view process, host, started;
  if (nextLine(text) != kLockTitle || !field(text, "process", process) ||
      !field(text, "host", host) || !field(text, "started", started)) {
    return false;
  }
  LockHolder read;
  const auto parsed = std::from_chars(process.data(), process.data() + process.size(),
                                      read.processId);
  if (parsed.ec != std::errc() || parsed.ptr != process.data() + process.size() ||
      !parseIsoUtc(started, read.startedUtc)) {
    return false;
  }
  read.host = std::string(host);
  holder = std::move(read);
  return true;
}

std::string describeHolder(const LockHolder& holder) {
  return "process " + std::to_string(holder.processId) + " on host " + holder.host +
         ", started " + isoUtc(holder.startedUtc);
}

std::string asidePath(const std::string& path, const std::string& time) {
  const std::string folder = folderOf(path);
  const std::string name = path.substr(folder.size());
  const std::size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string extension = stem.size() == name.size() ? std::string() : name.substr(dot);
  std::string aside = folder + stem + "_" + time + extension;
  for (int n = 2; pathExists(aside); ++n) {
    aside = folder + stem + "_" + time + "_" + std::to_string(n) + extension;
  }
  return aside;
}

RunSet::RunSet(Report& report, std::int64_t startedUtc, std::string multiStudyPath)
    : report_(report), multiStudyPath_(std::move(multiStudyPath)) {
  self_.processId = currentProcessId();
  self_.host = currentHostName();
  self_.startedUtc = startedUtc;
}

RunSet::~RunSet() { release(); }

void RunSet::release() {
  for (const std::string& lock : locks_) {
    // Only a lock that still names this run is removed.
    std::string text;
    LockHolder holder;
    if (readFileBytes(lock, text).ok() && readLockFile(text, holder) && holder == self_) {
      static_cast<void>(removeRegularFile(lock));  // a lock left behind is taken over as stale
    }
  }
  locks_.clear();
  heldFolders_.clear();
}

Outcome RunSet::holdFolder(const std::string& folder) {
  if (heldFolders_.count(folder) != 0) return {};
  if (Outcome taken = takeLock(folder, folder + kRunLockName); !taken.ok()) return taken;
  heldFolders_.insert(folder);
  return {};
}

Outcome RunSet::takeLock(const std::string& folder, const std::string& path) {
  const std::string where = lockWhere(folder);
  auto refuse = [&](const std::string& what, const std::string& todo) -> Outcome {
    const Failure failure =
        host::logFailure("Plugin> ", "%s Prepare PPI Plugin aborted.", what.c_str());
    host::messageBox(what.c_str());
    report_.add({Severity::error, where, what, todo, "run-lock"});
    return failure;
  };
  // Twice at most: a stale lock moved aside leaves the name free.
  for (int attempt = 0; attempt < 2; ++attempt) {
    bool existed = false;
    const FileResult made = createNewFile(path, lockFileText(self_), TextMode::binary, &existed);
    if (made.ok()) {
      locks_.push_back(path);
      return {};
    }
    if (!existed) {
      return refuse("The lock file " + path + " cannot be made (" + made.reason() + ").",
                    "Check that the results folder exists and may be written to.");
    }
    std::string text;
    LockHolder holder;
    if (!readFileBytes(path, text).ok() || !readLockFile(text, holder)) {
      return refuse("The results folder holds a lock file " + path +
                        " that names no run; another run may be writing there.",
                    "Make sure no other run writes into this folder, then remove the lock file.");
    }
    if (holder == self_) return {};  // this run's, by another spelling of the folder
    const bool here = holder.host == self_.host;
    const ProcessState state = here ? processState(holder.processId) : ProcessState::unknown;
    if (state != ProcessState::gone) {
      return refuse("Another run is writing into the " + where + ": " + describeHolder(holder) +
                        " (lock file " + path + ").",
                    here ? "Wait until that run has ended, or choose another results folder."
                         : "Wait until that run has ended, or choose another results folder; if "
                           "it is gone, remove the lock file.");
    }
    // A run whose process has ended left its lock: take the folder over. The
    // lock is moved aside first, and only if it is still the stale one, so
    // that two runs taking it over at once cannot both win.
    const std::string stale = path + "." + std::to_string(self_.processId) + ".stale";
    std::string moved;
    LockHolder movedHolder;
    if (!renameFile(path, stale).ok()) continue;  // someone else moved it: look again
    if (!readFileBytes(stale, moved).ok() || !readLockFile(moved, movedHolder) ||
        !(movedHolder == holder)) {
      static_cast<void>(renameFile(stale, path));  // another run's fresh lock: give it back
      return refuse("Another run took the " + where + " over while this one started (lock file " +
                        path + ").",
                    "Wait until that run has ended, or choose another results folder.");
    }
    static_cast<void>(removeRegularFile(stale));  // a leftover is named after this process only
    const std::string what = "The run of " + describeHolder(holder) +
                             " ended without removing its lock file " + path +
                             "; this run takes the folder over.";
    host::logLine("Plugin> %s", what.c_str());
    report_.add({Severity::warning, where, what,
                 "That run did not finish: its files in this folder are replaced or set aside.",
                 "stale-run-lock"});
  }
  return refuse("The lock file " + path + " cannot be taken over.",
                "Make sure no other run writes into this folder, then remove the lock file.");
}

Outcome RunSet::setAsideEarlierRun(const std::string& folder) {
  if (!setAsideFolders_.insert(folder).second) return {};
  const std::string manifestPath = folder + kRunManifestName;
  EarlierRun earlier;
  std::string text;
  if (isRegularFile(manifestPath) && readFileBytes(manifestPath, text).ok()) {
    earlier = readRunManifest(text);
  }
  // Without a manifest the earlier run's time is not known: the names then
  // say which run came after it.
  const std::string time = earlier.read ? fileNameTime(earlier.startedUtc)
                                        : "before_" + fileNameTime(self_.startedUtc);
  std::vector<std::string> group;
  auto inFolder = [&](const std::string& path) {
    if (!path.empty()) group.push_back(folder + fileNameOf(path));
  };
  // In this order, so that a run killed in between leaves a manifest that
  // lists its files as they are: the multi-study file goes first, then the
  // manifest, then the report it names.
  inFolder(earlier.multiStudyFile);
  inFolder(multiStudyPath_);
  group.push_back(manifestPath);
  if (earlier.read) {
    for (const std::string& reportPath : earlier.reports) inFolder(reportPath);
  } else {
    inFolder("PPI_report.html");
  }
  std::vector<std::string> seen;
  for (const std::string& path : group) {
    if (std::find(seen.begin(), seen.end(), path) != seen.end() || !isRegularFile(path)) continue;
    seen.push_back(path);
    const std::string aside = asidePath(path, time);
    const FileResult moved = renameFile(path, aside);
    if (!moved.ok()) {
      const Failure failure = host::logFailure(
          "Plugin> ",
          "The earlier run's file %s cannot be set aside (%s); this run would mix with it. "
          "Prepare PPI Plugin aborted.",
          path.c_str(), moved.reason().c_str());
      report_.add({Severity::error, lockWhere(folder),
                   "The earlier run's file " + path + " cannot be set aside: " + moved.reason(),
                   "Move the earlier run's multi-study file, report and manifest away, then start "
                   "again.",
                   "earlier-run"});
      return failure;
    }
    host::logLine("Plugin> The earlier run's %s is set aside as %s.", path.c_str(), aside.c_str());
    report_.note(lockWhere(folder),
                 "The earlier run's " + fileNameOf(path) + " is set aside as " + fileNameOf(aside) +
                     ": this run replaces files of that run.");
  }
  return {};
}

void RunSet::noteFile(std::size_t subject, std::string role, std::string path) {
  files_.push_back({std::move(role), subject, std::move(path), 0});
}

void RunSet::noteSettings(const SettingsRecord& settings) {
  if (haveSettings_) return;
  settings_ = settings;
  haveSettings_ = true;
}

bool RunSet::resultsFolder(std::string& folder) const {
  if (!multiStudyPath_.empty()) {
    folder = folderOf(multiStudyPath_);
    return true;
  }
  if (files_.empty()) return false;
  folder = folderOf(files_.front().path);
  return true;
}

std::string RunSet::writeManifest(RunManifestInput input, const std::string& reportPath,
                                  const std::vector<std::string>& reportPages) {
  std::string folder;
  if (!resultsFolder(folder)) return {};
  std::vector<ManifestFile> files;
  for (const ManifestFile& file : files_) {
    files.push_back(file);
    const std::string record = recordPathFor(file.path);
    if (isRegularFile(record)) files.push_back({"record", file.subject, record, 0});
  }
  if (!reportPath.empty()) {
    files.push_back({"report", 0, reportPath, 0});
    for (const std::string& page : reportPages) files.push_back({"report page", 0, page, 0});
  }
  for (ManifestFile& file : files) {
    std::string bytes;
    if (readFileBytes(file.path, bytes).ok()) file.checksum = checksum64(bytes.data(), bytes.size());
  }
  input.files = std::move(files);
  if (haveSettings_) input.settings = settings_;
  input.multiStudyFile = multiStudyPath_;
  input.startedUtc = self_.startedUtc;
  const std::string path = folder + kRunManifestName;
  const FileResult written = replaceFile(path, runManifestJson(input), TextMode::binary);
  if (!written.ok()) {
    host::logLine("Plugin> The run manifest %s could not be written: %s", path.c_str(),
                  written.reason().c_str());
    report_.warning(lockWhere(folder), "The run manifest could not be written: " + written.reason(),
                    "The design matrices are saved, but no multi-study file is built from a run "
                    "without its manifest; start the run again.");
    return {};
  }
  return path;
}

}  // namespace ppi::analysis
