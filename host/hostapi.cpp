#include "host/hostapi.h"

#include <cstdarg>
#include <vector>

namespace ppi::host {
namespace {

template <HostFunction F, typename Signature>
Signature* entry() {
  RawFunction raw = hostEntry(F);
  if (raw == nullptr) throw MissingHostFunction(F);
  return reinterpret_cast<Signature*>(raw);
}

#define PPI_HOST(name) (entry<HostFunction::name, signature::name>())

// A text buffer for the host to write into, always terminated on return.
class HostTextBuffer {
 public:
  HostTextBuffer() : chars_(kHostTextCapacity, '\0') {}
  char* data() { return chars_.data(); }
  std::string take() {
    chars_.back() = '\0';
    return std::string(chars_.data());
  }

 private:
  std::vector<char> chars_;
};

}  // namespace

MissingHostFunction::MissingHostFunction(HostFunction missing)
    : std::runtime_error(std::string("host function missing: ") + hostFunctionName(missing)),
      function(missing) {}

bool hasHostFunction(HostFunction function) { return hostEntry(function) != nullptr; }

Outcome requireHostFunctions(std::initializer_list<HostFunction> functions) {
  for (HostFunction function : functions) {
    if (!hasHostFunction(function)) {
      return logFailure("Plugin> ", "The host does not offer %s; command refused.",
                        hostFunctionName(function));
    }
  }
  return {};
}

void getVersion(int& major, int& minor, int& revision) {
  PPI_HOST(nkGetVersionOfTessarayNK)(&major, &minor, &revision);
}

void showLogPane() { PPI_HOST(nkShowLogPane)(); }

void logText(const char* text) {
  if (hasHostFunction(HostFunction::nkLogText)) PPI_HOST(nkLogText)(text);
}

void logLine(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  HostLog().lineV(kMessageLimit, format, arguments);
  va_end(arguments);
}

void logLineLimited(std::size_t limit, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  HostLog().lineV(limit, format, arguments);
  va_end(arguments);
}

Failure logFailure(const char* prefix, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  Failure failure = HostLog().failedV(prefix, format, arguments);
  va_end(arguments);
  return failure;
}

void messageBox(const char* text) { PPI_HOST(nkMessageBox)(text); }

bool askYesNo(const char* text) { return PPI_HOST(nkYesNoMessageBox)(text) != 0; }

int getIntegerInput(const char* prompt, int defaultValue, int minValue, int maxValue) {
  return PPI_HOST(nkGetIntegerInput)(prompt, defaultValue, minValue, maxValue);
}

std::string getTextInput(const char* prompt, const char* defaultText, bool* answered) {
  HostTextBuffer buffer;
  int result = PPI_HOST(nkGetTextInput)(prompt, defaultText, buffer.data());
  if (answered != nullptr) *answered = result != 0;
  return buffer.take();
}

bool getOpenFileName(const char* title, const char* start, const char* filter, std::string& path) {
  HostTextBuffer buffer;
  bool chosen = PPI_HOST(nkGetOpenFileName)(title, start, filter, buffer.data()) != 0;
  path = buffer.take();
  return chosen;
}

bool getSaveFileName(const char* title, const char* start, const char* filter, std::string& path) {
  HostTextBuffer buffer;
  bool chosen = PPI_HOST(nkGetSaveFileName)(title, start, filter, buffer.data()) != 0;
  path = buffer.take();
  return chosen;
}

std::string getStringParameter(const char* name) {
  HostTextBuffer buffer;
  PPI_HOST(nkGetStringParameter)(name, buffer.data());
  return buffer.take();
}

void setStringParameter(const char* name, const char* value) {
  PPI_HOST(nkSetStringParameter)(name, value);
}

int getIntParameter(const char* name) { return PPI_HOST(nkGetIntParameter)(name); }

void setIntParameter(const char* name, int value) { PPI_HOST(nkSetIntParameter)(name, value); }

bool hasCurrentVMR() {
  int dimX = 0, dimY = 0, dimZ = 0;
  return PPI_HOST(nkGetCurrentVMR)(&dimX, &dimY, &dimZ) != nullptr;
}

void updateActiveWindow() { PPI_HOST(nkUpdateActiveWindow)(); }

bool linkVTCToCurrentVMR(const char* path) { return PPI_HOST(nkLinkVTCToCurrentVMR)(path, 1) != 0; }

bool getHeaderOfVTCOfCurrentVMR(VTCHeaderRecord& header) {
  return PPI_HOST(nkGetHeaderOfVTCOfCurrentVMR)(header.data()) != 0;
}

const std::int16_t* getVTCIntData() {
  static_assert(sizeof(short) == sizeof(std::int16_t), "16-bit samples");
  return PPI_HOST(nkGetVTCIntDataOfCurrentVMR)();
}

const float* getVTCFloatData() { return PPI_HOST(nkGetVTCFloatDataOfCurrentVMR)(); }

bool loadProtocol(const char* path) { return PPI_HOST(nkLoadProtocol)(path) != 0; }

bool getProtocol(ProtocolRecord& protocol) { return PPI_HOST(nkGetProtocol)(protocol.data()) != 0; }

bool getProtocolCondition(int index, ConditionRecord& condition) {
  return PPI_HOST(nkGetProtocolCondition)(index, condition.data()) != 0;
}

void clearDesignMatrix() { PPI_HOST(nkClearDesignMatrix)(); }

void addPredictor(const char* name) { PPI_HOST(nkAddPredictor)(name); }

void setPredictorValuesFromCondition(const char* name, int condition, float value) {
  PPI_HOST(nkSetPredictorValuesFromCondition)(name, condition, value);
}

void applyTwoGammaHRFToPredictorWithName(const char* name) {
  PPI_HOST(nkApplyTwoGammaHRFToPredictorWithName)(name);
}

float* getPredictorByName(const char* name) { return PPI_HOST(nkGetPredictorByName)(name); }

void saveSingleStudyGLMDesignMatrix(const char* path) {
  PPI_HOST(nkSaveSingleStudyGLMDesignMatrix)(path);
}

bool loadVOIs(const char* path) { return PPI_HOST(nkLoadVOIs)(path) != 0; }

bool getVOIs(VOISetRecord& voiSet) { return PPI_HOST(nkGetVOIs)(voiSet.data()) != 0; }

const std::int32_t* getVOI(int index, VOIRecord& voi) {
  static_assert(sizeof(int) == sizeof(std::int32_t), "32-bit coordinates");
  return reinterpret_cast<const std::int32_t*>(PPI_HOST(nkGetVOI)(index, voi.data()));
}

}  // namespace ppi::host
