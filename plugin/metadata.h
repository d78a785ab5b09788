// The plug-in's exported entry points: its factory and six metadata texts.
// The texts have static storage; each getter returns the same pointer always.
#pragma once

#include "plugin/TYNKPluginInterface.h"
#include "plugin/pluginexport.h"

extern "C" {
// A new plug-in object owned by the caller, or null (with no exception) when it
// cannot be made.
PPI_EXPORT TYNKPluginInterface* createPlugin();
PPI_EXPORT const char* getPluginName();
PPI_EXPORT const char* getPluginVersion();
PPI_EXPORT const char* getPluginDescription();
PPI_EXPORT const char* getAuthor();
PPI_EXPORT const char* getHelpFile();
PPI_EXPORT const char* getGUIScript();
}
