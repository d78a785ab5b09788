// The host that unit tests stand behind the plug-in's function table: the
// in-process host model, exported through a name map that a test may thin out.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "host/hosttable.h"
#include "plugin/ppiplugin.h"
#include "standin/hostmodel.h"

namespace testsupport {

class FakeHost {
 public:
  FakeHost();
  ~FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  // Leaves a name out of what the host exports (takes effect at the next bind).
  void remove(const std::string& name) { exports.erase(name); }
  // Binds the plug-in's table to this host's exports.
  bool bind();

  standin::HostModel model;
  std::map<std::string, ppi::host::RawFunction> exports;
};

// A resolver over a name map, for bindHostTable.
ppi::host::RawFunction resolveFromMap(void* exportsMap, const char* name);

// Every name of the table mapped to the stand-in host's function (or, for
// names the plug-in never calls, to a placeholder).
std::map<std::string, ppi::host::RawFunction> allHostExports();

// Runs a test inside a fresh, empty working directory, removed afterwards.
class ScopedWorkingDirectory {
 public:
  ScopedWorkingDirectory();
  ~ScopedWorkingDirectory();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);

// A plug-in started against a fake host in its own working directory.
class PluginHarness {
 public:
  PluginHarness();
  // Sets "Command" and runs execute.
  bool run(const std::string& command);

  ScopedWorkingDirectory directory;
  FakeHost host;
  ppiplugin plugin;
  standin::HostModel& model = host.model;
};

}  // namespace testsupport
