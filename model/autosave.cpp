#include "model/autosave.h"

#include "common/filelayer.h"
#include "host/hostapi.h"
#include "formats/listfile.h"

namespace ppi::model {
namespace {

void logFailure() {
  host::logLine("Plugin> Could not write %s: it does not hold the current subject list.",
                kAutosaveFileName);
}

}  // namespace

void AutosaveList::mirror(const SubjectList& list) {
  const std::string lines = list.listText();
  if (!owned_ && lines.empty()) return;
  owned_ = true;
  inStep_ = replaceFile(kAutosaveFileName, lines, TextMode::text).ok();
  if (!inStep_) logFailure();
}

void AutosaveList::subjectAdded(const SubjectList& list) {
  if (list.empty()) return;
  if (!owned_ || !inStep_) {
    mirror(list);
    return;
  }
  const Subject& added = list.back();
  const std::string line =
      formatListLine(added.timeCourse.vtcPath.view(), added.region.voiPath.view(),
                     added.region.chosenVOI, added.motionPath.view());
  // A failed append may leave a fragment at the file's end: the list is then
  // written whole, now or at the next change.
  if (!appendToFile(kAutosaveFileName, line, TextMode::text).ok()) mirror(list);
}

bool AutosaveList::recoveredText(std::string& text) const {
  text.clear();
  return readFileBytes(kAutosaveFileName, text).ok() || !pathExists(kAutosaveFileName);
}

}  // namespace ppi::model
