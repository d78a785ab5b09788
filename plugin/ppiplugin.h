// The PPI plug-in object: owns the subject list, the design matrices saved by
// the latest run and the autosave list stream for its whole life.
#pragma once

#include <cstdint>
#include <fstream>
#include <vector>

#include "commands/subjectrecords.h"
#include "common/boundedtext.h"
#include "plugin/TYNKPluginInterface.h"
#include "plugin/pluginexport.h"

class PPI_EXPORT ppiplugin : public TYNKPluginInterface {
 public:
  ppiplugin();
  ~ppiplugin() override;

  bool execute() override;
  bool initPlugin() override;

  std::int32_t subjectCount = 0;
  bool saveWeights = false;
  std::vector<SubjectRecord> subjects;
  std::vector<SubjectVOIRecord> subjectVOIs;
  std::vector<ppi::PathText> savedDesignFiles;
  std::ofstream autosaveStream;
};

namespace ppi {

// True for host versions 2.8.0 and later.
bool hostVersionSupported(int major, int minor, int revision);

// initPlugin's work once the table is bound: version check, log pane and the
// start-up line.
bool startWithBoundHost();

}  // namespace ppi
