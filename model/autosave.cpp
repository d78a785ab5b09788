#include "model/autosave.h"

#include <filesystem>
#include <system_error>

#include "host/hostapi.h"
#include "model/listfile.h"

namespace ppi::model {
namespace {

constexpr const char* kAutosaveScratchName = "autosaveList.ppi.new";

void logFailure() {
  host::logLine("Plugin> Could not write %s: it does not hold the current subject list.",
                kAutosaveFileName);
}

}  // namespace

void AutosaveList::mirror(const SubjectList& list) {
  const std::string lines = list.listText();
  if (!owned() && lines.empty()) return;
  if (!replace(lines)) logFailure();
}

void AutosaveList::subjectAdded(const SubjectList& list) {
  if (list.empty()) return;
  const Subject& added = list.back();
  const std::string line = formatListLine(added.timeCourse.vtcPath.view(),
                                          added.region.voiPath.view(), added.region.chosenVOI);
  if (!owned() || !append(line)) mirror(list);
}

bool AutosaveList::recoveredText(std::string& text) const {
  text.clear();
  std::error_code error;
  return readWholeFile(kAutosaveFileName, text) ||
         !std::filesystem::exists(kAutosaveFileName, error);
}

bool AutosaveList::replace(std::string_view content) {
  if (stream_.is_open()) stream_.close();
  bool replaced = false;
  {
    std::ofstream scratch(kAutosaveScratchName, std::ios::out | std::ios::trunc);
    if (scratch.is_open()) {
      scratch.write(content.data(), static_cast<std::streamsize>(content.size()));
      scratch.close();
      if (!scratch.fail()) {
        std::error_code error;
        std::filesystem::rename(kAutosaveScratchName, kAutosaveFileName, error);
        replaced = !error;
      }
    }
  }
  if (!replaced) {
    std::error_code ignored;
    std::filesystem::remove(kAutosaveScratchName, ignored);
  }
  stream_.clear();
  stream_.open(kAutosaveFileName, std::ios::out | std::ios::app);
  return replaced && stream_.is_open();
}

bool AutosaveList::append(std::string_view line) {
  if (!stream_.is_open()) return false;
  stream_.write(line.data(), static_cast<std::streamsize>(line.size()));
  stream_.flush();
  if (stream_.good()) return true;
  stream_.clear();
  return false;
}

}  // namespace ppi::model
