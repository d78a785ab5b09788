#include "standin/hostmodel.h"

#include <algorithm>
#include <cstring>

#include "host/hostrecords.h"
#include "standin/designfile.h"
#include "standin/hrf.h"

namespace standin {
namespace {

HostModel* gCurrent = nullptr;

std::string text(const char* value) { return value != nullptr ? std::string(value) : "(null)"; }

// Copies an answer into a plug-in buffer as the host does: at most 8191
// characters and a terminator.
void writeHostText(char* out, const std::string& value) {
  if (out == nullptr) return;
  std::size_t length = std::min(value.size(), kHostTextLimit);
  std::memcpy(out, value.data(), length);
  out[length] = '\0';
}

bool defaultDesignWriter(const std::string& path, const std::vector<Predictor>& design) {
  DesignMatrixFile file;
  file.hasConstant = !design.empty() && design.back().name == "Constant";
  file.firstConfound =
      file.hasConstant ? static_cast<int>(design.size()) : static_cast<int>(design.size()) + 1;
  for (std::size_t p = 0; p < design.size(); ++p) {
    bool constant = file.hasConstant && p + 1 == design.size();
    int shade = static_cast<int>((p * 67) % 256);
    file.colours.push_back(constant ? std::array<int, 3>{255, 255, 255}
                                    : std::array<int, 3>{shade, 255 - shade, (shade * 3) % 256});
    file.names.push_back(design[p].name);
    std::vector<float> values = design[p].values.values();
    file.columns.emplace_back(values.begin(), values.end());
  }
  return writeDesignMatrixFile(path, file);
}

}  // namespace

char HostModel::vmrDocument_ = 0;

HostModel::HostModel() : designMatrixWriter(&defaultDesignWriter) {}

void setCurrentHostModel(HostModel* model) { gCurrent = model; }
HostModel* currentHostModel() { return gCurrent; }

void HostModel::record(const char* function, std::vector<std::string> arguments) {
  calls.push_back(HostCall{function, std::move(arguments)});
}

std::vector<HostCall> HostModel::callsTo(const std::string& function) const {
  std::vector<HostCall> found;
  for (const HostCall& call : calls) {
    if (call.function == function) found.push_back(call);
  }
  return found;
}

bool HostModel::canariesIntact() const {
  if (!intSamples_.canariesIntact() || !floatSamples_.canariesIntact()) return false;
  for (const auto& entry : voxelArrays_) {
    if (!entry.second.canariesIntact()) return false;
  }
  for (const Predictor& p : design_) {
    if (!p.values.canariesIntact()) return false;
  }
  return true;
}

const Predictor* HostModel::predictor(const std::string& name) const {
  for (const Predictor& p : design_) {
    if (p.name == name) return &p;
  }
  return nullptr;
}

int HostModel::answerDialog(std::deque<DialogAnswer>& answers, const char* kind,
                            const std::string& prompt, char* result) {
  DialogAnswer answer{false, std::string()};
  if (!answers.empty()) {
    answer = answers.front();
    answers.pop_front();
  }
  if (answer.accepted) writeHostText(result, answer.text);
  if (onQuestion) onQuestion(kind, prompt, answer.accepted ? answer.text : "cancelled");
  return answer.accepted ? 1 : 0;
}

Predictor* HostModel::findPredictor(const std::string& name) {
  for (Predictor& p : design_) {
    if (p.name == name) return &p;
  }
  return nullptr;
}

void HostModel::nkGetVersionOfTessarayNK(int* major, int* minor, int* revision) {
  record(__func__, {});
  *major = version[0];
  *minor = version[1];
  *revision = version[2];
}

void HostModel::nkShowLogPane() { record(__func__, {}); }

void HostModel::nkLogText(const char* line) {
  record(__func__, {text(line)});
  log.push_back(text(line));
  if (onLog) onLog(log.back());
}

void HostModel::nkMessageBox(const char* message) {
  record(__func__, {text(message)});
  messageBoxes.push_back(text(message));
  if (onMessage) onMessage(messageBoxes.back());
}

int HostModel::nkYesNoMessageBox(const char* question) {
  record(__func__, {text(question)});
  bool yes = false;
  if (!yesNoAnswers.empty()) {
    yes = yesNoAnswers.front();
    yesNoAnswers.pop_front();
  }
  if (onQuestion) onQuestion("yes/no", text(question), yes ? "yes" : "no");
  return yes ? 1 : 0;
}

int HostModel::nkGetIntegerInput(const char* prompt, int defaultValue, int minValue, int maxValue) {
  record(__func__, {text(prompt), std::to_string(defaultValue), std::to_string(minValue),
                    std::to_string(maxValue)});
  int answer = -1;
  if (!integerAnswers.empty()) {
    answer = integerAnswers.front();
    integerAnswers.pop_front();
  }
  if (onQuestion) onQuestion("integer", text(prompt), std::to_string(answer));
  return answer;
}

int HostModel::nkGetTextInput(const char* prompt, const char* defaultText, char* result) {
  record(__func__, {text(prompt), text(defaultText)});
  return answerDialog(textAnswers, "text", text(prompt), result);
}

int HostModel::nkGetOpenFileName(const char* title, const char* start, const char* filter,
                                 char* result) {
  record(__func__, {text(title), text(start), text(filter)});
  return answerDialog(openFileAnswers, "open file",
                      text(title) + " [" + text(start) + ", " + text(filter) + "]", result);
}

int HostModel::nkGetSaveFileName(const char* title, const char* start, const char* filter,
                                 char* result) {
  record(__func__, {text(title), text(start), text(filter)});
  return answerDialog(saveFileAnswers, "save file",
                      text(title) + " [" + text(start) + ", " + text(filter) + "]", result);
}

void HostModel::nkGetStringParameter(const char* name, char* value) {
  record(__func__, {text(name)});
  auto found = stringParameters.find(text(name));
  writeHostText(value, found != stringParameters.end() ? found->second : std::string());
}

void HostModel::nkSetStringParameter(const char* name, const char* value) {
  record(__func__, {text(name), text(value)});
  stringParameters[text(name)] = text(value);
}

int HostModel::nkGetIntParameter(const char* name) {
  record(__func__, {text(name)});
  auto found = intParameters.find(text(name));
  return found != intParameters.end() ? found->second : 0;
}

void HostModel::nkSetIntParameter(const char* name, int value) {
  record(__func__, {text(name), std::to_string(value)});
  intParameters[text(name)] = value;
}

void* HostModel::nkGetCurrentVMR(int* dimX, int* dimY, int* dimZ) {
  record(__func__, {});
  if (!vmrOpen) return nullptr;
  if (dimX != nullptr) *dimX = 256;
  if (dimY != nullptr) *dimY = 256;
  if (dimZ != nullptr) *dimZ = 256;
  return &vmrDocument_;
}

void HostModel::nkUpdateActiveWindow() { record(__func__, {}); }

int HostModel::nkLinkVTCToCurrentVMR(const char* path, int flag) {
  record(__func__, {text(path), std::to_string(flag)});
  if (!vmrOpen || path == nullptr) return 0;
  std::optional<TimeCourse> loaded;
  auto found = timeCourses.find(path);
  if (found != timeCourses.end()) {
    loaded = found->second;
  } else if (timeCourseLoader) {
    loaded = timeCourseLoader(path);
  }
  if (!loaded) return 0;
  linked_ = std::move(loaded);
  linkedPath_ = path;
  intSamples_.assign(linked_->intSamples);
  floatSamples_.assign(linked_->floatSamples);
  // A time course that comes with a protocol brings it along.
  if (!linked_->linkedProtocol.empty()) {
    auto protocol = protocols.find(linked_->linkedProtocol);
    if (protocol != protocols.end()) {
      protocol_ = protocol->second;
    } else {
      // A linked protocol that cannot be read leaves the time course without one.
      protocol_.reset();
      if (protocolLoader) protocol_ = protocolLoader(linked_->linkedProtocol, &*linked_);
    }
  }
  return 1;
}

int HostModel::nkGetHeaderOfVTCOfCurrentVMR(void* header) {
  record(__func__, {});
  if (!linked_ || header == nullptr) return 0;
  ppi::host::VTCHeaderRecord record;
  std::memcpy(record.bytes, header, sizeof record.bytes);
  using R = ppi::host::VTCHeaderRecord;
  record.setIntAt(R::kNrOfVolumes, linked_->nrOfVolumes);
  record.setIntAt(R::kXStart, linked_->xStart);
  record.setIntAt(R::kXEnd, linked_->xEnd);
  record.setIntAt(R::kYStart, linked_->yStart);
  record.setIntAt(R::kYEnd, linked_->yEnd);
  record.setIntAt(R::kZStart, linked_->zStart);
  record.setIntAt(R::kZEnd, linked_->zEnd);
  record.setIntAt(R::kResolution, linked_->resolution);
  record.setIntAt(R::kDataType, linked_->dataType);
  record.setTextAt(R::kPath, R::kPathEnd, linkedPath_);
  record.setIntAt(R::kProtocolLinkCount, linked_->linkedProtocol.empty() ? 0 : 1);
  std::memcpy(header, record.bytes, sizeof record.bytes);
  return 1;
}

short* HostModel::nkGetVTCIntDataOfCurrentVMR() {
  record(__func__, {});
  if (!linked_ || linked_->dataType != 1) return nullptr;
  return intSamples_.data();
}

float* HostModel::nkGetVTCFloatDataOfCurrentVMR() {
  record(__func__, {});
  if (!linked_ || linked_->dataType == 1) return nullptr;
  return floatSamples_.data();
}

int HostModel::nkLoadProtocol(const char* path) {
  record(__func__, {text(path)});
  if (path == nullptr) return 0;
  auto found = protocols.find(path);
  if (found != protocols.end()) {
    protocol_ = found->second;
    return 1;
  }
  if (protocolLoader) {
    if (auto loaded = protocolLoader(path, linked_ ? &*linked_ : nullptr)) {
      protocol_ = std::move(loaded);
      return 1;
    }
  }
  return 0;
}

int HostModel::nkGetProtocol(void* protocol) {
  record(__func__, {});
  if (!protocol_ || protocol == nullptr) return 0;
  ppi::host::ProtocolRecord record;
  std::memcpy(record.bytes, protocol, sizeof record.bytes);
  record.setIntAt(ppi::host::ProtocolRecord::kNrOfConditions,
                  static_cast<std::int32_t>(protocol_->conditions.size()));
  std::memcpy(protocol, record.bytes, sizeof record.bytes);
  return 1;
}

int HostModel::nkGetProtocolCondition(int index, void* condition) {
  record(__func__, {std::to_string(index)});
  if (!protocol_ || condition == nullptr || index < 0 ||
      index >= static_cast<int>(protocol_->conditions.size())) {
    return 0;
  }
  ppi::host::ConditionRecord record;
  std::memcpy(record.bytes, condition, sizeof record.bytes);
  using R = ppi::host::ConditionRecord;
  record.setTextAt(R::kName, R::kNameEnd,
                   protocol_->conditions[static_cast<std::size_t>(index)].name);
  std::memcpy(condition, record.bytes, sizeof record.bytes);
  return 1;
}

void HostModel::nkClearDesignMatrix() {
  record(__func__, {});
  design_.clear();
}

void HostModel::nkAddPredictor(const char* name) {
  record(__func__, {text(name)});
  Predictor predictor;
  predictor.name = text(name);
  predictor.values.resize(linked_ ? static_cast<std::size_t>(std::max(linked_->nrOfVolumes, 0))
                                  : 0);
  design_.push_back(std::move(predictor));
}

void HostModel::nkSetPredictorValuesFromCondition(const char* name, int condition, float value) {
  record(__func__, {text(name), std::to_string(condition), std::to_string(value)});
  Predictor* predictor = findPredictor(text(name));
  if (predictor == nullptr || !protocol_ || condition < 0 ||
      condition >= static_cast<int>(protocol_->conditions.size())) {
    return;
  }
  for (const auto& interval :
       protocol_->conditions[static_cast<std::size_t>(condition)].intervals) {
    for (int volume = interval.first; volume <= interval.second; ++volume) {
      if (volume >= 1 && static_cast<std::size_t>(volume) <= predictor->values.size()) {
        predictor->values[static_cast<std::size_t>(volume - 1)] = value;
      }
    }
  }
}

void HostModel::nkApplyTwoGammaHRFToPredictorWithName(const char* name) {
  record(__func__, {text(name)});
  Predictor* predictor = findPredictor(text(name));
  if (predictor == nullptr) return;
  double repetitionTime = linked_ ? linked_->repetitionTimeMs : 2000.0;
  convolveCausal(predictor->values.data(), predictor->values.size(),
                 twoGammaKernel(repetitionTime));
}

float* HostModel::nkGetPredictorByName(const char* name) {
  record(__func__, {text(name)});
  Predictor* predictor = findPredictor(text(name));
  return predictor != nullptr ? predictor->values.data() : nullptr;
}

void HostModel::nkSaveSingleStudyGLMDesignMatrix(const char* path) {
  record(__func__, {text(path)});
  if (path == nullptr || !designMatrixWriter) return;
  if (designMatrixWriter(path, design_)) savedDesignMatrices.push_back(path);
}

int HostModel::nkLoadVOIs(const char* path) {
  record(__func__, {text(path)});
  if (path == nullptr) return 0;
  std::optional<RegionFile> loaded;
  auto found = regionFiles.find(path);
  if (found != regionFiles.end()) {
    loaded = found->second;
  } else if (regionFileLoader) {
    loaded = regionFileLoader(path, linked_ ? &*linked_ : nullptr);
  }
  if (!loaded) return 0;
  regions_ = std::move(loaded);
  regionPath_ = path;
  voxelArrays_.clear();
  return 1;
}

int HostModel::nkGetVOIs(void* voiSet) {
  record(__func__, {});
  if (!regions_ || voiSet == nullptr) return 0;
  ppi::host::VOISetRecord record;
  std::memcpy(record.bytes, voiSet, sizeof record.bytes);
  using R = ppi::host::VOISetRecord;
  record.setIntAt(R::kNrOfVOIs, static_cast<std::int32_t>(regions_->regions.size()));
  record.setTextAt(R::kPath, R::kPathEnd, regionPath_);
  record.setIntAt(R::kCoordinateSystem, regions_->coordinateSystem);
  std::memcpy(voiSet, record.bytes, sizeof record.bytes);
  return 1;
}

int* HostModel::nkGetVOI(int index, void* voi) {
  record(__func__, {std::to_string(index)});
  if (!regions_ || voi == nullptr || index < 0 ||
      index >= static_cast<int>(regions_->regions.size())) {
    return nullptr;
  }
  const Region& region = regions_->regions[static_cast<std::size_t>(index)];
  ppi::host::VOIRecord record;
  std::memcpy(record.bytes, voi, sizeof record.bytes);
  using R = ppi::host::VOIRecord;
  record.setIntAt(R::kNrOfVoxels, static_cast<std::int32_t>(region.voxels.size()));
  record.setTextAt(R::kName, R::kNameEnd, region.name);
  std::memcpy(voi, record.bytes, sizeof record.bytes);
  GuardedArray<std::int32_t>& voxels = voxelArrays_[index];
  voxels.resize(region.voxels.size() * 3);
  for (std::size_t v = 0; v < region.voxels.size(); ++v) {
    for (std::size_t c = 0; c < 3; ++c) voxels[v * 3 + c] = region.voxels[v][c];
  }
  static_assert(sizeof(int) == sizeof(std::int32_t), "32-bit coordinates");
  return reinterpret_cast<int*>(voxels.data());
}

}  // namespace standin
