#include "standin/app/platform.h"

#include "standin/textutil.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>
#endif

namespace standin {

#if defined(_WIN32)

LoadedLibrary loadLibrary(const std::string& path) {
  LoadedLibrary loaded;
  loaded.handle = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
  if (loaded.handle == nullptr) {
    loaded.error = "LoadLibraryA failed with error " + std::to_string(GetLastError());
  }
  return loaded;
}

void* findSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void unloadLibrary(void* library) {
  if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

std::string executableFolder() {
  char path[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return ".";
  return folderOf(std::string(path, length));
}

const char* pluginLibraryFileName() { return "ppiplugin.dll"; }

#else

LoadedLibrary loadLibrary(const std::string& path) {
  LoadedLibrary loaded;
  loaded.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (loaded.handle == nullptr) {
    const char* why = dlerror();
    loaded.error = why != nullptr ? why : "dlopen failed";
  }
  return loaded;
}

void* findSymbol(void* library, const char* name) { return dlsym(library, name); }

void unloadLibrary(void* library) {
  if (library != nullptr) dlclose(library);
}

std::string executableFolder() {
  char path[PATH_MAX + 1] = {};
  ssize_t length = readlink("/proc/self/exe", path, PATH_MAX);
  if (length <= 0) return ".";
  return folderOf(std::string(path, static_cast<std::size_t>(length)));
}

const char* pluginLibraryFileName() { return "libppiplugin.so"; }

#endif

}  // namespace standin
