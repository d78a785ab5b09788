#include "analysis/runanalysis.h"

#include "host/hostapi.h"
#include "plugin/ppiplugin.h"

namespace ppi {

// Placeholder until the analysis run lands: says so and changes nothing.
bool runAnalysis(ppiplugin&) {
  host::logText("Plugin> Start is not available in this build.");
  return false;
}

}  // namespace ppi
