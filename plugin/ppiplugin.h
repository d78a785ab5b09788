// The PPI plug-in object: owns the plug-in's state (the subject list, the
// design matrices saved by the latest run and the autosave list) for its whole
// life, and hands it to the command handlers.
#pragma once

#include "model/pluginstate.h"
#include "plugin/TYNKPluginInterface.h"
#include "plugin/pluginexport.h"

class PPI_EXPORT ppiplugin : public TYNKPluginInterface {
 public:
  ppiplugin();
  // Virtual where the interface's destructor is (see TYNKPluginInterface.h).
  ~ppiplugin();
#if PPI_DESTROY_SLOT
  void* destroy(unsigned int flags) noexcept override;
#endif

  bool execute() override;
  bool initPlugin() override;

  ppi::model::PluginState state;
};

namespace ppi::plugin {

// True for host versions 2.8.0 and later.
bool hostVersionSupported(int major, int minor, int revision);

// initPlugin's work once the table is bound: version check, log pane and the
// start-up line.
bool startWithBoundHost();

}  // namespace ppi::plugin
