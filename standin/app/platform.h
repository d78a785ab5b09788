// The stand-in application's only contact with the operating system: loading
// the plug-in library, looking up its exports, and finding the executable's
// own folder. POSIX uses dlopen/dlsym; Windows uses LoadLibraryA/GetProcAddress.
#pragma once

#include <string>

namespace standin {

struct LoadedLibrary {
  void* handle = nullptr;
  std::string error;  // why loading failed
};

LoadedLibrary loadLibrary(const std::string& path);
// The address of an exported symbol, or null.
void* findSymbol(void* library, const char* name);
void unloadLibrary(void* library);

// The folder that holds the running executable ("." when it cannot be found).
std::string executableFolder();

// The plug-in library's file name on this platform.
const char* pluginLibraryFileName();

}  // namespace standin
