#include "plugin/ppiplugin.h"

#include <new>

#include "commands/execute.h"
#include "host/binding.h"
#include "host/hostapi.h"
#include "plugin/abiguard.h"
#include "plugin/metadata.h"

ppiplugin::ppiplugin() = default;

// The autosave list's stream is closed, and so flushed, with the state.
ppiplugin::~ppiplugin() = default;

#if PPI_DESTROY_SLOT
void* ppiplugin::destroy(unsigned int flags) noexcept {
  this->~ppiplugin();
  // The object came from createPlugin's new: it goes back to the same heap.
  if ((flags & 1u) != 0) ::operator delete(this);
  return this;
}
#endif

bool ppiplugin::execute() {
  return ppi::plugin::guardAbiCall("execute",
                                   [this] { return ppi::commands::executeCommand(state); });
}

bool ppiplugin::initPlugin() {
  return ppi::plugin::guardAbiCall("initPlugin", [] {
    if (!ppi::host::bindHostFromProcess()) return false;
    return ppi::plugin::startWithBoundHost();
  });
}

namespace ppi::plugin {
namespace {

// The start-up line is cut after this many characters.
constexpr std::size_t kStartLineLimit = 255;

}  // namespace

bool hostVersionSupported(int major, int minor, int revision) {
  if (major != 2) return major > 2;
  if (minor != 8) return minor > 8;
  return revision >= 0;
}

bool startWithBoundHost() {
  using host::HostFunction;
  int major = 0, minor = 0, revision = 0;
  host::getVersion(major, minor, revision);
  if (!hostVersionSupported(major, minor, revision)) {
    if (host::hasHostFunction(HostFunction::nkMessageBox)) {
      host::messageBox("Can not execute this plugin - TessarayNK version 2.8 or higher required.");
    }
    return false;
  }
  if (host::hasHostFunction(HostFunction::nkShowLogPane)) host::showLogPane();
  host::logLineLimited(kStartLineLimit, "\n** Starting %s **", getPluginName());
  return true;
}

}  // namespace ppi::plugin
