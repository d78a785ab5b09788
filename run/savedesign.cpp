#include "run/savedesign.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "common/filelayer.h"
#include "common/paths.h"
#include "formats/sdmfile.h"
#include "host/hostapi.h"
#include "run/runrecords.h"

namespace ppi::analysis {
namespace {

constexpr const char* kAborted = "Prepare PPI Plugin aborted.";

bool samePath(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The path beside the multi-study file. A name that an earlier subject of this
// run already saved to gets "_2", "_3", … so that no design matrix of the run
// is overwritten.
Outcome multiStudyPath(const RunSettings& settings, const DefaultNameText& defaultName,
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
    return host::logFailure("Plugin> ", "The path %s... would be longer than %zu characters; %s",
                            path.c_str(), kPathLimit, kAborted);
  }
  return {};
}

// The name the save dialog proposes: the default name, or, when an earlier
// subject of this run saved a file of that name (in any folder), the same
// name with "_2", "_3", … as beside the multi-study file.
Outcome proposedName(const DefaultNameText& defaultName, const std::vector<PathText>& savedThisRun,
                     DefaultNameText& proposed) {
  auto taken = [&](const DefaultNameText& name) {
    const std::string file = std::string(name.view()) + ".sdm";
    return std::any_of(savedThisRun.begin(), savedThisRun.end(), [&](const PathText& saved) {
      return samePath(splitPath(saved.view()).fileName, file);
    });
  };
  bool fits = proposed.assign(defaultName.view());
  for (int copy = 2; fits && taken(proposed); ++copy) {
    fits = proposed.format("%s_%d", defaultName.c_str(), copy);
    if (fits && !taken(proposed)) {
      host::logLine(
          "Plugin> A design matrix of this run is already saved as %s.sdm; this one is proposed "
          "as %s.sdm",
          defaultName.c_str(), proposed.c_str());
    }
  }
  if (!fits) {
    return host::logFailure("Plugin> ",
                            "The design matrix name %s... would be longer than %zu characters; %s",
                            proposed.c_str(), kDefaultNameLimit, kAborted);
  }
  return {};
}

// Removes what the host left at the path when it is a file of this run's that
// cannot stand for the subject (only a regular file is ever removed).
void removeSaved(const PathText& path) {
  static_cast<void>(removeRegularFile(path.str()));  // best effort: the run stops with its reason
}

// How far a value read back may lie from the one the plug-in set: the format
// writes six significant digits at least ("%g"), a fixed-point writer six
// decimals.
bool withinWrittenPrecision(double read, float set) {
  const double value = static_cast<double>(set);
  return std::fabs(read - value) <= 5e-6 * std::fabs(value) + 5e-7;
}

}  // namespace

std::string designDifference(const confounds::DesignMatrixFile& saved,
                             const std::vector<Predictor>& expected) {
  if (saved.names.size() != expected.size() || saved.columns.size() != expected.size()) {
    return "it holds " + std::to_string(saved.names.size()) + " predictors instead of " +
           std::to_string(expected.size());
  }
  for (std::size_t p = 0; p < expected.size(); ++p) {
    if (saved.names[p] != expected[p].name) {
      return "predictor " + std::to_string(p + 1) + " is \"" + saved.names[p] +
             "\" instead of \"" + expected[p].name + "\"";
    }
    const std::vector<double>& column = saved.columns[p];
    const std::vector<float>& values = expected[p].values;
    if (column.size() != values.size()) {
      return "predictor \"" + expected[p].name + "\" has " + std::to_string(column.size()) +
             " values instead of " + std::to_string(values.size());
    }
    for (std::size_t row = 0; row < values.size(); ++row) {
      if (!withinWrittenPrecision(column[row], values[row])) {
        return "predictor \"" + expected[p].name + "\" holds " + std::to_string(column[row]) +
               " at volume " + std::to_string(row + 1) + " where the plug-in set " +
               std::to_string(values[row]);
      }
    }
  }
  return {};
}

bool savedBefore(const PathText& path, const std::vector<PathText>& savedThisRun) {
  return std::any_of(savedThisRun.begin(), savedThisRun.end(),
                     [&](const PathText& saved) { return samePath(saved.view(), path.view()); });
}

Outcome saveDesignMatrix(const RunSettings& settings, const DefaultNameText& defaultName,
                         const std::vector<PathText>& savedThisRun, const ExpectedDesign& expected,
                         PathText& savedPath, RunSet* set) {
  if (settings.mdmMode) {
    if (Outcome path = multiStudyPath(settings, defaultName, savedThisRun, savedPath); !path.ok()) {
      return path;
    }
  } else {
    DefaultNameText proposed;
    if (Outcome named = proposedName(defaultName, savedThisRun, proposed); !named.ok()) {
      return named;
    }
    // A file another subject of this run wrote is refused: the user is asked
    // again, and a cancel stops the run as always.
    for (;;) {
      std::string chosen;
      if (!host::getSaveFileName("Select a file to save the design matrix (.*SDM) ",
                                 proposed.c_str(), "*.sdm", chosen)) {
        return host::logFailure("PPI Plugin> ", "No SDM file name selected. %s", kAborted);
      }
      if (!savedPath.assign(chosen)) {
        return host::logFailure("Plugin> ", "The chosen path %s is longer than %zu characters; %s",
                                chosen.c_str(), kPathLimit, kAborted);
      }
      if (!savedBefore(savedPath, savedThisRun)) break;
      MessageText message;
      message.format(
          "%s was written for another subject of this run; choose another file for this one.",
          savedPath.c_str());
      host::logLine("Plugin> %s", message.c_str());
      host::messageBox(message.c_str());
    }
  }
  // A file already at the path (an earlier run's, say) goes first: the host
  // replaces it anyway, and left in place it would pass for this subject's
  // design matrix when the host writes nothing. Only a file is ever removed.
  const PathKind kind = pathKind(savedPath.str());
  if (kind != PathKind::missing && kind != PathKind::regularFile) {
    return host::logFailure("Plugin> ",
                            "%s is not a file; the design matrix cannot be saved there. %s",
                            savedPath.c_str(), kAborted);
  }
  const std::string folder = folderOf(savedPath.view());
  if (set != nullptr) {
    if (Outcome held = set->holdFolder(folder); !held.ok()) return held;
    if (kind == PathKind::regularFile) {
      if (Outcome aside = set->setAsideEarlierRun(folder); !aside.ok()) return aside;
    }
  }
  if (!removeRegularFile(savedPath.str()).ok()) {
    return host::logFailure("Plugin> ", "The file %s cannot be replaced; %s", savedPath.c_str(),
                            kAborted);
  }
  host::saveSingleStudyGLMDesignMatrix(savedPath.c_str());

  std::string saved;
  if (!readFileBytes(savedPath.str(), saved).ok() || saved.empty()) {
    removeSaved(savedPath);
    return host::logFailure("Plugin> ", "The design matrix was not saved to %s; %s",
                            savedPath.c_str(), kAborted);
  }
  const confounds::DesignMatrixRead read = confounds::readDesignMatrixText(saved);
  std::string problem = read.problem;
  if (read.complete && read.design.names.size() != expected.predictors) {
    problem = "it holds " + std::to_string(read.design.names.size()) + " predictors instead of " +
              std::to_string(expected.predictors);
  } else if (read.complete && read.design.nrOfDataPoints != expected.dataPoints) {
    problem = "it holds " + std::to_string(read.design.nrOfDataPoints) + " rows instead of " +
              std::to_string(expected.dataPoints);
  }
  bool other = false;  // whole, but not the design the plug-in set
  if (problem.empty() && expected.values != nullptr) {
    problem = designDifference(read.design, *expected.values);
    other = !problem.empty();
  }
  if (!problem.empty()) {
    removeSaved(savedPath);
    return host::logFailure("Plugin> ",
                            other ? "The design matrix saved to %s is not the one the plug-in set "
                                    "(%s) and was removed. %s"
                                  : "The design matrix saved to %s is incomplete (%s) and was "
                                    "removed. %s",
                            savedPath.c_str(), problem.c_str(), kAborted);
  }
  return {};
}

}  // namespace ppi::analysis
