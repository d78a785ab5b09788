// Writes the QC report of a made-up run, for the render check and for looking
// at: the summary REPORT.html and the subject pages in the folder beside it
// named as the summary without ".html":
//   sample_report REPORT.html [VOLUMES [SUBJECTS]]
// Three subjects unless told otherwise, each a kind in turn: subject 1 is
// clean; subject 2 has the standard approach's complementary regressor and a
// region signal that follows the task (a PPI VIF past 5); subject 3 has
// voxels outside the grid, a condition no entry names and names that need
// escaping. All have six motion predictors.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "numerics/designstats.h"
#include "report/qcreport.h"

namespace {

using ppi::analysis::ConditionBoxCar;
using ppi::analysis::ConditionWeight;
using ppi::analysis::Predictor;
using ppi::analysis::PredictorRole;
using ppi::analysis::SubjectReport;

int kVolumes = 180;  // or as given

// A reproducible noise source (a linear congruential generator).
struct Noise {
  unsigned long long state;
  double next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
  }
};

// Blocks of 12 volumes: rest, condition A, rest, condition B, ...
std::vector<float> boxCar(int phase) {
  std::vector<float> values(kVolumes, 0.0f);
  for (int v = 0; v < kVolumes; ++v) {
    const int block = v / 12;
    if (block % 4 == 1 + 2 * phase) values[v] = 1.0f;
  }
  return values;
}

// A smooth response to a box-car: a gamma-shaped kernel peaking after 5 volumes.
std::vector<float> convolved(const std::vector<float>& box) {
  std::vector<double> kernel;
  double total = 0;
  for (int t = 0; t < 20; ++t) {
    kernel.push_back(std::pow(t, 5.0) * std::exp(-static_cast<double>(t)));
    total += kernel.back();
  }
  std::vector<float> out(box.size(), 0.0f);
  for (std::size_t v = 0; v < box.size(); ++v) {
    double sum = 0;
    for (std::size_t t = 0; t < kernel.size() && t <= v; ++t) sum += kernel[t] * box[v - t];
    out[v] = static_cast<float>(sum / total);
  }
  return out;
}

std::vector<float> zNormalised(std::vector<double> values) {
  double mean = 0;
  for (double value : values) mean += value;
  mean /= static_cast<double>(values.size());
  double squares = 0;
  for (double value : values) squares += (value - mean) * (value - mean);
  const double sd = std::sqrt(squares / static_cast<double>(values.size() - 1));
  std::vector<float> out;
  for (double value : values) out.push_back(static_cast<float>((value - mean) / sd));
  return out;
}

SubjectReport subject(int number, unsigned long long seed) {
  const int kind = (number - 1) % 3 + 1;  // subjects 1, 4, 7, ... are like subject 1
  Noise noise{seed};
  const std::vector<float> attend = boxCar(0);
  const std::vector<float> passive = boxCar(1);
  std::vector<float> psych(kVolumes);
  const std::vector<float> attendHrf = convolved(attend);
  const std::vector<float> passiveHrf = convolved(passive);
  for (int v = 0; v < kVolumes; ++v) psych[v] = attendHrf[v] - passiveHrf[v];

  std::vector<double> raw(kVolumes);
  double drift = 0;
  for (int v = 0; v < kVolumes; ++v) {
    drift = 0.9 * drift + noise.next();
    raw[v] = drift + 0.6 * std::sin(v / 7.0 + number);
    if (kind == 2) raw[v] = 0.2 * raw[v] + 2.0 * (attendHrf[v] + passiveHrf[v]);
  }
  const std::vector<float> signal = zNormalised(raw);
  std::vector<float> ppiTerm(kVolumes);
  for (int v = 0; v < kVolumes; ++v) ppiTerm[v] = psych[v] * signal[v];

  SubjectReport report;
  const std::string label = kind == 3 ? "Seed <left> & \"V1\"" : "Seed";
  report.timeCourse = "/data/study/sub-" + std::to_string(1000 + number).substr(1) + "/run1.vtc";
  report.regionFile = "/data/study/sub-" + std::to_string(1000 + number).substr(1) + "/regions.voi";
  report.regionName = label;
  report.voxelsListed = 412;
  report.voxelsInside = kind == 3 ? 398 : 412;
  report.designFile = "/data/study/results/sub-" + std::to_string(1000 + number).substr(1) + "_PPI_" +
                      (kind == 3 ? "Seed_left" : "Seed") + "_3DMC_z.sdm";
  report.predictors.push_back({"PPI_" + label, ppiTerm, PredictorRole::ppiTerm});
  report.predictors.push_back({"Psychological regressor", psych, PredictorRole::task});
  if (kind == 2) {
    std::vector<float> complement(kVolumes);
    for (int v = 0; v < kVolumes; ++v) complement[v] = attendHrf[v] + passiveHrf[v];
    report.predictors.push_back(
        {"Complementary regressor", complement, PredictorRole::complementary});
  }
  report.predictors.push_back({label + "_predictor", signal, PredictorRole::regionSignal});
  const char* motionNames[] = {"Translation X", "Translation Y", "Translation Z",
                               "Rotation X",    "Rotation Y",    "Rotation Z"};
  for (int m = 0; m < 6; ++m) {
    std::vector<double> walk(kVolumes);
    double position = 0;
    for (int v = 0; v < kVolumes; ++v) walk[v] = position += noise.next() * 0.4;
    report.predictors.push_back({motionNames[m], zNormalised(walk), PredictorRole::motion});
  }
  report.predictors.push_back(
      {"Constant", std::vector<float>(kVolumes, 1.0f), PredictorRole::other});
  report.stats = ppi::analysis::computeDesignStats(report.predictors);

  const std::string attendName = kind == 3 ? "Attend <faces>" : "Attend";
  report.conditions = {{"Rest", true, "Rest list1", 0},
                       {attendName, true, attendName + " list2", 1},
                       {"Passive", true, "Passive list0", -1}};
  if (kind == 3) report.conditions.push_back({"Button & press", false, "", 0});
  std::vector<float> passiveWeights = passive;
  for (float& value : passiveWeights) value = -value;
  report.boxCars = {{attendName, 1, attend}, {"Passive", -1, passiveWeights}};
  if (kind == 3) {
    report.findings.push_back({ppi::Severity::warning, "subject 3, region \"Seed <left>\"",
                               "The region's name holds <markup> & quotes \"\".", "",
                               "voxels-outside"});
  }
  return report;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4 || (argc >= 3 && std::atoi(argv[2]) < 30) ||
      (argc == 4 && std::atoi(argv[3]) < 1)) {
    std::fprintf(stderr, "usage: sample_report REPORT.html [VOLUMES, at least 30 [SUBJECTS]]\n");
    return 2;
  }
  if (argc >= 3) kVolumes = std::atoi(argv[2]);
  const int subjects = argc == 4 ? std::atoi(argv[3]) : 3;
  ppi::analysis::QcReportInput input;
  input.plugin = {"PPI plug-in", "2.0.0", "3.4.1"};
  input.dateUtc = 1717243200;  // 2024-06-01 12:00:00 UTC
  input.settings.approach = ppi::analysis::Approach::standard;
  input.settings.conditionEntries = {"Attend list2", "Passive list0", "Rest list1"};
  input.settings.label = "Seed";
  input.settings.multiStudy = true;
  input.settings.multiStudyPath = "/data/study/results/Multistudy_PPI.mdm";
  input.settings.motionMerge = true;
  input.settings.zTransform = true;
  input.subjectsListed = subjects;
  for (int number = 1; number <= subjects; ++number) {
    input.subjects.push_back(subject(number, 1000 + static_cast<unsigned long long>(number)));
  }
  const std::filesystem::path summary = argv[1];
  const std::filesystem::path folder = summary.parent_path() / summary.stem();
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  std::filesystem::create_directories(folder);
  const auto write = [](const std::filesystem::path& path, const std::string& html) {
    std::ofstream out(path, std::ios::binary);
    out << html;
    out.close();
    if (!out) std::fprintf(stderr, "sample_report: could not write %s\n", path.c_str());
    return static_cast<bool>(out);
  };
  ppi::analysis::QcReportLinks links{summary.stem().string(), {}};
  for (std::size_t s = 0; s < input.subjects.size(); ++s) {
    links.written.push_back(
        write(folder / ppi::analysis::subjectPageName(s + 1),
              ppi::analysis::qcSubjectHtml(input, s, summary.filename().string())));
  }
  if (!write(summary, ppi::analysis::qcSummaryHtml(input, links))) return 1;
  return 0;
}
