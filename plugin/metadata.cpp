#include "plugin/metadata.h"

#include <new>

#include "common/version.h"
#include "plugin/abiguard.h"
#include "plugin/ppiplugin.h"

namespace {
const char kPluginName[] = "PPI plugin (v1.30)";
const char kPluginDescription[] =
    "This plugin creates the regressors needed for PsychoPhysiological Interaction (PPI) analysis.";
const char kAuthor[] = "<i>RK</i>";
const char kHelpFile[] = "HelpFolder/index.html";
const char kGUIScript[] = "ppi_gui.js";
}  // namespace

extern "C" {

TYNKPluginInterface* createPlugin() {
  TYNKPluginInterface* plugin = nullptr;
  ppi::plugin::guardAbiCall("createPlugin", [&] {
    plugin = new (std::nothrow) ppiplugin();
    return plugin != nullptr;
  });
  return plugin;
}

const char* getPluginName() { return kPluginName; }
const char* getPluginVersion() { return ppi::kPluginVersion; }
const char* getPluginDescription() { return kPluginDescription; }
const char* getAuthor() { return kAuthor; }
const char* getHelpFile() { return kHelpFile; }
const char* getGUIScript() { return kGUIScript; }
}
