#include "analysis/runrecords.h"

#include <cctype>
#include <ctime>
#include <utility>

#include "analysis/regressors.h"
#include "common/checksum.h"
#include "common/filelayer.h"
#include "common/version.h"
#include "confounds/sdmfile.h"
#include "host/hostapi.h"

namespace ppi::analysis {
namespace {

// The recorder of the run under way, for the regressor code's box-car reads.
RunRecorder* activeRecorder = nullptr;
// The box-cars read for the subject under way.
std::vector<ConditionBoxCar>* activeBoxCars = nullptr;
std::size_t activeVolumes = 0;

constexpr const char* kReportName = "PPI_report";

bool endsWithSdm(std::string_view path) {
  if (path.size() < 4) return false;
  const std::string_view tail = path.substr(path.size() - 4);
  return tail[0] == '.' && std::tolower(static_cast<unsigned char>(tail[1])) == 's' &&
         std::tolower(static_cast<unsigned char>(tail[2])) == 'd' &&
         std::tolower(static_cast<unsigned char>(tail[3])) == 'm';
}

std::vector<float> readHostValues(const char* name, std::size_t volumes) {
  const float* values = host::getPredictorByName(name);
  if (values == nullptr) return {};
  return std::vector<float>(values, values + volumes);
}

SettingsRecord settingsRecord(const RunSettings& run, const SubjectSettings& subject) {
  SettingsRecord record;
  record.approach = subject.generalized() ? Approach::generalized : Approach::standard;
  record.baseline = subject.baseline;
  record.conditionEntries = subject.conditionEntries;
  record.label = run.labelFlag ? run.labelText : std::string();
  record.multiStudy = run.mdmMode;
  record.multiStudyPath = run.mdmMode ? run.mdmPath.str() : std::string();
  record.motionMerge = run.motionFlag == 1;
  record.zTransform = run.zFlag != 0;
  record.method = run.method;
  return record;
}

}  // namespace

std::string recordPathFor(std::string_view designPath) {
  std::string path(designPath);
  if (endsWithSdm(path)) path.resize(path.size() - 4);
  return path + ".json";
}

std::string folderOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string freeReportPath(const std::string& folder) {
  std::string path = folder + kReportName + ".html";
  for (int n = 2; pathExists(path); ++n) {
    path = folder + kReportName + "_" + std::to_string(n) + ".html";
  }
  return path;
}

std::vector<PredictorRole> predictorRoles(const std::vector<std::string>& fileNames,
                                          const PredictorNames& added, bool generalized,
                                          std::size_t ppiTerms) {
  std::vector<PredictorRole> addedRoles;
  for (std::size_t i = 0; i < added.size(); ++i) {
    PredictorRole role = PredictorRole::other;
    const std::string& name = added[i];
    if (i + 2 == added.size()) {
      role = PredictorRole::regionSignal;  // "<label>_predictor", then "Constant"
    } else if (i + 1 == added.size()) {
      role = PredictorRole::other;
    } else if (generalized) {
      role = i < ppiTerms ? PredictorRole::ppiTerm : PredictorRole::task;
    } else if (i == 0) {
      role = PredictorRole::ppiTerm;
    } else if (name == "Complementary regressor") {
      role = PredictorRole::complementary;
    } else {
      role = PredictorRole::task;
    }
    addedRoles.push_back(role);
  }
  std::vector<PredictorRole> roles;
  std::vector<bool> used(added.size(), false);
  for (const std::string& name : fileNames) {
    PredictorRole role = PredictorRole::motion;
    for (std::size_t i = 0; i < added.size(); ++i) {
      if (!used[i] && added[i] == name) {
        used[i] = true;
        role = addedRoles[i];
        break;
      }
    }
    roles.push_back(role);
  }
  return roles;
}

std::vector<ConditionWeight> conditionWeights(const SubjectSettings& settings) {
  std::vector<ConditionWeight> conditions;
  for (std::size_t c = 0; c < settings.conditionNames.size(); ++c) {
    ConditionWeight condition;
    condition.name = settings.conditionNames[c];
    if (settings.generalized()) {
      const int baseline = settings.baseline < 0 ? 0 : settings.baseline;
      condition.named = true;
      const bool modelled = static_cast<int>(c) >= baseline;
      condition.entryText = modelled ? "modelled (generalized approach)" : "before the baseline";
      condition.weight = modelled ? 1 : 0;
    } else {
      for (const std::string& entry : settings.conditionEntries) {
        // An empty name would be found in every entry.
        if (!condition.name.empty() && entry.find(condition.name) != std::string::npos) {
          condition.named = true;
          condition.entryText = entry;
          const int weight = weightOfEntry(entry);
          condition.weight = weight == -2 ? 0 : weight;
          break;
        }
      }
    }
    conditions.push_back(std::move(condition));
  }
  return conditions;
}

RunRecorder::RunRecorder(model::PluginState& state, const RunSettings& settings)
    : state_(state), settings_(settings) {
  active_ = host::getIntParameter("noReport") != 1;
  if (!active_) return;
  int major = 0, minor = 0, revision = 0;
  host::getVersion(major, minor, revision);
  plugin_.name = kPluginShortName;
  plugin_.version = kPluginVersion;
  plugin_.hostVersion =
      std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(revision);
  started_ = static_cast<std::int64_t>(std::time(nullptr));
  activeRecorder = this;
}

RunRecorder::~RunRecorder() {
  if (activeRecorder == this) {
    activeRecorder = nullptr;
    activeBoxCars = nullptr;
  }
}

void RunRecorder::beginSubject(const model::Subject& subject) {
  if (!active_) return;
  subject_ = &subject;
  problemsBefore_ = state_.report.problems().size();
  input_ = ProvenanceInput();
  hostPredictors_.clear();
  added_.clear();
  boxCars_.clear();
  neural_.clear();
  reconvolved_.clear();
  activeBoxCars = &boxCars_;
  activeVolumes = static_cast<std::size_t>(subject.timeCourse.nrOfVolumes);

  const model::SubjectRecord& tc = subject.timeCourse;
  TimeCourseInput& timeCourse = input_.timeCourse;
  timeCourse.path = tc.timeCoursePath();
  timeCourse.xStart = tc.header.xStart();
  timeCourse.xEnd = tc.header.xEnd();
  timeCourse.yStart = tc.header.yStart();
  timeCourse.yEnd = tc.header.yEnd();
  timeCourse.zStart = tc.header.zStart();
  timeCourse.zEnd = tc.header.zEnd();
  timeCourse.resolution = tc.header.resolution();
  timeCourse.volumes = tc.nrOfVolumes;
  timeCourse.sampleType =
      tc.header.hasSixteenBitSamples() ? SampleType::int16 : SampleType::float32;
  input_.protocol.chosenPath = tc.protocolPath.str();
  input_.region.file = subject.region.regionFilePath();
  input_.region.index = subject.region.chosenVOI;
}

void RunRecorder::noteRegion(const RegionTimeCourse& region) {
  if (!active_ || subject_ == nullptr) return;
  // Taken here, where records are kept, not with every region time course.
  input_.timeCourse.checksum = checksum64(region.samples, region.sampleBytes);
  input_.region.name = region.voiName;
  input_.region.voxelsListed = region.voxelsListed;
  input_.region.voxelsInside = region.voxelsInside;
  input_.signal.mean = region.rawMean;
  input_.signal.standardDeviation = region.rawStandardDeviation;
  input_.signal.eigenvariateShare = region.eigenvariateShare;
}

void RunRecorder::noteDeconvolution(const DeconvolutionSummary& deconvolution,
                                    const std::vector<float>& neural,
                                    const std::vector<float>& reconvolved) {
  if (!active_ || subject_ == nullptr) return;
  input_.deconvolution = deconvolution;
  neural_ = neural;
  reconvolved_ = reconvolved;
}

void RunRecorder::noteDesign(const SubjectSettings& settings, const PredictorNames& names) {
  if (!active_ || subject_ == nullptr) return;
  activeBoxCars = nullptr;  // convolved from here on
  input_.settings = settingsRecord(settings_, settings);
  if (!haveRunSettings_) {
    runSettings_ = input_.settings;
    haveRunSettings_ = true;
  }
  input_.protocol.conditions = conditionWeights(settings);
  generalized_ = settings.generalized();
  const int baseline = settings.baseline < 0 ? 0 : settings.baseline;
  const int conditions = static_cast<int>(settings.conditionNames.size());
  ppiTerms_ = generalized_
                  ? static_cast<std::size_t>(conditions > baseline ? conditions - baseline : 0)
                  : 1;
  added_ = names;
  const std::vector<PredictorRole> roles = predictorRoles(names, names, generalized_, ppiTerms_);
  hostPredictors_.clear();
  for (std::size_t i = 0; i < names.size(); ++i) {
    hostPredictors_.push_back(
        {names[i], readHostValues(names[i].c_str(), activeVolumes), roles[i]});
  }
}

std::vector<std::string> RunRecorder::subjectWarnings() const {
  std::vector<std::string> warnings;
  const std::vector<Report::Problem>& problems = state_.report.problems();
  for (std::size_t p = problemsBefore_; p < problems.size(); ++p) {
    warnings.push_back(Report::problemLine(problems[p]));
  }
  return warnings;
}

void RunRecorder::warn(const std::string& where, const std::string& what) {
  host::logLine("Plugin> %s: %s", where.c_str(), what.c_str());
  state_.report.warning(where, what, "The design matrices are complete; write it again later.");
}

void RunRecorder::writeRecord(const std::string& designPath,
                              const std::vector<Predictor>& predictors, const MotionInput& motion) {
  input_.plugin = plugin_;
  input_.createdUtc = started_;
  input_.motion = motion;
  input_.design = computeDesignStats(predictors);
  input_.warnings = subjectWarnings();
  const std::string path = recordPathFor(designPath);
  const FileResult written = replaceFile(path, provenanceJson(input_), TextMode::binary);
  if (!written.ok()) warn("record " + fileNameOf(path), written.reason());
}

void RunRecorder::recordSaved(const PathText& savedPath) {
  if (!active_ || subject_ == nullptr) return;
  if (firstSaved_.empty()) firstSaved_ = savedPath.str();
  writeRecord(savedPath.str(), hostPredictors_, MotionInput());

  SubjectReport report;
  report.timeCourse = input_.timeCourse.path;
  report.regionFile = input_.region.file;
  report.regionName = input_.region.name;
  report.voxelsListed = input_.region.voxelsListed;
  report.voxelsInside = input_.region.voxelsInside;
  report.designFile = savedPath.str();
  report.predictors = hostPredictors_;
  report.stats = input_.design;
  report.conditions = input_.protocol.conditions;
  report.boxCars = boxCars_;
  report.warnings = input_.warnings;
  report.eigenvariateShare = input_.signal.eigenvariateShare;
  report.deconvolution = input_.deconvolution;
  report.neuralSignal = neural_;
  report.reconvolved = reconvolved_;
  subjects_.push_back(std::move(report));
}

void RunRecorder::recordMerged(const PathText& mergedPath, const std::string& motionPath) {
  if (!active_ || subject_ == nullptr) return;
  const confounds::DesignMatrixRead read = confounds::readDesignMatrixFile(mergedPath.str());
  if (!read.complete) {
    warn("record of " + fileNameOf(mergedPath.view()),
         "the merged design matrix could not be read back: " + read.problem);
    return;
  }
  const std::vector<PredictorRole> roles =
      predictorRoles(read.design.names, added_, generalized_, ppiTerms_);
  std::vector<Predictor> predictors;
  for (std::size_t i = 0; i < read.design.names.size() && i < read.design.columns.size(); ++i) {
    const std::vector<double>& column = read.design.columns[i];
    predictors.push_back(
        {read.design.names[i], std::vector<float>(column.begin(), column.end()), roles[i]});
  }
  MotionInput motion;
  motion.merged = true;
  motion.path = motionPath;
  std::string bytes;
  if (readFileBytes(motionPath, bytes).ok())
    motion.checksum = checksum64(bytes.data(), bytes.size());
  writeRecord(mergedPath.str(), predictors, motion);

  if (!subjects_.empty()) {
    SubjectReport& report = subjects_.back();
    report.designFile = mergedPath.str();
    report.predictors = std::move(predictors);
    report.stats = input_.design;
    report.warnings = input_.warnings;
  }
}

void RunRecorder::finishRun(std::size_t stoppedAt) {
  if (!active_) return;
  activeBoxCars = nullptr;
  QcReportInput report;
  report.plugin = plugin_;
  report.dateUtc = started_;
  report.settings = haveRunSettings_ ? runSettings_ : settingsRecord(settings_, SubjectSettings());
  report.subjectsListed = state_.subjectCount();
  report.end.completed = stoppedAt == 0;
  report.end.stoppedAtSubject = static_cast<std::int32_t>(stoppedAt);
  if (stoppedAt != 0) report.end.reason = state_.report.lastLogLine();
  // A subject that stopped the run after its design was saved has no design
  // that stands for it.
  if (stoppedAt != 0 && subjects_.size() >= stoppedAt) subjects_.resize(stoppedAt - 1);
  report.subjects = subjects_;

  const std::string folder = settings_.mdmMode      ? folderOf(settings_.mdmPath.view())
                             : !firstSaved_.empty() ? folderOf(firstSaved_)
                                                    : std::string();
  const std::string path = freeReportPath(folder);
  const FileResult written = replaceFile(path, qcReportHtml(report), TextMode::binary);
  if (!written.ok()) {
    warn("QC report " + fileNameOf(path), written.reason());
    host::setStringParameter("PPIReportFile", "");
    return;
  }
  host::setStringParameter("PPIReportFile", path.c_str());
}

void RunRecorder::noteWeightedBoxCars(const char* predictor, const SubjectSettings& settings,
                                      const std::vector<std::int32_t>& weights) {
  if (activeRecorder == nullptr || activeBoxCars == nullptr) return;
  const std::vector<float> values = readHostValues(predictor, activeVolumes);
  if (values.empty()) return;
  for (int sign : {1, -1}) {
    ConditionBoxCar boxCar;
    boxCar.weight = sign;
    for (std::size_t c = 0; c < weights.size() && c < settings.conditionNames.size(); ++c) {
      if (weights[c] != sign) continue;
      if (!boxCar.name.empty()) boxCar.name += ", ";
      boxCar.name += settings.conditionNames[c];
    }
    if (boxCar.name.empty()) continue;
    boxCar.values.reserve(values.size());
    for (float value : values) {
      boxCar.values.push_back(value * static_cast<float>(sign) > 0 ? static_cast<float>(sign)
                                                                   : 0.0f);
    }
    activeBoxCars->push_back(std::move(boxCar));
  }
}

void RunRecorder::noteConditionBoxCar(const char* predictor, const std::string& condition) {
  if (activeRecorder == nullptr || activeBoxCars == nullptr) return;
  std::vector<float> values = readHostValues(predictor, activeVolumes);
  if (values.empty()) return;
  activeBoxCars->push_back({condition, 1, std::move(values)});
}

}  // namespace ppi::analysis
