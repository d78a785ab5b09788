// A host compiled as a Windows desktop host is compiled, in Microsoft's C++ ABI
// (clang++ --target=x86_64-pc-windows-msvc -fno-exceptions -fno-rtti, linked by
// lld-link against nothing but the system's kernel32 and msvcrt). It includes
// the plug-in's interface header as such a host does and drives the object
// through the virtual table as that compiler lays it out: slot 0 the scalar
// deleting destructor (flags: bit 0 frees), slot 1 execute, slot 2 initPlugin.
//
//   TessarayNK.exe <ppiplugin.dll>
//
// It checks that
//   - slots 0, 1 and 2 of a new object hold the library's own destroy, execute
//     and initPlugin (compared with the addresses of their exported symbols);
//   - initPlugin binds this host and logs the start-up line;
//   - execute refuses without a VMR, and with one runs "Clear", an unknown
//     command and an "AddSubject" cancelled at its first dialog, with their
//     log lines, results and "PPIReport";
//   - `delete` frees the object once, with the library's own operator delete,
//     an explicit destructor call (flags 0) destroys it without freeing it,
//     and slot 0 returns the object it was called for.
// Frees are watched by redirecting the library's import of msvcrt's free.
//
// This target has no C or C++ library headers: the few functions of msvcrt
// and kernel32 used are declared here, and the program has its own entry
// point. Exit status 0 when every check held, 1 when one failed, 2 when the
// library could not be loaded.
#include <stdarg.h>

#include "host/hostprototypes.h"
#include "plugin/TYNKPluginInterface.h"

using Size = decltype(sizeof 0);
using Dword = unsigned long;  // 32 bits in this ABI

extern "C" {
// msvcrt
__declspec(dllimport) int _vsnprintf(char* buffer, Size size, const char* format, va_list args);
__declspec(dllimport) int strcmp(const char* a, const char* b);
__declspec(dllimport) int _stricmp(const char* a, const char* b);
__declspec(dllimport) const char* strstr(const char* text, const char* part);
__declspec(dllimport) Size strlen(const char* text);
__declspec(dllimport) char* strncpy(char* to, const char* from, Size count);
__declspec(dllimport) void free(void* block);
__declspec(dllimport) void exit(int status);
struct StartupInfo {
  int newMode;
};
__declspec(dllimport) int __getmainargs(int* argc, char*** argv, char*** environment,
                                        int expandWildcards, StartupInfo* startup);
// kernel32
__declspec(dllimport) void* __stdcall LoadLibraryA(const char* path);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);
__declspec(dllimport) int __stdcall FreeLibrary(void* module);
__declspec(dllimport) Dword __stdcall GetLastError();
__declspec(dllimport) int __stdcall VirtualProtect(void* address, Size size, Dword protection,
                                                   Dword* oldProtection);
__declspec(dllimport) void* __stdcall GetStdHandle(Dword which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, Dword size,
                                              Dword* written, void* overlapped);
// Floating-point code in this program needs the symbol the compiler's own
// runtime would define.
int _fltused = 0;
}

namespace {

constexpr Dword kStandardOutput = static_cast<Dword>(-11);
constexpr Dword kPageReadWrite = 0x04;

int gFailures = 0;

// One line on standard output, written at once: nothing is lost if a later
// call into the plug-in crashes.
void say(const char* format, ...) {
  static char line[2048];
  va_list args;
  va_start(args, format);
  int length = _vsnprintf(line, sizeof line - 2, format, args);
  va_end(args);
  if (length < 0 || length > static_cast<int>(sizeof line - 2)) {
    length = static_cast<int>(sizeof line - 2);
  }
  line[length] = '\n';
  Dword written = 0;
  WriteFile(GetStdHandle(kStandardOutput), line, static_cast<Dword>(length + 1), &written, nullptr);
}

void expect(bool condition, const char* what) {
  if (condition) return;
  say("FAILED: %s", what);
  ++gFailures;
}

bool same(const char* a, const char* b) {
  return a != nullptr && b != nullptr && strcmp(a, b) == 0;
}

// ---------------------------------------------------------------------------
// The host's side: its log, message boxes, dialogs, parameters and one VMR.

constexpr int kTextSize = 4096;

struct Texts {
  static constexpr int kCapacity = 64;
  char text[kCapacity][kTextSize];
  int count = 0;

  void add(const char* value) {
    char* slot = text[count < kCapacity ? count : kCapacity - 1];
    strncpy(slot, value, kTextSize - 1);
    slot[kTextSize - 1] = '\0';
    if (count < kCapacity) ++count;
  }
  const char* last() const { return count > 0 ? text[count - 1] : ""; }
  const char* fromEnd(int back) const { return count > back ? text[count - 1 - back] : ""; }
  void clear() { count = 0; }
};

Texts gLog;
Texts gMessages;
Texts gCalls;       // names of the host functions called, in order
Texts gOpenTitles;  // titles of the file dialogs opened

struct Parameter {
  char name[64];
  char value[kTextSize];
};
Parameter gStrings[16];
int gStringCount = 0;

Parameter* findString(const char* name, bool create) {
  for (int i = 0; i < gStringCount; ++i) {
    if (same(gStrings[i].name, name)) return &gStrings[i];
  }
  if (!create || gStringCount == 16) return nullptr;
  Parameter* parameter = &gStrings[gStringCount++];
  strncpy(parameter->name, name, sizeof parameter->name - 1);
  parameter->value[0] = '\0';
  return parameter;
}

void setString(const char* name, const char* value) {
  Parameter* parameter = findString(name, true);
  if (parameter == nullptr) return;
  strncpy(parameter->value, value, kTextSize - 1);
  parameter->value[kTextSize - 1] = '\0';
}

const char* stringValue(const char* name) {
  const Parameter* parameter = findString(name, false);
  return parameter != nullptr ? parameter->value : nullptr;
}

bool gVmrOpen = false;
char gVmr = 0;

}  // namespace

extern "C" {
void nkGetVersionOfTessarayNK(int* major, int* minor, int* revision) {
  gCalls.add("nkGetVersionOfTessarayNK");
  *major = 2;
  *minor = 8;
  *revision = 0;
}
void nkShowLogPane(void) { gCalls.add("nkShowLogPane"); }
void nkLogText(const char* text) {
  gCalls.add("nkLogText");
  gLog.add(text);
  say("[log] %s", text);
}
void nkMessageBox(const char* text) {
  gCalls.add("nkMessageBox");
  gMessages.add(text);
  say("[message box] %s", text);
}
int nkYesNoMessageBox(const char*) { return 0; }
int nkGetIntegerInput(const char*, int, int, int) { return -1; }
int nkGetTextInput(const char*, const char*, char*) { return 0; }
int nkGetOpenFileName(const char* title, const char*, const char*, char*) {
  gCalls.add("nkGetOpenFileName");
  gOpenTitles.add(title);
  return 0;  // the user cancels
}
int nkGetSaveFileName(const char*, const char*, const char*, char*) { return 0; }
void nkGetStringParameter(const char* name, char* value) {
  const char* found = stringValue(name);
  strncpy(value, found != nullptr ? found : "", kTextSize);
}
void nkSetStringParameter(const char* name, const char* value) { setString(name, value); }
int nkGetIntParameter(const char*) { return 0; }
void nkSetIntParameter(const char*, int) {}
void* nkGetCurrentVMR(int*, int*, int*) { return gVmrOpen ? &gVmr : nullptr; }
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

namespace {

// ---------------------------------------------------------------------------
// Every block the library frees, seen through its import of msvcrt's free.

using FreeFunction = void (*)(void*);
FreeFunction gRealFree = nullptr;
void* gFreed[1024];
int gFreedCount = 0;

void recordingFree(void* block) {
  if (gFreedCount < 1024) gFreed[gFreedCount++] = block;
  gRealFree(block);
}

// How often `block` was freed since the free numbered `since` (the heap hands
// out the addresses of freed blocks again).
int timesFreed(const void* block, int since) {
  int times = 0;
  for (int i = since; i < gFreedCount; ++i) times += gFreed[i] == block ? 1 : 0;
  return times;
}

template <typename T>
T at(const unsigned char* base, Size offset) {
  T value;
  __builtin_memcpy(&value, base + offset, sizeof value);
  return value;
}

// Points the library's import address table entry for msvcrt's free at
// recordingFree. False when the library imports no such function.
bool watchFrees(void* library) {
  unsigned char* base = static_cast<unsigned char*>(library);
  const auto nt = at<unsigned int>(base, 0x3c);
  if (at<unsigned int>(base, nt) != 0x00004550u) return false;  // "PE\0\0"
  const Size optional = nt + 24;
  if (at<unsigned short>(base, optional) != 0x20b) return false;    // PE32+
  const auto imports = at<unsigned int>(base, optional + 112 + 8);  // data directory 1
  if (imports == 0) return false;
  for (Size descriptor = imports;; descriptor += 20) {
    const auto lookup = at<unsigned int>(base, descriptor);
    const auto name = at<unsigned int>(base, descriptor + 12);
    const auto addresses = at<unsigned int>(base, descriptor + 16);
    if (name == 0) return false;
    if (_stricmp(reinterpret_cast<const char*>(base + name), "msvcrt.dll") != 0) continue;
    const unsigned int names = lookup != 0 ? lookup : addresses;
    for (Size i = 0;; ++i) {
      const auto entry = at<unsigned long long>(base, names + 8 * i);
      if (entry == 0) break;
      if ((entry >> 63) != 0) continue;  // imported by ordinal
      const char* function = reinterpret_cast<const char*>(base + (entry & 0x7fffffffu) + 2);
      if (!same(function, "free")) continue;
      void** slot = reinterpret_cast<void**>(base + addresses + 8 * i);
      Dword protection = 0;
      if (!VirtualProtect(slot, sizeof *slot, kPageReadWrite, &protection)) return false;
      gRealFree = reinterpret_cast<FreeFunction>(*slot);
      *slot = reinterpret_cast<void*>(&recordingFree);
      VirtualProtect(slot, sizeof *slot, protection, &protection);
      return true;
    }
  }
}

// ---------------------------------------------------------------------------
// The virtual table against the library's exported member functions.

void** vtableOf(TYNKPluginInterface* object) { return *reinterpret_cast<void***>(object); }

// The library's member functions that a slot may hold, by exported symbol.
const char* const kMembers[][2] = {
    {"_ZN9ppiplugin7destroyEj", "ppiplugin::destroy(unsigned int)"},
    {"_ZN9ppiplugin7executeEv", "ppiplugin::execute()"},
    {"_ZN9ppiplugin10initPluginEv", "ppiplugin::initPlugin()"},
    {"_ZN9ppipluginD0Ev", "ppiplugin's deleting destructor"},
    {"_ZN9ppipluginD1Ev", "ppiplugin's complete-object destructor"},
    {"_ZN9ppipluginD2Ev", "ppiplugin's base-object destructor"},
};

const char* memberAt(void* library, void* address) {
  for (const auto& member : kMembers) {
    if (GetProcAddress(library, member[0]) == address) return member[1];
  }
  return "no exported member function";
}

bool checkSlots(void* library, TYNKPluginInterface* object) {
  const char* const wanted[3][2] = {{"_ZN9ppiplugin7destroyEj", "destroy"},
                                    {"_ZN9ppiplugin7executeEv", "execute"},
                                    {"_ZN9ppiplugin10initPluginEv", "initPlugin"}};
  bool allHeld = true;
  for (int slot = 0; slot < 3; ++slot) {
    void* expected = GetProcAddress(library, wanted[slot][0]);
    void* found = vtableOf(object)[slot];
    say("slot %d: %s", slot, memberAt(library, found));
    if (expected == nullptr || found != expected) {
      say("FAILED: slot %d holds %s, not the plug-in's %s (%s%s)", slot, memberAt(library, found),
          wanted[slot][1], wanted[slot][0], expected == nullptr ? " is not exported" : "");
      ++gFailures;
      allHeld = false;
    }
  }
  return allHeld;
}

// ---------------------------------------------------------------------------
// The sequence.

constexpr char kStartLine[] = "\n** Starting PPI plugin (v1.30) **";
constexpr char kNoVmr[] =
    "This plugin requires a VMR to operate. Make sure that a VMR is open and that its window is "
    "selected.";

bool runCommand(TYNKPluginInterface* plugin, const char* command) {
  setString("Command", command);
  setString("PPIReport", "(not set)");
  gLog.clear();
  gMessages.clear();
  gCalls.clear();
  gOpenTitles.clear();
  say("execute \"%s\"%s", command, gVmrOpen ? "" : " (no VMR open)");
  return plugin->execute();
}

bool reportHas(const char* part) {
  const char* report = stringValue("PPIReport");
  return report != nullptr && strstr(report, part) != nullptr;
}

void checkCommands(TYNKPluginInterface* plugin) {
  gVmrOpen = false;
  expect(!runCommand(plugin, "Clear"), "without a VMR, execute returns false");
  expect(same(gLog.last(), "Plugin> Command received: Clear") && gLog.count == 1,
         "without a VMR, only the command is logged");
  expect(gMessages.count == 1 && same(gMessages.last(), kNoVmr), "the missing-VMR message box");
  expect(reportHas("Clear: refused") && reportHas("No VMR is open."),
         "PPIReport: the refusal and its reason");

  gVmrOpen = true;
  expect(runCommand(plugin, "Clear"), "Clear returns true");
  expect(gLog.count == 2 && same(gLog.fromEnd(1), "Plugin> Command received: Clear") &&
             same(gLog.last(), "Plugin> Received command: \"Clear\"."),
         "Clear logs the command and its own line");
  expect(gMessages.count == 0, "Clear shows no message box");
  expect(reportHas("Clear: the subject list is empty"), "PPIReport of Clear");

  expect(runCommand(plugin, "clear "), "an unknown command returns true");
  expect(gLog.count == 2 && same(gLog.last(), "Plugin> Received unknown command: \"clear \"."),
         "the unknown command is logged as received");
  expect(reportHas("clear : unknown command; nothing done"), "PPIReport of an unknown command");

  expect(runCommand(plugin, "AddSubject"), "AddSubject cancelled at its first dialog returns true");
  expect(gOpenTitles.count == 1 && same(gOpenTitles.last(), "Select a VTC file "),
         "AddSubject asks for a time course once");
  expect(same(gLog.last(), "Plugin> No VTC file loaded. Please retry."),
         "the cancelled dialog is logged");
  expect(!reportHas("(not set)") && reportHas("AddSubject"), "PPIReport of AddSubject");
}

int run(const char* libraryPath) {
  void* library = LoadLibraryA(libraryPath);
  if (library == nullptr) {
    say("cannot load %s: Windows error %lu", libraryPath, GetLastError());
    return 2;
  }
  using Factory = TYNKPluginInterface* (*)();
  auto createPlugin = reinterpret_cast<Factory>(GetProcAddress(library, "createPlugin"));
  if (createPlugin == nullptr) {
    say("FAILED: %s does not export createPlugin", libraryPath);
    return 1;
  }
  expect(watchFrees(library), "the library imports free from msvcrt (its operator delete)");

  const int pluginMade = gFreedCount;
  TYNKPluginInterface* plugin = createPlugin();
  expect(plugin != nullptr, "createPlugin makes an object");
  if (plugin == nullptr) return 1;
  if (!checkSlots(library, plugin)) {
    // Every further call would land in another function than the one named.
    say("stopped: the virtual table is not laid out as this host calls it");
    return 1;
  }

  expect(plugin->initPlugin(), "initPlugin returns true");
  expect(gCalls.count >= 3 && same(gCalls.text[0], "nkGetVersionOfTessarayNK") &&
             same(gCalls.text[1], "nkShowLogPane"),
         "initPlugin asks for the version, then shows the log pane");
  expect(same(gLog.last(), kStartLine), "initPlugin logs the start-up line");
  checkCommands(plugin);

  // An explicit destructor call (flags 0) destroys the object, releasing what
  // its members hold, but leaves its block to the caller.
  const int secondMade = gFreedCount;
  TYNKPluginInterface* second = createPlugin();
  expect(second != nullptr && second->initPlugin(), "a second object starts");
  if (second != nullptr) {
    runCommand(second, "Clear");
    const int before = gFreedCount;
    second->~TYNKPluginInterface();
    expect(gFreedCount > before, "the explicit destructor call releases the members' storage");
    expect(timesFreed(second, secondMade) == 0,
           "the explicit destructor call does not free the object");
    free(second);  // the same C runtime's heap as the library's operator new
  }

  // Slot 0 answers the object it was called for.
  const int thirdMade = gFreedCount;
  TYNKPluginInterface* third = createPlugin();
  if (third != nullptr) {
    using Destroy = void* (*)(TYNKPluginInterface*, unsigned int);
    auto destroy = reinterpret_cast<Destroy>(vtableOf(third)[0]);
    expect(destroy(third, 1) == third, "slot 0 returns the object");
    expect(timesFreed(third, thirdMade) == 1, "slot 0 with flags 1 frees the object");
  }

  expect(timesFreed(plugin, pluginMade) == 0, "the object is alive before delete");
  const int beforeDelete = gFreedCount;
  delete plugin;  // the host's delete: slot 0 with flags 1
  expect(timesFreed(plugin, beforeDelete) == 1, "delete frees the object once");

  FreeLibrary(library);
  if (gFailures == 0) say("Microsoft-ABI host: all expectations held");
  return gFailures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    say("usage: TessarayNK.exe <ppiplugin.dll>");
    return 2;
  }
  return run(argv[1]);
}

extern "C" void hostStart() {
  int argc = 0;
  char** argv = nullptr;
  char** environment = nullptr;
  StartupInfo startup{0};
  __getmainargs(&argc, &argv, &environment, 0, &startup);
  exit(main(argc, argv));
}
