#if !defined(_WIN32)
#include <dlfcn.h>
#include <link.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>

#include "host/binding.h"
#include "host/hosttable.h"

namespace ppi::host {
namespace {

struct HostModule {
  void* handle = nullptr;          // dlopen handle of the module (never loads it)
  const void* loadBase = nullptr;  // where it lies, to check that a symbol is its own
};

std::string baseName(const char* path) {
  if (path == nullptr) return {};
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? std::string(slash + 1) : std::string(path);
}

bool nameMatches(const std::string& base, const std::array<const char*, 2>& names) {
  return base == names[0] || base == names[1];
}

// The main program's file name, as it was executed and as the kernel resolved it.
bool mainProgramMatches(const std::array<const char*, 2>& names) {
  auto execName = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
  if (nameMatches(baseName(execName), names)) return true;
  std::array<char, 4096> target{};
  ssize_t length = readlink("/proc/self/exe", target.data(), target.size() - 1);
  if (length <= 0) return false;
  target[static_cast<std::size_t>(length)] = '\0';
  return nameMatches(baseName(target.data()), names);
}

struct Search {
  const std::array<const char*, 2>* names;
  HostModule found;
};

int visitModule(dl_phdr_info* info, std::size_t, void* data) {
  auto* search = static_cast<Search*>(data);
  bool isMainProgram = info->dlpi_name == nullptr || info->dlpi_name[0] == '\0';
  bool matches = isMainProgram ? mainProgramMatches(*search->names)
                               : nameMatches(baseName(info->dlpi_name), *search->names);
  if (!matches) return 0;
  void* handle = isMainProgram ? dlopen(nullptr, RTLD_LAZY | RTLD_NOLOAD)
                               : dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return 0;
  search->found.handle = handle;
  search->found.loadBase = reinterpret_cast<const void*>(info->dlpi_addr);
  return 1;
}

HostModule findLoadedModule(const std::array<const char*, 2>& names) {
  Search search{&names, {}};
  dl_iterate_phdr(&visitModule, &search);
  return search.found;
}

struct Owner {
  ElfW(Addr) address;
  const void* loadBase = nullptr;
};

// Finds the load base of the module whose segments hold the address.
int visitOwner(dl_phdr_info* info, std::size_t, void* data) {
  auto* owner = static_cast<Owner*>(data);
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD) continue;
    ElfW(Addr) start = info->dlpi_addr + segment.p_vaddr;
    if (owner->address >= start && owner->address < start + segment.p_memsz) {
      owner->loadBase = reinterpret_cast<const void*>(info->dlpi_addr);
      return 1;
    }
  }
  return 0;
}

// Looks a name up in the host module only: a symbol that dlsym finds in another
// module of the main program's search scope is not the host's.
RawFunction resolveInModule(void* context, const char* name) {
  auto* module = static_cast<HostModule*>(context);
  void* address = dlsym(module->handle, name);
  if (address == nullptr) return nullptr;
  Owner owner{reinterpret_cast<ElfW(Addr)>(address)};
  dl_iterate_phdr(&visitOwner, &owner);
  if (owner.loadBase != module->loadBase) return nullptr;
  return reinterpret_cast<RawFunction>(address);
}

}  // namespace

bool bindHostFromProcess() {
  static const std::array<const char*, 2> kPreferred{"TessarayNK.exe", "TessarayNK"};
  static const std::array<const char*, 2> kFallback{"Tessaray.exe", "Tessaray"};
  HostModule module = findLoadedModule(kPreferred);
  if (module.handle == nullptr) module = findLoadedModule(kFallback);
  if (module.handle == nullptr) return false;
  bool bound = bindHostTable(&resolveInModule, &module);
  dlclose(module.handle);  // drops the reference NOLOAD took; the module stays loaded
  return bound;
}

}  // namespace ppi::host
#endif
