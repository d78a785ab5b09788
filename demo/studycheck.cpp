// The researcher's check of the demo study: design matrices fitted to the
// regions' mean time courses, the table, and the figure of one subject.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "demo/fit.h"
#include "demo/regionmean.h"
#include "demo/study.h"
#include "standin/designfile.h"
#include "standin/documents.h"

namespace demo {
namespace {

using standin::DesignMatrixFile;
using standin::Region;
using standin::RegionFile;

struct ListedSubject {
  std::string timeCourse, regionFile;
};

bool setError(std::string* error, const std::string& why) {
  if (error != nullptr) *error = why;
  return false;
}

std::string resolve(const std::string& folder, const std::string& path) {
  if (!path.empty() && (path[0] == '/' || (path.size() > 1 && path[1] == ':'))) return path;
  return folder + "/" + path;
}

std::vector<std::string> readLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

bool readStudyList(const std::string& folder, std::vector<ListedSubject>& subjects,
                   std::string* error) {
  for (const std::string& line : readLines(folder + "/study.ppi")) {
    std::istringstream fields(line);
    ListedSubject subject;
    if (!(fields >> subject.timeCourse >> subject.regionFile)) {
      return setError(error, "study.ppi: cannot read the line \"" + line + "\"");
    }
    subjects.push_back(subject);
  }
  if (subjects.empty()) return setError(error, "study.ppi lists no subject");
  return true;
}

// The design matrices of the run, one per subject, as the session saved the
// plug-in's "SDMFileList".
bool readDesignList(const std::string& folder, std::vector<std::string>& designs,
                    std::string* error) {
  const std::string listPath = folder + "/results/sdm-files.txt";
  if (!std::ifstream(listPath)) {
    return setError(error,
                    "no design matrices were listed (results/sdm-files.txt is missing): "
                    "the analysis run did not complete");
  }
  designs = readLines(listPath);
  return true;
}

double plantedValue(const std::string& folder, const std::string& key) {
  for (const std::string& line : readLines(folder + "/planted.txt")) {
    std::istringstream fields(line);
    std::string name;
    double value = 0.0;
    if (fields >> name >> value && name == key) return value;
  }
  return std::nan("");
}

const Region* findRegion(const RegionFile& file, const std::string& name) {
  for (const Region& region : file.regions) {
    if (region.name == name) return &region;
  }
  return nullptr;
}

int findColumn(const DesignMatrixFile& design, bool (*matches)(const std::string&)) {
  for (std::size_t i = 0; i < design.names.size(); ++i) {
    if (matches(design.names[i])) return static_cast<int>(i);
  }
  return -1;
}

bool isPPI(const std::string& name) { return name.rfind("PPI_", 0) == 0; }
bool isPsychological(const std::string& name) { return name == "Psychological regressor"; }
bool isPhysiological(const std::string& name) {
  return name.size() > 10 && name.compare(name.size() - 10, 10, "_predictor") == 0;
}
bool isMotion(const std::string& name) {
  return name.rfind("Translation", 0) == 0 || name.rfind("Rotation", 0) == 0;
}

std::string fileName(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string escapeXml(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '<') {
      escaped += "&lt;";
    } else if (c == '>') {
      escaped += "&gt;";
    } else if (c == '&') {
      escaped += "&amp;";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// Mean and one-sample t over subjects.
std::pair<double, double> groupMean(const std::vector<double>& values) {
  double mean = 0.0;
  for (double v : values) mean += v;
  mean /= static_cast<double>(values.size());
  if (values.size() < 2) return {mean, std::nan("")};
  double squares = 0.0;
  for (double v : values) squares += (v - mean) * (v - mean);
  const double sd = std::sqrt(squares / static_cast<double>(values.size() - 1));
  return {mean, mean / (sd / std::sqrt(static_cast<double>(values.size())))};
}

// Two-sided 5 % critical values of Student's t for 1 to 30 degrees of
// freedom; beyond, the normal distribution's.
double twoSidedCritical5(int degreesOfFreedom) {
  static const double kCritical[30] = {12.706, 4.303, 3.182, 2.776, 2.571, 2.447, 2.365, 2.306,
                                       2.262,  2.228, 2.201, 2.179, 2.160, 2.145, 2.131, 2.120,
                                       2.110,  2.101, 2.093, 2.086, 2.080, 2.074, 2.069, 2.064,
                                       2.060,  2.056, 2.052, 2.048, 2.045, 2.042};
  if (degreesOfFreedom < 1) return std::nan("");
  return degreesOfFreedom <= 30 ? kCritical[degreesOfFreedom - 1] : 1.960;
}

}  // namespace

std::optional<StudyCheck> checkStudy(const std::string& folder, std::string* error) {
  std::vector<ListedSubject> listed;
  std::vector<std::string> designs;
  if (!readStudyList(folder, listed, error) || !readDesignList(folder, designs, error)) {
    return std::nullopt;
  }
  if (designs.size() != listed.size()) {
    setError(error, std::to_string(designs.size()) + " design matrices listed for " +
                        std::to_string(listed.size()) + " subjects");
    return std::nullopt;
  }
  StudyCheck check;
  check.plantedEffect = plantedValue(folder, "ppi-target");
  check.recovered = true;
  for (std::size_t s = 0; s < listed.size(); ++s) {
    std::string why;
    auto fail = [&](const std::string& what) {
      setError(error, fileName(listed[s].timeCourse) + ": " + what);
      return std::nullopt;
    };
    auto design = standin::readDesignMatrixFile(resolve(folder, designs[s]), &why);
    if (!design) return fail("design matrix " + designs[s] + ": " + why);
    auto tc = standin::readTimeCourseFile(resolve(folder, listed[s].timeCourse), &why);
    if (!tc) return fail(why);
    auto regions = standin::readRegionFile(resolve(folder, listed[s].regionFile), &why);
    if (!regions) return fail(why);
    const Region* target = findRegion(*regions, "Target");
    const Region* null = findRegion(*regions, "Null");
    if (target == nullptr || null == nullptr)
      return fail("the regions Target and Null are missing");
    auto targetMean = regionMeanTimeCourse(*tc, *target, regions->coordinateSystem);
    auto nullMean = regionMeanTimeCourse(*tc, *null, regions->coordinateSystem);
    if (!targetMean || !nullMean) return fail("a region lies outside the grid");
    const int ppi = findColumn(*design, &isPPI);
    if (ppi < 0) return fail("the design matrix has no PPI predictor");
    if (design->columns.front().size() != targetMean->size()) {
      return fail("the design matrix has " + std::to_string(design->columns.front().size()) +
                  " rows for " + std::to_string(targetMean->size()) + " volumes");
    }
    auto targetFit = fitLeastSquares(design->columns, *targetMean);
    auto nullFit = fitLeastSquares(design->columns, *nullMean);
    if (!targetFit || !nullFit) return fail("the design matrix is rank deficient");
    SubjectFit fit;
    fit.subject = fileName(listed[s].timeCourse);
    fit.subject = fit.subject.substr(0, fit.subject.find('_'));
    fit.designFile = designs[s];
    fit.withMotion = findColumn(*design, &isMotion) >= 0;
    fit.rows = static_cast<int>(design->columns.front().size());
    fit.predictors = static_cast<int>(design->columns.size());
    const auto p = static_cast<std::size_t>(ppi);
    fit.targetEstimate = targetFit->estimates[p];
    fit.targetT = targetFit->tValues[p];
    fit.nullEstimate = nullFit->estimates[p];
    fit.nullT = nullFit->tValues[p];
    const bool targetFound =
        fit.targetT > 3.0 && (fit.targetEstimate > 0) == (check.plantedEffect > 0);
    check.recovered = check.recovered && targetFound;
    check.subjects.push_back(fit);
  }
  std::vector<double> nulls;
  for (const SubjectFit& fit : check.subjects) nulls.push_back(fit.nullEstimate);
  if (nulls.size() > 1) {
    check.nullGroupT = groupMean(nulls).second;
    check.nullGroupCritical = twoSidedCritical5(static_cast<int>(nulls.size()) - 1);
    check.recovered = check.recovered && std::fabs(check.nullGroupT) < check.nullGroupCritical;
  }
  return check;
}

void printStudyCheck(const StudyCheck& check, std::ostream& out) {
  char line[256];
  std::snprintf(line, sizeof line,
                "PPI term fitted by ordinary least squares (planted: Target %.2f, Null 0.00)\n\n",
                check.plantedEffect);
  out << line;
  std::snprintf(line, sizeof line, "%-8s %-42s %-6s %10s %8s %10s %8s\n", "subject",
                "design matrix", "motion", "Target b", "t", "Null b", "t");
  out << line << std::string(98, '-') << "\n";
  std::vector<double> targets, nulls;
  for (const SubjectFit& fit : check.subjects) {
    std::snprintf(line, sizeof line, "%-8s %-42.42s %-6s %10.2f %8.2f %10.2f %8.2f\n",
                  fit.subject.c_str(), fileName(fit.designFile).c_str(),
                  fit.withMotion ? "yes" : "no", fit.targetEstimate, fit.targetT, fit.nullEstimate,
                  fit.nullT);
    out << line;
    targets.push_back(fit.targetEstimate);
    nulls.push_back(fit.nullEstimate);
  }
  if (!check.subjects.empty()) {
    auto target = groupMean(targets);
    auto null = groupMean(nulls);
    out << std::string(98, '-') << "\n";
    std::snprintf(line, sizeof line, "%-58s %10.2f %8.2f %10.2f %8.2f\n",
                  "group mean (t over subjects)", target.first, target.second, null.first,
                  null.second);
    out << line;
  }
  out << "\n";
  const bool everyTarget =
      std::all_of(check.subjects.begin(), check.subjects.end(), [&](const SubjectFit& fit) {
        return fit.targetT > 3.0 && (fit.targetEstimate > 0) == (check.plantedEffect > 0);
      });
  out << (everyTarget ? "Target: the planted interaction is found in every subject (t > 3).\n"
                      : "Target: NOT FOUND in every subject (t > 3 with the planted sign).\n");
  if (check.subjects.size() > 1) {
    std::snprintf(line, sizeof line,
                  "Null: group t(%zu) = %.2f, %s the two-sided 5%% critical value %.3f.\n",
                  check.subjects.size() - 1, check.nullGroupT,
                  std::fabs(check.nullGroupT) < check.nullGroupCritical ? "within" : "BEYOND",
                  check.nullGroupCritical);
    out << line;
  }
  out << (check.recovered ? "The planted effect is recovered.\n"
                          : "The planted effect is NOT recovered.\n");
}

bool writeRegressorFigure(const std::string& folder, const std::string& svgPath,
                          std::string* error) {
  std::vector<ListedSubject> listed;
  std::vector<std::string> designs;
  if (!readStudyList(folder, listed, error) || !readDesignList(folder, designs, error)) {
    return false;
  }
  if (designs.empty()) return setError(error, "no design matrix to draw");
  std::string why;
  auto design = standin::readDesignMatrixFile(resolve(folder, designs[0]), &why);
  auto tc = standin::readTimeCourseFile(resolve(folder, listed[0].timeCourse), &why);
  if (!design || !tc) return setError(error, why);
  auto protocol = standin::readProtocolFile(resolve(folder, tc->linkedProtocol), &why);
  if (!protocol) return setError(error, why);

  struct Panel {
    std::string title;
    std::vector<int> columns;
  };
  std::vector<Panel> panels;
  auto add = [&](const std::string& title, bool (*matches)(const std::string&)) {
    Panel panel{title, {}};
    for (std::size_t i = 0; i < design->names.size(); ++i) {
      if (matches(design->names[i])) panel.columns.push_back(static_cast<int>(i));
    }
    if (!panel.columns.empty()) panels.push_back(panel);
  };
  add("Psychological: convolved Attend - Passive", &isPsychological);
  add("Physiological: seed region, z-normalised", &isPhysiological);
  add("PPI: psychological x physiological", &isPPI);
  add("Head motion: translations [mm], rotations [deg]", &isMotion);

  const int width = 960, left = 60, right = 20, top = 50, panelHeight = 130, gap = 40;
  const int height = top + static_cast<int>(panels.size()) * (panelHeight + gap) + 20;
  const int rows = static_cast<int>(design->columns.front().size());
  const double seconds = rows * tc->repetitionTimeMs / 1000.0;
  auto xOf = [&](double t) { return left + (width - left - right) * t / seconds; };
  const char* colours[] = {"#1f4e99", "#c0392b", "#2e8b57", "#8e44ad", "#d35400", "#555555"};

  std::ostringstream svg;
  svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height
      << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
      << "<text x=\"" << left << "\" y=\"22\" font-size=\"15\">Regressors of "
      << escapeXml(fileName(listed[0].timeCourse)) << " (" << escapeXml(fileName(designs[0]))
      << ")</text>\n"
      << "<text x=\"" << left << "\" y=\"40\" fill=\"#555\">shaded: Attend (orange), Passive "
      << "(blue); time in seconds</text>\n";
  char number[64];
  for (std::size_t p = 0; p < panels.size(); ++p) {
    const int y0 = top + static_cast<int>(p) * (panelHeight + gap) + 20;
    double low = 0.0, high = 0.0;
    for (int c : panels[p].columns) {
      for (double v : design->columns[static_cast<std::size_t>(c)]) {
        low = std::min(low, v);
        high = std::max(high, v);
      }
    }
    if (high - low < 1e-9) high = low + 1.0;
    auto yOf = [&](double v) { return y0 + panelHeight * (high - v) / (high - low); };
    for (std::size_t c = 1; c < protocol->conditions.size() && c < 3; ++c) {
      for (const auto& interval : protocol->conditions[c].intervals) {
        const double from = xOf((interval.first - 1) * tc->repetitionTimeMs / 1000.0);
        const double to = xOf(interval.second * tc->repetitionTimeMs / 1000.0);
        svg << "<rect x=\"" << from << "\" y=\"" << y0 << "\" width=\"" << to - from
            << "\" height=\"" << panelHeight << "\" fill=\"" << (c == 1 ? "#fde3c8" : "#d6e6f7")
            << "\"/>\n";
      }
    }
    svg << "<text x=\"" << left << "\" y=\"" << y0 - 6 << "\">" << panels[p].title << "</text>\n"
        << "<line x1=\"" << left << "\" x2=\"" << width - right << "\" y1=\"" << yOf(0.0)
        << "\" y2=\"" << yOf(0.0) << "\" stroke=\"#999\" stroke-dasharray=\"3,3\"/>\n";
    for (double v : {low, high}) {
      std::snprintf(number, sizeof number, "%.2f", v);
      svg << "<text x=\"" << left - 6 << "\" y=\"" << yOf(v) + 4 << "\" text-anchor=\"end\">"
          << number << "</text>\n";
    }
    for (std::size_t k = 0; k < panels[p].columns.size(); ++k) {
      const auto& column = design->columns[static_cast<std::size_t>(panels[p].columns[k])];
      svg << "<polyline fill=\"none\" stroke-width=\"1.4\" stroke=\"" << colours[k % 6]
          << "\" points=\"";
      for (int t = 0; t < rows; ++t) {
        std::snprintf(number, sizeof number, "%.1f,%.1f ", xOf(t * tc->repetitionTimeMs / 1000.0),
                      yOf(column[static_cast<std::size_t>(t)]));
        svg << number;
      }
      svg << "\"><title>"
          << escapeXml(design->names[static_cast<std::size_t>(panels[p].columns[k])])
          << "</title></polyline>\n";
    }
    svg << "<rect x=\"" << left << "\" y=\"" << y0 << "\" width=\"" << width - left - right
        << "\" height=\"" << panelHeight << "\" fill=\"none\" stroke=\"#333\"/>\n";
  }
  const int axisY = top + static_cast<int>(panels.size()) * (panelHeight + gap) - gap + 36;
  for (double t = 0.0; t <= seconds + 1e-9; t += 60.0) {
    svg << "<text x=\"" << xOf(t) << "\" y=\"" << axisY << "\" text-anchor=\"middle\">"
        << static_cast<int>(t) << "</text>\n";
  }
  svg << "</svg>\n";
  std::ofstream out(svgPath);
  out << svg.str();
  out.close();
  if (!out) return setError(error, "cannot write " + svgPath);
  return true;
}

}  // namespace demo
