#include "plugin/TYNKPluginInterface.h"

// Defined here, not inline, so that the library exports them with the class.
TYNKPluginInterface::TYNKPluginInterface() = default;
TYNKPluginInterface::TYNKPluginInterface(const TYNKPluginInterface&) = default;
TYNKPluginInterface& TYNKPluginInterface::operator=(const TYNKPluginInterface&) = default;
TYNKPluginInterface::~TYNKPluginInterface() = default;
