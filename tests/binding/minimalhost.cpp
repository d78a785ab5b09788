// A minimal host program, written against the pinned host prototypes and the
// plug-in interface only: it exports the host functions from its executable,
// loads the plug-in library (dlopen, or LoadLibraryA on Windows) and lets the
// library find it.
//
//   <host> <library> bind|refuse
//
// "bind": initPlugin must succeed (twice), commands must run, and the object
// must be destroyed through its base class (destroyPlugin, as the host's
// delete). Built with HOST_OMIT_INTEGER_INPUT, the host lacks
// nkGetIntegerInput: the plug-in must still bind, with that entry empty, so
// "AddSubject", which needs it, is refused before its first dialog. "refuse":
// initPlugin must return false without calling any host function. Exit status
// 0 when all held.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "host/hostprototypes.h"
#include "plugin/TYNKPluginInterface.h"
#include "tests/binding/pluginlibrary.h"

namespace {
std::vector<std::string> gLog;
std::vector<std::string> gCalls;
std::map<std::string, std::string> gStrings;
int gFailures = 0;
char gVmr = 0;

void expect(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "FAILED: %s\n", what);
    ++gFailures;
  }
}
}  // namespace

extern "C" {
#ifndef HOST_OMIT_VERSION
void nkGetVersionOfTessarayNK(int* major, int* minor, int* revision) {
  gCalls.push_back("nkGetVersionOfTessarayNK");
  *major = 2;
  *minor = 8;
  *revision = 0;
}
#endif
void nkShowLogPane(void) { gCalls.push_back("nkShowLogPane"); }
void nkLogText(const char* text) {
  gCalls.push_back("nkLogText");
  gLog.push_back(text);
}
void nkMessageBox(const char*) { gCalls.push_back("nkMessageBox"); }
int nkYesNoMessageBox(const char*) { return 0; }
#ifndef HOST_OMIT_INTEGER_INPUT
int nkGetIntegerInput(const char*, int, int, int) { return -1; }
#endif
int nkGetTextInput(const char*, const char*, char*) { return 0; }
int nkGetOpenFileName(const char*, const char*, const char*, char*) {
  gCalls.push_back("nkGetOpenFileName");
  return 0;  // the user cancels
}
int nkGetSaveFileName(const char*, const char*, const char*, char*) { return 0; }
void nkGetStringParameter(const char* name, char* value) {
  gCalls.push_back("nkGetStringParameter");
  std::string found = gStrings[name];
  std::snprintf(value, 8192, "%s", found.c_str());
}
void nkSetStringParameter(const char* name, const char* value) { gStrings[name] = value; }
int nkGetIntParameter(const char*) { return 0; }
void nkSetIntParameter(const char*, int) {}
void* nkGetCurrentVMR(int*, int*, int*) { return &gVmr; }
void nkUpdateActiveWindow(void) {}
int nkLinkVTCToCurrentVMR(const char*, int) { return 0; }
int nkGetHeaderOfVTCOfCurrentVMR(void*) { return 0; }
short* nkGetVTCIntDataOfCurrentVMR(void) { return nullptr; }
float* nkGetVTCFloatDataOfCurrentVMR(void) { return nullptr; }
int nkLoadProtocol(const char*) { return 0; }
int nkGetProtocol(void*) { return 0; }
int nkGetProtocolCondition(int, void*) { return 0; }
void nkClearDesignMatrix(void) {}
void nkAddPredictor(const char*) {}
void nkSetPredictorValuesFromCondition(const char*, int, float) {}
void nkApplyTwoGammaHRFToPredictorWithName(const char*) {}
float* nkGetPredictorByName(const char*) { return nullptr; }
void nkSaveSingleStudyGLMDesignMatrix(const char*) {}
int nkLoadVOIs(const char*) { return 0; }
int nkGetVOIs(void*) { return 0; }
int* nkGetVOI(int, void*) { return nullptr; }
}

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <library> bind|refuse\n", argv[0]);
    return 2;
  }
  const bool shouldBind = std::strcmp(argv[2], "bind") == 0;
  binding::LibraryHandle library = binding::openPluginLibrary(argv[1]);
  if (library == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", argv[1], binding::lastLoadError().c_str());
    return 2;
  }
  using Factory = TYNKPluginInterface* (*)();
  using Getter = const char* (*)();
  auto createPlugin = reinterpret_cast<Factory>(binding::findExport(library, "createPlugin"));
  auto getPluginName = reinterpret_cast<Getter>(binding::findExport(library, "getPluginName"));
  auto getGUIScript = reinterpret_cast<Getter>(binding::findExport(library, "getGUIScript"));
  expect(createPlugin != nullptr && getPluginName != nullptr && getGUIScript != nullptr,
         "the factory and getters are exported");
  if (gFailures != 0) return 1;
  expect(std::strcmp(getPluginName(), "PPI plugin (v1.30)") == 0, "plug-in name");
  expect(getPluginName() == getPluginName(), "a getter returns the same text every time");
  expect(std::strcmp(getGUIScript(), "ppi_gui.js") == 0, "GUI script name");

  TYNKPluginInterface* plugin = createPlugin();
  expect(plugin != nullptr, "createPlugin makes an object");
  if (plugin == nullptr) return 1;

  bool started = plugin->initPlugin();
  if (!shouldBind) {
    expect(!started, "initPlugin refuses");
    expect(gCalls.empty(), "no host function is called when the binding fails");
  } else {
    expect(started, "initPlugin succeeds");
    expect(gCalls.size() >= 3 && gCalls[0] == "nkGetVersionOfTessarayNK" &&
               gCalls[1] == "nkShowLogPane",
           "version, then log pane");
    expect(!gLog.empty() && gLog.back() == "\n** Starting PPI plugin (v1.30) **", "start-up line");
    gStrings["Command"] = "Clear";
    expect(plugin->execute(), "Clear runs");
    expect(gLog.size() >= 3 && gLog[gLog.size() - 2] == "Plugin> Command received: Clear" &&
               gLog.back() == "Plugin> Received command: \"Clear\".",
           "Clear logs its lines");
    gStrings["Command"] = "AddSubject";
    gCalls.clear();
    const bool added = plugin->execute();
    const bool askedForFile = std::count(gCalls.begin(), gCalls.end(), "nkGetOpenFileName") > 0;
#ifdef HOST_OMIT_INTEGER_INPUT
    expect(!added && !askedForFile &&
               gLog.back() == "Plugin> The host does not offer nkGetIntegerInput; command refused.",
           "AddSubject is refused: the missing function's entry is empty");
#else
    expect(added && askedForFile, "AddSubject asks for a time course, which the user cancels");
#endif
    std::size_t before = gLog.size();
    TYNKPluginInterface* second = createPlugin();
    expect(second->initPlugin(), "a second object starts too");
    expect(gLog.size() == before + 1 && gLog.back() == "\n** Starting PPI plugin (v1.30) **",
           "the second start logs the start-up line again");
    destroyPlugin(second);
  }
  destroyPlugin(plugin);  // as the host's delete through the base class
  binding::closePluginLibrary(library);
  if (gFailures == 0) std::printf("host %s: all expectations held\n", argv[0]);
  return gFailures == 0 ? 0 : 1;
}
