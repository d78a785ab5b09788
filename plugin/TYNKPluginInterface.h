// The abstract interface through which the host drives a plug-in. Its virtual
// operations, in slot order: destructor, execute, initPlugin.
#pragma once

#include "plugin/pluginexport.h"

class PPI_EXPORT TYNKPluginInterface {
 public:
  TYNKPluginInterface();
  TYNKPluginInterface(const TYNKPluginInterface& other);
  TYNKPluginInterface& operator=(const TYNKPluginInterface& other);
  virtual ~TYNKPluginInterface();

  virtual bool execute() = 0;
  virtual bool initPlugin() = 0;
};
