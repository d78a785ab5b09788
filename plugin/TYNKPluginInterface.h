// The abstract interface through which the host drives a plug-in. Its virtual
// operations, in slot order: destructor, execute, initPlugin.
//
// On Windows the host is, as a rule, built by Microsoft's compiler, whose
// virtual destructor takes one slot: the scalar deleting destructor, called
// with `this` and `unsigned int flags`, destroying the object, freeing it when
// bit 0 of the flags is set, and returning `this`. GCC and Clang in the GNU
// ABI give a virtual destructor two slots instead, which would move execute and
// initPlugin down by one. Built by them for Windows, the interface therefore
// declares slot 0 itself, `destroy`, with that contract; its destructor is not
// virtual there (and protected: the object is destroyed through
// destroyPlugin). A Microsoft-ABI compiler, and every POSIX build, see the
// ordinary virtual destructor. The three slots are the same on all of them.
#pragma once

#include "plugin/pluginexport.h"

#if defined(_WIN32) && !defined(_MSC_VER)
#define PPI_DESTROY_SLOT 1
#else
#define PPI_DESTROY_SLOT 0
#endif

class PPI_EXPORT TYNKPluginInterface {
 public:
  TYNKPluginInterface();
  TYNKPluginInterface(const TYNKPluginInterface& other);
  TYNKPluginInterface& operator=(const TYNKPluginInterface& other);
#if PPI_DESTROY_SLOT
  // Slot 0, what a Microsoft-ABI host's `delete` (flags 1) and explicit
  // destructor call (flags 0) run: destroys the object, frees it with the
  // library's operator delete when bit 0 of `flags` is set, returns `this`.
  virtual void* destroy(unsigned int flags) noexcept = 0;
#else
  virtual ~TYNKPluginInterface();
#endif

  virtual bool execute() = 0;
  virtual bool initPlugin() = 0;

#if PPI_DESTROY_SLOT
 protected:
  ~TYNKPluginInterface();
#endif
};

// Destroys and frees an object made by createPlugin, as the host's `delete`
// through the interface does on this platform. Null is ignored.
inline void destroyPlugin(TYNKPluginInterface* plugin) {
#if PPI_DESTROY_SLOT
  if (plugin != nullptr) plugin->destroy(1);
#else
  delete plugin;
#endif
}
