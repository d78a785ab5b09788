#include "tests/support/runsetcheck.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "common/checksum.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;

bool readWhole(const fs::path& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  text = bytes.str();
  return true;
}

std::string checksumOf(const fs::path& path) {
  std::string bytes;
  if (!readWhole(path, bytes)) return "(missing)";
  return ppi::hex64(ppi::checksum64(bytes.data(), bytes.size()));
}

}  // namespace

std::vector<std::string> multiStudyDesigns(const std::string& text) {
  std::vector<std::string> designs;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    // "<time course>" "<design>"
    const std::size_t open = line.find("\" \"");
    if (line.empty() || line.front() != '"' || open == std::string::npos || line.back() != '"') {
      continue;
    }
    designs.push_back(line.substr(open + 3, line.size() - open - 4));
  }
  return designs;
}

std::vector<std::string> runSetProblems(const std::string& study, const std::string& results,
                                        const std::string& multiStudy, bool killed) {
  std::vector<std::string> problems;
  const fs::path folder = fs::path(study) / results;
  if (!killed && fs::exists(folder / "PPI_run.lock")) problems.push_back("a run's lock is left behind");

  nlohmann::json manifest;
  std::string text;
  const bool haveManifest = readWhole(folder / "PPI_run.json", text);
  if (haveManifest) {
    manifest = nlohmann::json::parse(text, nullptr, false);
    if (manifest.is_discarded() || !manifest.is_object() || !manifest["files"].is_array()) {
      problems.push_back("PPI_run.json is not a manifest");
      return problems;
    }
    for (const auto& file : manifest["files"]) {
      const std::string path = file.value("path", "");
      const std::string now = checksumOf(fs::path(study) / path);
      if (now != file.value("checksum", "")) {
        problems.push_back(path + " is not the file the manifest lists (checksum " + now + ")");
      }
    }
  }

  std::string group;
  if (!readWhole(folder / multiStudy, group)) return problems;
  if (!haveManifest) {
    problems.push_back(multiStudy + " without a manifest");
    return problems;
  }
  if (manifest.value("completed", false) != true) {
    problems.push_back(multiStudy + " beside the manifest of a run that did not complete");
  }
  const std::vector<std::string> listed = multiStudyDesigns(group);
  std::vector<std::string> manifestListed;
  for (const auto& path : manifest["listed"]) manifestListed.push_back(path.get<std::string>());
  if (listed != manifestListed) {
    problems.push_back(multiStudy + " lists other designs than its run's manifest");
  }
  return problems;
}

}  // namespace testsupport
