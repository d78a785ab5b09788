// The QC report of a run: a summary page, "PPI_report.html", and beside it a
// folder of the same name ("PPI_report/") with one page per subject
// ("subject-0001.html", ...). Every page stands alone (inline CSS and SVG, no
// script, nothing loaded from elsewhere) and opens in any browser; they link
// to each other by relative paths.
//   - The summary: date, settings, how the run ended, one table row per
//     subject (<tr class="subject-row" id="row-K">, K from 1) with its
//     findings, a sparkline of its PPI terms (<svg class="sparkline">) and a
//     link to its page, and whether all designs have the same predictors in
//     order; the guide to reading the report.
//   - A subject's page: which run it belongs to, a figure of the region
//     signal, task regressors, PPI terms, complementary regressor and motion
//     predictors over the volumes, with the weighted conditions shaded; at
//     the neural level a second figure of the region signal, the
//     deconvolution's fit of it and the neural signal, with the
//     deconvolution's figures; the subject's findings (the same the dialog and
//     the record list); the predictors' correlations; the guide.
// Every text from the user or the host is escaped for HTML.
//
// A subject's part is <section class="subject-section" id="subject-K">. Its
// figure is <figure class="subject" id="figure-K"> and holds one
// <path class="trace ROLE"> per drawn predictor, ROLE one of signal, task, ppi,
// complementary, motion. The neural-level figure is <figure class="neural"
// id="neural-K"> with <path class="trace ROLE">, ROLE one of signal, fit, neural.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/report.h"
#include "numerics/designstats.h"
#include "report/runrecord.h"
#include "numerics/deconvolution.h"

namespace ppi::analysis {

// A weighted condition's box-car before convolution: per volume 0 outside the
// condition and its weight (or 1) inside; shaded in the subject's figure.
struct ConditionBoxCar {
  std::string name;
  int weight = 1;
  std::vector<float> values;
};

// The subject's head motion, when its motion estimates were merged.
struct MotionReport {
  bool known = false;
  std::vector<double> displacement;   // framewise displacement per volume, mm
  double meanFD = 0.0;
  double maxFD = 0.0;
  std::vector<std::size_t> censored;  // volumes with a spike predictor, from 0
  double censorFD = 0.0;              // the threshold, mm; 0: no censoring
};

struct SubjectReport {
  std::string timeCourse;  // the time course's path
  std::string regionFile;
  std::string regionName;
  std::int32_t voxelsListed = 0;
  std::int32_t voxelsInside = 0;  // of those, inside the time course's grid
  std::string designFile;  // the saved design matrix (the merged one when merged); empty: not saved
  // The design's predictors in file order; the role says which are drawn
  // (region signal, task, PPI, complementary, motion; "other" is not).
  std::vector<Predictor> predictors;
  DesignStats stats;                        // computeDesignStats(predictors)
  std::vector<ConditionWeight> conditions;  // the protocol's conditions and their weights
  std::vector<ConditionBoxCar> boxCars;     // the weighted conditions
  std::vector<Finding> findings;  // the subject's findings, as the dialog and the record have them
  MotionReport motion;
  double eigenvariateShare = -1;  // with the first eigenvariate: the variance it explains
  // At the neural level: how the deconvolution went, the neural signal it
  // estimated (centred) and its fit of the region signal (H s + c).
  DeconvolutionSummary deconvolution;
  std::vector<float> neuralSignal;
  std::vector<float> reconvolved;
};

struct RunEnd {
  bool completed = true;
  std::int32_t stoppedAtSubject = 0;  // from 1, when stopped
  std::string reason;                 // why it stopped
  // Subjects whose design has an error ("subject 2 (s02.vtc)"): not in the
  // run's list of design matrices.
  std::vector<std::string> notListed;
};

struct QcReportInput {
  PluginIdentity plugin;
  std::int64_t dateUtc = 0;  // seconds since 1970-01-01 00:00:00 UTC
  SettingsRecord settings;
  std::int32_t subjectsListed = 0;      // subjects in the run's list
  std::vector<SubjectReport> subjects;  // those with a design, in list order
  RunEnd end;
};

// The file name of subject K's page (K from 1) in the report's folder.
std::string subjectPageName(std::size_t number);

// Where the summary's rows link to: the folder of subject pages, relative to
// the summary ("PPI_report"), and which pages were written. A subject without
// a page has no link.
struct QcReportLinks {
  std::string folder;
  std::vector<bool> written;  // per subject of the input
};

// The summary page.
std::string qcSummaryHtml(const QcReportInput& input, const QcReportLinks& links);
// The page of the input's subject `index` (from 0); `summaryName` is the
// summary's file name, one folder up.
std::string qcSubjectHtml(const QcReportInput& input, std::size_t index,
                          const std::string& summaryName);

}  // namespace ppi::analysis
