#include "run/runrecords.h"

#include <cctype>
#include <ctime>
#include <utility>

#include "common/checksum.h"
#include "common/filelayer.h"
#include "common/version.h"
#include "formats/sdmfile.h"
#include "host/hostapi.h"

namespace ppi::analysis {
namespace {

constexpr const char* kReportName = "PPI_report";

bool endsWithSdm(std::string_view path) {
  if (path.size() < 4) return false;
  const std::string_view tail = path.substr(path.size() - 4);
  return tail[0] == '.' && std::tolower(static_cast<unsigned char>(tail[1])) == 's' &&
         std::tolower(static_cast<unsigned char>(tail[2])) == 'd' &&
         std::tolower(static_cast<unsigned char>(tail[3])) == 'm';
}

}  // namespace

SettingsRecord settingsRecord(const RunSettings& run, const SubjectSettings& subject) {
  SettingsRecord record;
  record.approach = subject.generalized() ? Approach::generalized : Approach::standard;
  record.baseline = subject.baseline;
  if (subject.generalized()) record.modelledConditions = run.modelledConditions;
  record.conditionEntries = subject.conditionEntries;
  record.label = run.labelFlag ? run.labelText : std::string();
  record.multiStudy = run.mdmMode;
  record.multiStudyPath = run.mdmMode ? run.mdmPath.str() : std::string();
  record.motionMerge = run.motionFlag == 1;
  record.zTransform = run.zFlag != 0;
  record.motionModel = run.motionModel.expansion;
  record.censorFD = run.motionModel.censorFD;
  record.method = run.method;
  return record;
}

std::string recordPathFor(std::string_view designPath) {
  std::string path(designPath);
  if (endsWithSdm(path)) path.resize(path.size() - 4);
  return path + ".json";
}

std::string folderOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

// The first report name whose summary and folder of subject pages are both
// free: a report never replaces an earlier one, and its folder holds this
// run's pages only.
std::string freeReportStem(const std::string& folder) {
  std::string stem = folder + kReportName;
  for (int n = 2; pathExists(stem + ".html") || pathExists(stem); ++n) {
    stem = folder + kReportName + "_" + std::to_string(n);
  }
  return stem;
}

PluginIdentity runningPlugin() {
  int major = 0, minor = 0, revision = 0;
  host::getVersion(major, minor, revision);
  PluginIdentity plugin;
  plugin.name = kPluginShortName;
  plugin.version = kPluginVersion;
  plugin.hostVersion =
      std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(revision);
  return plugin;
}

RunRecorder::RunRecorder(model::PluginState& state, const RunSettings& settings)
    : state_(state), settings_(settings) {
  active_ = host::getIntParameter("noReport") != 1;
  if (!active_) return;
  plugin_ = runningPlugin();
  started_ = static_cast<std::int64_t>(std::time(nullptr));
}

RunRecorder::~RunRecorder() = default;

void RunRecorder::beginSubject(const model::Subject& subject) {
  if (!active_) return;
  subject_ = &subject;
  problemsBefore_ = state_.report.problems().size();
  input_ = ProvenanceInput();
  hostPredictors_.clear();
  plan_ = DesignPlan();
  boxCars_.clear();
  neural_.clear();
  reconvolved_.clear();

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

void RunRecorder::noteFactorCentre(FactorCentre centre) {
  if (!active_ || subject_ == nullptr) return;
  input_.deconvolution.factorCentre = centre;
}

void RunRecorder::noteDesign(const SubjectSettings& settings, const DesignPlan& plan,
                             const std::vector<Predictor>& predictors, const DesignStats& stats) {
  if (!active_ || subject_ == nullptr) return;
  input_.settings = settingsRecord(settings_, settings);
  if (!haveRunSettings_) {
    runSettings_ = input_.settings;
    haveRunSettings_ = true;
  }
  input_.protocol.conditions = plan.conditions;
  plan_ = plan;
  hostPredictors_ = predictors;
  hostStats_ = stats;
}

std::vector<Finding> RunRecorder::subjectFindings() const {
  const std::vector<Finding>& problems = state_.report.problems();
  return std::vector<Finding>(problems.begin() + static_cast<std::ptrdiff_t>(problemsBefore_),
                              problems.end());
}

void RunRecorder::warn(const std::string& where, const std::string& what) {
  host::logLine("Plugin> %s: %s", where.c_str(), what.c_str());
  state_.report.warning(where, what, "The design matrices are saved all the same; only a new run writes this file.");
}

void RunRecorder::writeRecord(const std::string& designPath, const DesignStats& stats,
                              const MotionInput& motion) {
  input_.plugin = plugin_;
  input_.createdUtc = started_;
  input_.motion = motion;
  input_.design = stats;
  input_.findings = subjectFindings();
  input_.warnings.clear();
  for (const Finding& finding : input_.findings) {
    input_.warnings.push_back(Report::problemLine(finding));
  }
  const std::string path = recordPathFor(designPath);
  const FileResult written = replaceFile(path, provenanceJson(input_), TextMode::binary);
  if (!written.ok()) warn("record " + fileNameOf(path), written.reason());
}

void RunRecorder::recordSaved(const PathText& savedPath) {
  if (!active_ || subject_ == nullptr) return;
  if (firstSaved_.empty()) firstSaved_ = savedPath.str();
  writeRecord(savedPath.str(), hostStats_, MotionInput());
  subjects_.push_back(subjectReport(savedPath.str()));
}

SubjectReport RunRecorder::subjectReport(const std::string& designFile) const {
  SubjectReport report;
  report.timeCourse = input_.timeCourse.path;
  report.regionFile = input_.region.file;
  report.regionName = input_.region.name;
  report.voxelsListed = input_.region.voxelsListed;
  report.voxelsInside = input_.region.voxelsInside;
  report.designFile = designFile;
  report.predictors = hostPredictors_;
  report.stats = hostStats_;
  report.conditions = input_.protocol.conditions;
  report.boxCars = boxCars_;
  report.findings = subjectFindings();
  report.eigenvariateShare = input_.signal.eigenvariateShare;
  report.deconvolution = input_.deconvolution;
  report.neuralSignal = neural_;
  report.reconvolved = reconvolved_;
  return report;
}

void RunRecorder::recordNotSaved() {
  if (!active_ || subject_ == nullptr) return;
  subjects_.push_back(subjectReport(std::string()));
}

void RunRecorder::recordMerged(const PathText& mergedPath, const std::string& motionPath,
                               const numerics::MotionSummary* summary) {
  if (!active_ || subject_ == nullptr) return;
  const confounds::DesignMatrixRead read = confounds::readDesignMatrixFile(mergedPath.str());
  if (!read.complete) {
    warn("record of " + fileNameOf(mergedPath.view()),
         "the merged design matrix could not be read back: " + read.problem);
    return;
  }
  const std::vector<PredictorRole> roles = plan_.rolesOf(read.design.names);
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
  if (summary != nullptr) {
    motion.meanFD = summary->meanFD;
    motion.maxFD = summary->maxFD;
    motion.censored = summary->censored;
  }
  const DesignStats stats = computeDesignStats(predictors);
  writeRecord(mergedPath.str(), stats, motion);

  if (!subjects_.empty()) {
    SubjectReport& report = subjects_.back();
    report.designFile = mergedPath.str();
    report.predictors = std::move(predictors);
    report.stats = stats;
    report.findings = input_.findings;
    if (summary != nullptr) {
      report.motion.known = true;
      report.motion.displacement = summary->displacement;
      report.motion.meanFD = summary->meanFD;
      report.motion.maxFD = summary->maxFD;
      report.motion.censored = summary->censored;
      report.motion.censorFD = settings_.motionModel.censorFD;
    }
  }
}

void RunRecorder::finishRun(std::size_t stoppedAt, const std::vector<std::string>& notListed,
                            const std::string& stopReason) {
  if (!active_) return;
  QcReportInput report;
  report.plugin = plugin_;
  report.dateUtc = started_;
  report.settings = haveRunSettings_ ? runSettings_ : settingsRecord(settings_, SubjectSettings());
  report.subjectsListed = state_.subjectCount();
  report.end.completed = stoppedAt == 0;
  report.end.stoppedAtSubject = static_cast<std::int32_t>(stoppedAt);
  report.end.notListed = notListed;
  if (stoppedAt != 0) report.end.reason = stopReason;
  // A subject that stopped the run after its design was saved has no design
  // that stands for it.
  if (stoppedAt != 0 && subjects_.size() >= stoppedAt) subjects_.resize(stoppedAt - 1);
  report.subjects = subjects_;

  const std::string folder = settings_.mdmMode      ? folderOf(settings_.mdmPath.view())
                             : !firstSaved_.empty() ? folderOf(firstSaved_)
                                                    : std::string();
  // The subject pages first, each written whole; the summary, which links
  // only to the pages written, last.
  const std::string stem = freeReportStem(folder);
  const std::string path = stem + ".html";
  QcReportLinks links;
  std::vector<std::string> pages;
  links.written.assign(report.subjects.size(), false);
  if (!report.subjects.empty()) {
    const FileResult created = createFolder(stem);
    if (created.ok()) {
      links.folder = fileNameOf(stem);
      std::size_t failed = 0;
      std::string firstFailure;
      for (std::size_t s = 0; s < report.subjects.size(); ++s) {
        const std::string pagePath = stem + "/" + subjectPageName(s + 1);
        const FileResult page = replaceFile(
            pagePath, qcSubjectHtml(report, s, fileNameOf(path)), TextMode::binary);
        links.written[s] = page.ok();
        if (page.ok()) pages.push_back(pagePath);
        if (!page.ok() && failed++ == 0) firstFailure = page.reason();
      }
      if (failed > 0) {
        warn("QC report " + fileNameOf(path),
             counted(failed, "subject page") + " not written (" + firstFailure + ")");
      }
    } else {
      warn("QC report " + fileNameOf(path), created.reason());
    }
  }
  const FileResult written = replaceFile(path, qcSummaryHtml(report, links), TextMode::binary);
  if (!written.ok()) {
    warn("QC report " + fileNameOf(path), written.reason());
    host::setStringParameter("PPIReportFile", "");
    return;
  }
  reportPath_ = path;
  reportPages_ = std::move(pages);
  host::setStringParameter("PPIReportFile", path.c_str());
}

}  // namespace ppi::analysis
