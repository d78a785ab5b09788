#include "commands/handlers.h"

#include <string>

#include "commands/choosesubject.h"
#include "common/filelayer.h"
#include "formats/listfile.h"
#include "host/hostapi.h"

namespace ppi::commands {
namespace {

using host::HostFunction;

}  // namespace

Outcome handleSave(model::PluginState& state, const char*) {
  if (Outcome offered =
          host::requireHostFunctions({HostFunction::nkLogText, HostFunction::nkGetSaveFileName});
      !offered.ok()) {
    return offered;
  }
  std::string chosen;
  PathText target;
  if (!host::getSaveFileName("Choose a filename to save the ppi list(.*ppi)", ".", "*.ppi",
                             chosen)) {
    const Failure cancelled =
        host::logFailure("PPI Plugin> ", "Could not save file. Please retry.");
    state.report.setSummary("Save: no file chosen; nothing saved");
    return cancelled;
  }
  if (Outcome accepted = acceptPath(chosen, "PPI", target); !accepted.ok()) {
    state.report.setSummary("Save: nothing saved");
    return accepted;
  }
  const std::string targetName = fileNameOf(target.view());
  const std::string saved =
      "Save: " + counted(state.subjects.size(), "subject") + " saved to " + targetName;

  // Once this object has a list, the list itself is saved: the autosave file
  // mirrors it, but a file can be removed or fail to be written. Before that,
  // the file may be what an earlier session left: it is copied as it is, the
  // way to recover a list after a crash. No file yet means an empty list.
  const bool ownList = state.autosave.owned();
  std::string lines;
  if (ownList) {
    lines = state.subjects.listText();
  } else if (!state.autosave.recoveredText(lines)) {
    const Failure unread = host::logFailure(
        "PPI Plugin> ", "Could not read %s; the list was not saved.", model::kAutosaveFileName);
    state.report.setSummary("Save: nothing saved");
    return unread;
  }
  if (sameFile(target.str(), model::kAutosaveFileName)) {
    // It holds the list, now for certain, unless the write fails (reported).
    if (ownList && !state.autosave.mirror(state.subjects, state.report)) {
      state.report.setSummary("Save: nothing saved");
      return Outcome::failure("the list could not be written");  // the report names the file
    }
    state.report.setSummary(ownList ? saved : "Save: the autosave list is kept as it is");
    return {};
  }
  // The list is written as text; an earlier session's file is copied byte for byte.
  if (!(ownList ? model::writeListFile(target.str(), lines)
                : model::writeWholeFile(target.str(), lines))) {
    const Failure unwritten =
        host::logFailure("PPI Plugin> ", "Could not write %s. Please retry.", target.c_str());
    state.report.setSummary("Save: nothing saved");
    state.report.error(target.str(), "cannot be written.",
                       "Choose a folder you may write to, or free some disk space.");
    return unwritten;
  }
  state.report.setSummary(ownList ? saved
                                  : "Save: the list of an earlier session copied to " + targetName);
  return {};
}

}  // namespace ppi::commands
