// An in-process model of the host application: parameters, queued answers to
// dialogs and questions, the log pane, documents (time courses, protocols,
// regions) and the design matrix. The stand-in host application serves the
// host functions from it, and the tests drive the plug-in against it.
//
// Every call that reaches the model is recorded, so a test can check what the
// plug-in asked for and in which order.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/hostfunctions.h"
#include "standin/guardedarray.h"

namespace standin {

// A functional time course: a grid of cells, each with nrOfVolumes samples,
// stored cell after cell (x fastest, then y, then z), volumes of a cell together.
struct TimeCourse {
  std::int32_t nrOfVolumes = 0;
  std::int32_t xStart = 0, xEnd = 0, yStart = 0, yEnd = 0, zStart = 0, zEnd = 0;
  std::int32_t resolution = 1;
  std::int32_t dataType = 2;             // 1: 16-bit samples, otherwise float samples
  double repetitionTimeMs = 2000.0;      // time between volumes
  std::vector<std::int16_t> intSamples;  // when dataType is 1
  std::vector<float> floatSamples;       // otherwise
  std::string linkedProtocol;            // path of a protocol that comes with it, or empty
  // A NIfTI time course's voxel-to-world matrix (3 x 4, row after row, in mm),
  // by which a mask is checked to lie on the same grid; empty for the
  // project's own files.
  std::vector<double> voxelToWorld;

  std::int32_t dimX() const { return (xEnd - xStart) / resolution; }
  std::int32_t dimY() const { return (yEnd - yStart) / resolution; }
  std::int32_t dimZ() const { return (zEnd - zStart) / resolution; }
};

// A protocol condition: its name and its intervals, in volumes counted from 1,
// both ends included.
struct Condition {
  std::string name;
  std::vector<std::pair<int, int>> intervals;
};

struct Protocol {
  std::vector<Condition> conditions;
};

struct Region {
  std::string name;
  std::vector<std::array<std::int32_t, 3>> voxels;
};

struct RegionFile {
  std::int32_t coordinateSystem = 1;
  std::vector<Region> regions;
};

struct Predictor {
  std::string name;
  GuardedArray<float> values;
};

// One answer to a file dialog or a text question: accepted with a text, or cancelled.
struct DialogAnswer {
  bool accepted = true;
  std::string text;
};

// One call from the plug-in, with its arguments as texts.
struct HostCall {
  std::string function;
  std::vector<std::string> arguments;
};

class HostModel {
 public:
  HostModel();

  // --- set-up --------------------------------------------------------------
  std::array<int, 3> version{2, 8, 0};
  bool vmrOpen = true;
  std::map<std::string, int> intParameters;
  std::map<std::string, std::string> stringParameters;
  std::deque<DialogAnswer> openFileAnswers;  // one per nkGetOpenFileName; none left: cancel
  std::deque<DialogAnswer> saveFileAnswers;  // one per nkGetSaveFileName; none left: cancel
  std::deque<DialogAnswer> textAnswers;      // one per nkGetTextInput; none left: cancel
  std::deque<int> integerAnswers;            // one per nkGetIntegerInput; none left: -1
  std::deque<bool> yesNoAnswers;             // one per nkYesNoMessageBox; none left: no

  // Documents by path. When a path is not registered, the loaders are asked
  // (the stand-in application reads the files); a loader may be empty.
  std::map<std::string, TimeCourse> timeCourses;
  std::map<std::string, Protocol> protocols;
  std::map<std::string, RegionFile> regionFiles;
  std::function<std::optional<TimeCourse>(const std::string&)> timeCourseLoader;
  // The protocol and region loaders are also given the linked time course, or
  // null: an events file is converted in its volumes, a mask must lie on its grid.
  std::function<std::optional<Protocol>(const std::string&, const TimeCourse*)> protocolLoader;
  std::function<std::optional<RegionFile>(const std::string&, const TimeCourse*)> regionFileLoader;

  // Writes a design matrix; the default writes the design-matrix text format.
  std::function<bool(const std::string& path, const std::vector<Predictor>&)> designMatrixWriter;

  // Echo log lines and messages as they arrive (the stand-in application's pane).
  std::function<void(const std::string&)> onLog;
  std::function<void(const std::string&)> onMessage;
  // Echo every question and dialog with the answer it got: the kind ("yes/no",
  // "integer", "text", "open file", "save file"), the prompt or title, and
  // the answer ("cancelled" when none was given).
  std::function<void(const std::string& kind, const std::string& prompt, const std::string& answer)>
      onQuestion;

  // --- what happened -------------------------------------------------------
  std::vector<std::string> log;
  std::vector<std::string> messageBoxes;
  std::vector<HostCall> calls;
  std::vector<std::string> savedDesignMatrices;  // paths, in order of saving

  // Calls to one function, in order.
  std::vector<HostCall> callsTo(const std::string& function) const;
  // True while every array handed out still has its canaries.
  bool canariesIntact() const;

  // --- current documents ---------------------------------------------------
  const Protocol* currentProtocol() const { return protocol_ ? &*protocol_ : nullptr; }
  const std::vector<Predictor>& designMatrix() const { return design_; }
  const Predictor* predictor(const std::string& name) const;

  // --- the host functions --------------------------------------------------
  // One method for each function the plug-in calls, with its name and
  // signature (host/hostfunctions.h); the exported functions forward to the
  // current model (standin/hostexports.cpp).
#define STANDIN_HOST_METHOD(name, result, parameters, arguments) result name parameters;
#define STANDIN_NO_METHOD(name)
  PPI_HOST_FUNCTIONS(STANDIN_HOST_METHOD, STANDIN_NO_METHOD)
#undef STANDIN_HOST_METHOD
#undef STANDIN_NO_METHOD

 private:
  void record(const char* function, std::vector<std::string> arguments);
  Predictor* findPredictor(const std::string& name);
  // Takes the next answer (none left: cancelled), fills the result and echoes it.
  int answerDialog(std::deque<DialogAnswer>& answers, const char* kind, const std::string& prompt,
                   char* result);

  std::optional<TimeCourse> linked_;
  std::string linkedPath_;
  GuardedArray<std::int16_t> intSamples_;
  GuardedArray<float> floatSamples_;
  std::optional<Protocol> protocol_;
  std::optional<RegionFile> regions_;
  std::string regionPath_;
  std::map<int, GuardedArray<std::int32_t>> voxelArrays_;
  std::vector<Predictor> design_;
  static char vmrDocument_;
};

// The host writes at most this many characters (and a terminator) into a text
// buffer the plug-in hands it.
constexpr std::size_t kHostTextLimit = 8191;

// The model the exported host functions serve; null serves nothing.
void setCurrentHostModel(HostModel* model);
HostModel* currentHostModel();

}  // namespace standin
