// The run manifest ("PPI_run.json"), written into the results folder when a
// run ends: the run as one set of files, so that a group analysis can tell
// whether every file it uses belongs to one complete run.
//
//   {
//     "plugin":    {"name", "version", "hostVersion"},
//     "started":   "YYYY-MM-DDThh:mm:ssZ", "ended": "YYYY-MM-DDThh:mm:ssZ",
//     "completed": true when every subject was processed and the list published,
//     "stoppedAtSubject": 0 | the subject (from 1) that stopped the run,
//     "subjects":  the number of subjects in the list,
//     "multiStudyFile": path | "" (not in multi-study mode),
//     "settings":  the records' settings object,
//     "listed":    [the paths of "SDMFileList", in subject order],
//     "notListed": [the subjects whose design has an error],
//     "files":     [{"role": "design" | "merged design" | "record" | "report",
//                    "subject": from 1 | 0 (the run's report), "path",
//                    "checksum": 16 hex digits (XXH3 of the bytes)}]
//   }
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "report/runrecord.h"

namespace ppi::analysis {

// The manifest's file name, in the results folder.
constexpr const char* kRunManifestName = "PPI_run.json";

struct ManifestFile {
  std::string role;
  std::size_t subject = 0;
  std::string path;
  std::uint64_t checksum = 0;
};

struct RunManifestInput {
  PluginIdentity plugin;
  std::int64_t startedUtc = 0;
  std::int64_t endedUtc = 0;
  bool completed = false;
  std::size_t stoppedAtSubject = 0;
  std::size_t subjects = 0;
  std::string multiStudyFile;
  SettingsRecord settings;
  std::vector<std::string> listed;
  std::vector<std::string> notListed;
  std::vector<ManifestFile> files;
};

// The manifest as JSON text, indented by two spaces, ending in a line feed.
std::string runManifestJson(const RunManifestInput& input);

// What a results folder's manifest tells of the run that wrote it.
struct EarlierRun {
  bool read = false;            // the text is a manifest
  std::int64_t startedUtc = 0;  // when it started
  std::string multiStudyFile;   // its multi-study file ("" in dialog mode)
  std::vector<std::string> reports;  // its report files
};

// Reads a manifest's text; `read` is false for anything else.
EarlierRun readRunManifest(std::string_view text);

// "YYYY-MM-DDThh:mm:ssZ" back to seconds since 1970; false for any other text.
bool parseIsoUtc(std::string_view text, std::int64_t& seconds);

// A time as it goes into a file name: "YYYYMMDDThhmmssZ".
std::string fileNameTime(std::int64_t secondsSinceEpoch);

}  // namespace ppi::analysis
