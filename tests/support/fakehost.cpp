#include "tests/support/fakehost.h"

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "host/hostprototypes.h"

namespace testsupport {
namespace {

void untypedHostFunction() {}

}  // namespace

std::map<std::string, ppi::host::RawFunction> allHostExports() {
  std::map<std::string, ppi::host::RawFunction> exports;
#define PPI_FAKE_TYPED(name, result, parameters, arguments) \
  exports[#name] = reinterpret_cast<ppi::host::RawFunction>(&::name);
#define PPI_FAKE_UNTYPED(name) exports[#name] = &untypedHostFunction;
  PPI_HOST_FUNCTIONS(PPI_FAKE_TYPED, PPI_FAKE_UNTYPED)
#undef PPI_FAKE_TYPED
#undef PPI_FAKE_UNTYPED
  return exports;
}

ppi::host::RawFunction resolveFromMap(void* exportsMap, const char* name) {
  auto* exports = static_cast<std::map<std::string, ppi::host::RawFunction>*>(exportsMap);
  auto found = exports->find(name);
  return found != exports->end() ? found->second : nullptr;
}

FakeHost::FakeHost() : exports(allHostExports()) { standin::setCurrentHostModel(&model); }

FakeHost::~FakeHost() {
  if (standin::currentHostModel() == &model) standin::setCurrentHostModel(nullptr);
}

bool FakeHost::bind() { return ppi::host::bindHostTable(&resolveFromMap, &exports); }

ScopedWorkingDirectory::ScopedWorkingDirectory() : previous_(std::filesystem::current_path()) {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("ppi-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
  std::filesystem::current_path(path_);
}

ScopedWorkingDirectory::~ScopedWorkingDirectory() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

PluginHarness::PluginHarness() {
  if (!host.bind() || !ppi::plugin::startWithBoundHost()) {
    throw std::runtime_error("the plug-in did not start against the fake host");
  }
  model.log.clear();
  model.calls.clear();
}

bool PluginHarness::run(const std::string& command) {
  model.stringParameters["Command"] = command;
  return plugin.execute();
}

}  // namespace testsupport
