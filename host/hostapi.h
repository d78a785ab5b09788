// Typed host operations: the only code that calls through the host function
// table. Each checks its entry first; an operation whose entry is empty throws
// MissingHostFunction (logText alone does nothing instead, having nowhere to
// report). Commands check up front with requireHostFunctions, so that a missing
// entry refuses a command before it changes anything.
//
// Every text the host writes back (dialogs, text input, string parameters) gets
// a buffer of kHostTextCapacity bytes; what comes back is returned as a string,
// and callers apply their own limits to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>

#include "common/boundedtext.h"
#include "common/logsink.h"
#include "common/outcome.h"
#include "host/hostrecords.h"
#include "host/hosttable.h"

namespace ppi::host {

constexpr std::size_t kHostTextCapacity = 8192;

class MissingHostFunction : public std::runtime_error {
 public:
  explicit MissingHostFunction(HostFunction function);
  HostFunction function;
};

bool hasHostFunction(HostFunction function);

// Ok when every listed entry is bound. Otherwise logs
// "Plugin> The host does not offer <name>; command refused." for the first
// missing one (when the log itself is bound) and fails with that reason.
Outcome requireHostFunctions(std::initializer_list<HostFunction> functions);

// Host, log and dialogs.
void getVersion(int& major, int& minor, int& revision);
void showLogPane();
void logText(const char* text);
// Formats a log line of at most kMessageLimit characters (cut at the end).
void logLine(const char* format, ...) PPI_PRINTF_FORMAT(1, 2);
// Formats a log line of at most `limit` characters (cut at the end).
void logLineLimited(std::size_t limit, const char* format, ...) PPI_PRINTF_FORMAT(2, 3);
// A step's failure: logs `prefix` and the formatted reason as one line (at
// most kMessageLimit characters, cut at the end) and returns the reason
// without the prefix, for the caller to place in the report.
Failure logFailure(const char* prefix, const char* format, ...) PPI_PRINTF_FORMAT(2, 3);
void messageBox(const char* text);

// The host's log pane as a sink, for code that logs through one.
class HostLog final : public LogSink {
 public:
  void text(const char* line) override { logText(line); }
};
bool askYesNo(const char* text);
int getIntegerInput(const char* prompt, int defaultValue, int minValue, int maxValue);
// The text the host left in the result, whatever the answer.
std::string getTextInput(const char* prompt, const char* defaultText, bool* answered = nullptr);
// True when a file was chosen; its path in `path`.
bool getOpenFileName(const char* title, const char* start, const char* filter, std::string& path);
bool getSaveFileName(const char* title, const char* start, const char* filter, std::string& path);

// Parameters.
std::string getStringParameter(const char* name);
void setStringParameter(const char* name, const char* value);
int getIntParameter(const char* name);
void setIntParameter(const char* name, int value);

// Documents.
bool hasCurrentVMR();
void updateActiveWindow();
bool linkVTCToCurrentVMR(const char* path);
bool getHeaderOfVTCOfCurrentVMR(VTCHeaderRecord& header);
const std::int16_t* getVTCIntData();
const float* getVTCFloatData();

// Protocols.
bool loadProtocol(const char* path);
bool getProtocol(ProtocolRecord& protocol);
// False when the host has no such condition.
bool getProtocolCondition(int index, ConditionRecord& condition);

// Design matrix.
void clearDesignMatrix();
void addPredictor(const char* name);
void setPredictorValuesFromCondition(const char* name, int condition, float value);
void applyTwoGammaHRFToPredictorWithName(const char* name);
float* getPredictorByName(const char* name);
void saveSingleStudyGLMDesignMatrix(const char* path);

// Regions.
bool loadVOIs(const char* path);
bool getVOIs(VOISetRecord& voiSet);
// The region's voxels: nrOfVoxels triples of coordinates.
const std::int32_t* getVOI(int index, VOIRecord& voi);

}  // namespace ppi::host
