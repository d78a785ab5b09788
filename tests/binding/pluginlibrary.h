// Loading the plug-in library the way a host does on each platform: LoadLibraryA
// and GetProcAddress on Windows, dlopen and dlsym elsewhere.
#pragma once

#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace binding {

#if defined(_WIN32)
using LibraryHandle = HMODULE;

inline LibraryHandle openPluginLibrary(const char* path) { return LoadLibraryA(path); }

inline void* findExport(LibraryHandle library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(library, name));
}

inline void closePluginLibrary(LibraryHandle library) { FreeLibrary(library); }

inline std::string lastLoadError() {
  return "Windows error " + std::to_string(static_cast<unsigned long>(GetLastError()));
}
#else
using LibraryHandle = void*;

inline LibraryHandle openPluginLibrary(const char* path) {
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

inline void* findExport(LibraryHandle library, const char* name) { return dlsym(library, name); }

inline void closePluginLibrary(LibraryHandle library) { dlclose(library); }

inline std::string lastLoadError() {
  const char* error = dlerror();
  return error != nullptr ? error : "unknown error";
}
#endif

}  // namespace binding
