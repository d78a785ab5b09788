#include "report/runmanifest.h"

#include <nlohmann/json.hpp>

#include "common/checksum.h"
#include "report/provenance.h"

namespace ppi::analysis {
namespace {

using json = nlohmann::ordered_json;

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

bool digits(std::string_view text, std::size_t at, std::size_t count, unsigned& value) {
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
  }
  return true;
}

}  // namespace

std::string runManifestJson(const RunManifestInput& input) {
  json files = json::array();
  for (const ManifestFile& file : input.files) {
    files.push_back({{"role", file.role},
                     {"subject", file.subject},
                     {"path", file.path},
                     {"checksum", hex64(file.checksum)}});
  }
  const json manifest = {
      {"plugin",
       {{"name", input.plugin.name},
        {"version", input.plugin.version},
        {"hostVersion", input.plugin.hostVersion}}},
      {"started", isoUtc(input.startedUtc)},
      {"ended", isoUtc(input.endedUtc)},
      {"completed", input.completed},
      {"stoppedAtSubject", input.stoppedAtSubject},
      {"subjects", input.subjects},
      {"multiStudyFile", input.multiStudyFile},
      {"settings", json::parse(settingsJsonText(input.settings))},
      {"listed", input.listed},
      {"notListed", input.notListed},
      {"files", files},
  };
  return manifest.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

EarlierRun readRunManifest(std::string_view text) {
  EarlierRun run;
  const json manifest = json::parse(text.begin(), text.end(), nullptr, false);
  if (manifest.is_discarded() || !manifest.is_object()) return run;
  const auto started = manifest.find("started");
  if (started == manifest.end() || !started->is_string() ||
      !parseIsoUtc(started->get<std::string>(), run.startedUtc)) {
    return run;
  }
  const auto group = manifest.find("multiStudyFile");
  if (group != manifest.end() && group->is_string()) run.multiStudyFile = group->get<std::string>();
  const auto files = manifest.find("files");
  if (files != manifest.end() && files->is_array()) {
    for (const json& file : *files) {
      if (!file.is_object()) continue;
      const auto role = file.find("role");
      const auto path = file.find("path");
      if (role != file.end() && path != file.end() && role->is_string() && path->is_string() &&
          role->get<std::string>() == "report") {
        run.reports.push_back(path->get<std::string>());
      }
    }
  }
  run.read = true;
  return run;
}

bool parseIsoUtc(std::string_view text, std::int64_t& seconds) {
  // YYYY-MM-DDThh:mm:ssZ
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
      text[13] != ':' || text[16] != ':' || text[19] != 'Z') {
    return false;
  }
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!digits(text, 0, 4, year) || !digits(text, 5, 2, month) || !digits(text, 8, 2, day) ||
      !digits(text, 11, 2, hour) || !digits(text, 14, 2, minute) || !digits(text, 17, 2, second) ||
      month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) {
    return false;
  }
  seconds = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return isoUtc(seconds) == text;  // no 31 February
}

std::string fileNameTime(std::int64_t secondsSinceEpoch) {
  std::string name;
  for (char c : isoUtc(secondsSinceEpoch)) {
    if (c != '-' && c != ':') name += c;
  }
  return name;
}

}  // namespace ppi::analysis
