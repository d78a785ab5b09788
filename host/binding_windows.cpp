#if defined(_WIN32)
#include <windows.h>

#include "host/binding.h"
#include "host/hosttable.h"

namespace ppi::host {
namespace {

RawFunction resolveInModule(void* context, const char* name) {
  FARPROC address = GetProcAddress(static_cast<HMODULE>(context), name);
  return reinterpret_cast<RawFunction>(address);
}

}  // namespace

bool bindHostFromProcess() {
  HMODULE module = GetModuleHandleA("TessarayNK.exe");
  if (module == nullptr) module = GetModuleHandleA("Tessaray.exe");
  if (module == nullptr) return false;
  return bindHostTable(&resolveInModule, module);
}

}  // namespace ppi::host
#endif
