#include "analysis/designmatrix.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "analysis/regressors.h"
#include "commands/paths.h"
#include "confounds/mocohandover.h"
#include "host/hostapi.h"

namespace ppi {
namespace {

constexpr const char* kAborted = "Prepare PPI Plugin aborted.";

// Paths are compared without regard to letter case: on the workstation's file
// system Run1.sdm and run1.sdm are one file.
bool samePath(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool savedBefore(const PathText& path, const std::vector<PathText>& savedThisRun) {
  return std::any_of(savedThisRun.begin(), savedThisRun.end(),
                     [&](const PathText& saved) { return samePath(saved.view(), path.view()); });
}

// The path beside the multi-study file. A name that an earlier subject of this
// run already saved to gets "_2", "_3", … so that no design matrix of the run
// is overwritten.
bool multiStudyPath(const RunSettings& settings, const DefaultNameText& defaultName,
                    const std::vector<PathText>& savedThisRun, PathText& path) {
  const std::string folder = splitPath(settings.mdmPath.view()).directory;
  bool fits = path.format("%s/%s.sdm", folder.c_str(), defaultName.c_str());
  for (int copy = 2; fits && savedBefore(path, savedThisRun); ++copy) {
    fits = path.format("%s/%s_%d.sdm", folder.c_str(), defaultName.c_str(), copy);
    if (fits && !savedBefore(path, savedThisRun)) {
      host::logLine(
          "Plugin> A design matrix of this run is already saved as %s/%s.sdm; this one is saved "
          "as %s",
          folder.c_str(), defaultName.c_str(), path.c_str());
    }
  }
  if (!fits) {
    host::logLine("Plugin> The path %s... would be longer than %zu characters; %s", path.c_str(),
                  kPathLimit, kAborted);
  }
  return fits;
}

// Chooses the path (dialog, or the multi-study folder) and has the host save.
bool chooseAndSave(const RunSettings& settings, const DefaultNameText& defaultName,
                   const std::vector<PathText>& savedThisRun, PathText& savedPath) {
  if (settings.mdmMode) {
    if (!multiStudyPath(settings, defaultName, savedThisRun, savedPath)) return false;
  } else {
    std::string chosen;
    if (!host::getSaveFileName("Select a file to save the design matrix (.*SDM) ",
                               defaultName.c_str(), "*.sdm", chosen)) {
      host::logLine("PPI Plugin> No SDM file name selected. %s", kAborted);
      return false;
    }
    if (!savedPath.assign(chosen)) {
      host::logLine("Plugin> The chosen path %s is longer than %zu characters; %s", chosen.c_str(),
                    kPathLimit, kAborted);
      return false;
    }
  }
  // A file already at the path (an earlier run's, say) goes first: the host
  // replaces it anyway, and left in place it would pass for this subject's
  // design matrix when the host writes nothing.
  std::error_code error;
  std::filesystem::remove(savedPath.c_str(), error);
  if (error) {
    host::logLine("Plugin> The file %s cannot be replaced; %s", savedPath.c_str(), kAborted);
    return false;
  }
  host::saveSingleStudyGLMDesignMatrix(savedPath.c_str());

  const auto size = std::filesystem::file_size(savedPath.c_str(), error);
  if (error || size == 0) {
    host::logLine("Plugin> The design matrix was not saved to %s; %s", savedPath.c_str(), kAborted);
    return false;
  }
  return true;
}

// With the motion flag at 1, the subject's motion predictors are merged into a
// design matrix beside the saved one, whose path then replaces `savedPath`.
// False stops the run.
bool motionCorrectionStep(const RunSettings& settings, const std::string& vtcFolder,
                          PathText& savedPath) {
  if (settings.motionFlag != 1) return true;
  return handOverMoCo(savedPath, vtcFolder, settings.zFlag);
}

}  // namespace

std::string removeFirstOccurrence(std::string_view fileName, std::string_view extension) {
  std::string name(fileName);
  const std::size_t at = name.find(extension);
  if (at != std::string::npos) name.erase(at, extension.size());
  return name;
}

bool assembleAndSaveDesignMatrix(const SubjectRecord& subject, const SubjectVOIRecord& subjectVOI,
                                 const RegionTimeCourse& region, const RunSettings& settings,
                                 std::vector<PathText>& savedThisRun,
                                 std::vector<PathText>& savedDesignFiles) {
  host::clearDesignMatrix();
  const int baseline = host::getIntParameter("baseline");
  const int approach = host::getIntParameter("whichapproach");
  const std::string& label = settings.labelFlag ? settings.labelText : region.voiName;
  const int nrOfConditions = subject.protocol.nrOfConditions();

  const bool built =
      approach == 1
          ? buildGeneralizedRegressors(label.c_str(), nrOfConditions, baseline, region.values)
          : buildStandardRegressors(label.c_str(), nrOfConditions, region.values);
  if (!built) return false;

  PredictorName physiological;
  if (!formatPredictorName(physiological, "%s_predictor", label.c_str())) return false;
  host::addPredictor(physiological.c_str());
  float* values = predictorValues(physiological);
  if (values == nullptr) return false;
  std::copy(region.values.begin(), region.values.end(), values);

  PredictorName constant;
  constant.assign("Constant");
  host::addPredictor(constant.c_str());
  values = predictorValues(constant);
  if (values == nullptr) return false;
  std::fill(values, values + region.values.size(), 1.0f);

  const SplitPath vtc = splitPath(subject.header.vtcPath());
  const std::string vtcBase = removeFirstOccurrence(vtc.fileName, ".vtc");
  const std::string voiBase =
      removeFirstOccurrence(splitPath(subjectVOI.voiSet.voiPath()).fileName, ".voi");
  DefaultNameText defaultName;
  if (!defaultName.format("%sPPI_%s_%s", approach != 0 ? "gen" : "stand", vtcBase.c_str(),
                          settings.labelFlag ? settings.labelText.c_str() : voiBase.c_str())) {
    host::logLine("Plugin> The design matrix name %s... would be longer than %zu characters; %s",
                  defaultName.c_str(), kDefaultNameLimit, kAborted);
    return false;
  }

  PathText savedPath;
  if (!chooseAndSave(settings, defaultName, savedThisRun, savedPath)) return false;
  savedThisRun.push_back(savedPath);

  // With the motion flag at 1 the merged design matrix stands for the subject
  // from here on: its path replaces the saved one.
  if (!motionCorrectionStep(settings, vtc.directory, savedPath)) return false;
  // A merged file is this run's too: no later subject may be saved over it.
  if (!savedBefore(savedPath, savedThisRun)) savedThisRun.push_back(savedPath);

  host::logLine("Plugin> Design matrix saved as: ./%s",
                splitPath(savedPath.view()).fileName.c_str());
  savedDesignFiles.push_back(savedPath);
  host::updateActiveWindow();
  host::logText("Plugin> Construction of PPI regressors finished.");
  host::logText(" ");
  return true;
}

}  // namespace ppi
