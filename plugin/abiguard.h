// The library's edge towards the host never lets an exception through: an
// exception that reached the host would take it down with the user's work.
#pragma once

#include <exception>

#include "host/hostapi.h"

namespace ppi::plugin {

// Runs `body` (returning bool); any exception becomes one log line and false.
template <typename Body>
bool guardAbiCall(const char* entryPoint, Body&& body) noexcept {
  try {
    return body();
  } catch (const host::MissingHostFunction& missing) {
    try {
      host::logLine("Plugin> The host does not offer %s; %s stopped.",
                    host::hostFunctionName(missing.function), entryPoint);
    } catch (...) {
    }
  } catch (const std::exception& error) {
    try {
      host::logLine("Plugin> Internal error in %s: %s", entryPoint, error.what());
    } catch (...) {
    }
  } catch (...) {
    try {
      host::logLine("Plugin> Internal error in %s.", entryPoint);
    } catch (...) {
    }
  }
  return false;
}

}  // namespace ppi::plugin
