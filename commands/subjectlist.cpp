#include "commands/subjectlist.h"

#include "host/hostapi.h"
#include "plugin/ppiplugin.h"

namespace ppi {

// Placeholders until the subject list lands: each says so and changes nothing.
bool handleAddSubject(ppiplugin&, const char*) {
  host::logText("Plugin> AddSubject is not available in this build.");
  return false;
}

bool handleLoad(ppiplugin&, const char*) {
  host::logText("Plugin> Load is not available in this build.");
  return false;
}

bool handleSave(ppiplugin&, const char*) {
  host::logText("Plugin> Save is not available in this build.");
  return false;
}

}  // namespace ppi
