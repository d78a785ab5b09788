// ppimethod: checks the plug-in's method options on simulated subjects, run
// in process against the stand-in host model (the plug-in's own code, the
// host's own convolution; the simulation shares neither).
//
//   ppimethod study [--subjects N]
//       An event-related study (jittered events of two conditions, onsets
//       between volumes) with an interaction planted at the neural level on a
//       grid 16 times finer than the volumes, through a response slightly
//       different from the host's, and a Null region with the task's main
//       effects and coupling to the seed but no interaction; every subject
//       moves (six motion estimates in the signal, merged by the plug-in into
//       the design matrix that is fitted). Prints, per
//       option set, the Target's mean PPI t, the Null's group t, the
//       Target's mean PPI estimate and the share of subjects whose Target PPI
//       t passes the two-sided 5 % critical value of their fit; exit
//       status 1 unless the neural-level mean Target t is at least 0.95 times
//       the BOLD level's and every Null group |t| is below the two-sided 5 %
//       critical value.
//   ppimethod null [--subjects N] [options below]
//       The false-positive check: null subjects (white noise; Null region with
//       the task's main effects and coupling to the seed, no interaction),
//       2000 by default, the seed observed exactly and observed with noise,
//       for a block and an event-related design, each with a balanced +-1
//       contrast, one condition against rest, an unbalanced +-1 contrast and
//       the generalized approach (each term), under every option set. Prints
//       per cell the share of subjects with a significant PPI t (two-sided
//       5 %, the fit prewhitened by an AR model of its residuals), the share
//       of groups of 20 subjects with a significant group t and the one-sample
//       t of all subjects' estimates. A cell passes when its shares lie within
//       3 binomial standard errors of 5 % (the subjects' share judged with the
//       seed observed exactly only, where a first-level t can be exact) and
//       its all-subjects t within 3 of 0. A cell whose BOLD-level default (the
//       standard method) is outside too is a property of PPI in that design,
//       reported as such; the other option sets of its row pass when no more
//       than 3 standard errors beyond the default. Exit status 1 when any
//       other cell is outside.
//       For looking into a cell: --seed-noise X (the noisy seed's noise per
//       voxel, 1), --noise-ar R (AR(1) noise on every voxel instead of white),
//       --ar-order P (the fit's prewhitening; 0: none), --response-shape S
//       (the simulation's response, 6.5; the host's is 6), --task-response
//       modelled (the task's responses as the host convolves the protocol, at
//       the volumes), --onsets volumes, --designs block|event, --seeds
//       exact|noisy, --contrast NAME.
//   ppimethod write-study FOLDER [--subjects N]
//       Writes a null study for the stand-in host: event-related, one
//       condition against rest, the seed observed with noise (time courses,
//       protocols, the seed's region file, the subject list and a session
//       that runs the plug-in's dialog at the neural level).
//   ppimethod fit-study FOLDER
//       Fits each subject's Null region to the design matrix the host saved
//       and prints the group t of the PPI estimates; exit status 1 beyond the
//       two-sided 5 % critical value.
//
// The random seed is fixed (kSeed) before the first subject.
#if defined(_WIN32)
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "formats/sdmfile.h"
#include "demo/fit.h"
#include "host/hostprototypes.h"
#include "host/hosttable.h"
#include "plugin/ppiplugin.h"
#include "standin/documents.h"
#include "standin/hostmodel.h"
#include "standin/hrf.h"

namespace {

constexpr std::uint64_t kSeed = 20250115;
constexpr int kVolumes = 200;
constexpr double kTr = 2.0;
constexpr int kFine = 16;  // simulation steps per volume
constexpr int kSeedVoxels = 6;

struct OptionSet {
  const char* name;
  int level, summary;
  int centre = 0;  // "centrePsych"
};
// The study's option sets.
constexpr OptionSet kOptionSets[] = {
    {"BOLD level, mean", 0, 0},
    {"neural level, mean", 1, 0},
    {"neural level, eigenvariate", 1, 1},
};
// The null check's: every option set ("centrePsych" has a say at the BOLD
// level only; at the neural level the factor is always centred).
constexpr OptionSet kNullOptionSets[] = {
    {"BOLD level, mean", 0, 0},
    {"BOLD level, mean, centred", 0, 0, 1},
    {"BOLD level, eigenvariate", 0, 1},
    {"neural level, mean", 1, 0},
    {"neural level, eigenvariate", 1, 1},
};

// The simulation's own response: two gammas of shapes 6.5 and 16 (the
// host's are 6 and 16), undershoot 1/6, 32 s, on the fine grid.
std::vector<double> simulationResponse(double shape = 6.5) {
  const double dt = kTr / kFine;
  std::vector<double> h;
  double sum = 0.0;
  for (double t = 0.0; t < 32.0; t += dt) {
    auto gamma = [t](double shape) {
      return t <= 0.0 ? 0.0 : std::exp((shape - 1.0) * std::log(t) - t - std::lgamma(shape));
    };
    h.push_back(gamma(shape) - gamma(16.0) / 6.0);
    sum += h.back();
  }
  for (double& v : h) v /= sum;
  return h;
}

std::vector<double> convolveFine(const std::vector<double>& x, const std::vector<double>& h) {
  std::vector<double> y(x.size(), 0.0);
  for (std::size_t t = 0; t < x.size(); ++t) {
    for (std::size_t k = 0; k < h.size() && k <= t; ++k) y[t] += h[k] * x[t - k];
  }
  return y;
}

// Every kFine-th value from `start`, at the volumes' acquisition times.
std::vector<double> sampleVolumes(const std::vector<double>& fine, std::size_t start) {
  std::vector<double> v;
  for (int t = 0; t < kVolumes; ++t) v.push_back(fine[start + static_cast<std::size_t>(t * kFine)]);
  return v;
}

struct Subject {
  standin::Protocol protocol;                   // conditions A and B, in volumes
  std::vector<std::vector<double>> seedVoxels;  // BOLD per voxel
  std::vector<double> target, null;             // BOLD
  std::vector<std::vector<double>> motion;      // six motion estimates per volume, or none
};

// Head motion: six random walks (translations in mm, rotations in degrees)
// with a slow drift, in every voxel's signal with these weights per unit.
constexpr double kMotionWeights[6] = {0.8, -0.5, 0.6, -0.4, 0.3, -0.7};

void addHeadMotion(std::mt19937_64& random, Subject& s) {
  std::normal_distribution<double> normal(0.0, 1.0);
  s.motion.assign(6, std::vector<double>(kVolumes, 0.0));
  for (auto& column : s.motion) {
    const double drift = 0.002 * normal(random);
    double position = 0.0;
    for (int v = 0; v < kVolumes; ++v) {
      position += drift + 0.03 * normal(random);
      column[static_cast<std::size_t>(v)] = position;
    }
  }
  const double scale = 10.0;
  auto move = [&](std::vector<double>& signal) {
    for (std::size_t v = 0; v < signal.size(); ++v) {
      for (std::size_t k = 0; k < 6; ++k) signal[v] += scale * kMotionWeights[k] * s.motion[k][v];
    }
  };
  for (auto& voxel : s.seedVoxels) move(voxel);
  move(s.target);
  move(s.null);
}

// The motion estimates as a design-matrix file of six predictors.
bool writeMotionFile(const Subject& s, const std::string& path) {
  std::ofstream out(path);
  out << "FileVersion: 1\n\nNrOfPredictors: 6\nNrOfDataPoints: " << kVolumes
      << "\nIncludesConstant: 0\nFirstConfoundPredictor: 1\n\n";
  for (int k = 0; k < 6; ++k) out << k * 40 << " " << 255 - k * 40 << " 128\t";
  out << "\n\"TX\"\t\"TY\"\t\"TZ\"\t\"RX\"\t\"RY\"\t\"RZ\"\n";
  out.precision(9);
  for (int v = 0; v < kVolumes; ++v) {
    for (int k = 0; k < 6; ++k)
      out << s.motion[static_cast<std::size_t>(k)][static_cast<std::size_t>(v)] << "\t";
    out << "\n";
  }
  return static_cast<bool>(out);
}

// The task of a subject: block or event-related, and the share of A among
// the blocks or events (the rest are B; at 1 the protocol has A alone).
struct Paradigm {
  bool eventRelated = true;
  double shareA = 0.5;
  double seedNoise = 0.25;  // the seed voxels' noise, per unit of signal
  double noiseAr = 0.0;     // lag-1 autocorrelation of every voxel's noise (0: white)
  bool onVolumes = false;   // event onsets at volume acquisitions, not between them
  // The task's responses (in the seed and the regions) as the design models
  // them: the host's convolution of the protocol's box-cars, at the volumes,
  // instead of the simulation's own response to the events on its fine grid.
  bool modelledTaskResponse = false;
};

// One subject. Event-related: events of 1 s at jittered onsets (2 to 6 s
// apart, anywhere between volumes), A with probability shareA, else B; block:
// blocks of 10 volumes with rest between (A, rest, B, rest when balanced),
// every block A but for the share of B spread evenly. The seed's neural
// signal is smooth noise plus the task; the Target's is coupling * seed +
// main effects + `interaction` * psych * seed, psych +1 in A, -1 in B, 0 else;
// the Null's has no interaction. White noise on every voxel: the seed is
// observed with noise.
Subject simulate(std::mt19937_64& random, const Paradigm& paradigm, double interaction,
                 const std::vector<double>& h) {
  std::normal_distribution<double> normal(0.0, 1.0);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  const std::size_t steps = static_cast<std::size_t>(kVolumes * kFine);
  const double dt = kTr / kFine;
  std::vector<double> psychA(steps, 0.0), psychB(steps, 0.0);
  Subject s;
  s.protocol.conditions = {{"A", {}}, {"B", {}}};
  if (paradigm.shareA >= 1.0) s.protocol.conditions.pop_back();
  if (paradigm.eventRelated) {
    for (double onset = 4.0 + 2.0 * uniform(random); onset < kVolumes * kTr - 20.0;
         onset += 2.0 + 4.0 * uniform(random)) {
      if (paradigm.onVolumes) onset = kTr * std::floor(onset / kTr);
      const int c = uniform(random) < paradigm.shareA ? 0 : 1;
      auto& psych = c == 0 ? psychA : psychB;
      for (std::size_t i = static_cast<std::size_t>(onset / dt);
           i < static_cast<std::size_t>((onset + 1.0) / dt) && i < steps; ++i) {
        psych[i] = 1.0;
      }
      const int first = static_cast<int>(onset / kTr) + 1;
      const int last = static_cast<int>((onset + 1.0 - 1e-9) / kTr) + 1;
      s.protocol.conditions[static_cast<std::size_t>(c)].intervals.push_back({first, last});
    }
  } else {
    const double shareB = 1.0 - paradigm.shareA;
    for (int start = 4, k = 0; start + 10 <= kVolumes; start += 20, ++k) {
      // Block k is B where the running count of B blocks, k * shareB, steps up.
      const int c = std::floor(k * shareB) == std::floor((k + 1) * shareB) ? 0 : 1;
      auto& psych = c == 0 ? psychA : psychB;
      for (std::size_t i = static_cast<std::size_t>(start * kFine);
           i < static_cast<std::size_t>((start + 10) * kFine); ++i) {
        psych[i] = 1.0;
      }
      s.protocol.conditions[static_cast<std::size_t>(c)].intervals.push_back(
          {start + 1, start + 10});
    }
  }
  // Smooth neural noise: an AR(1) on the fine grid, time constant about 2 s.
  // The brain was active before the first volume: the noise starts in its
  // stationary state and runs for a response's length before the run, so the
  // response at the first volumes carries that history as every later one
  // does (no start-up transient, which no real run has either).
  const std::size_t history = h.size();
  std::vector<double> seed(history + steps);
  const double a = std::exp(-dt / 2.0);
  double state = normal(random);
  for (std::size_t i = 0; i < seed.size(); ++i) {
    state = a * state + std::sqrt(1.0 - a * a) * normal(random);
    seed[i] = state;
  }
  // Under modelledTaskResponse the task enters below, at the volumes.
  const double task = paradigm.modelledTaskResponse ? 0.0 : 1.0;
  for (std::size_t i = 0; i < steps; ++i) {
    seed[history + i] += task * (0.8 * psychA[i] + 0.5 * psychB[i]);
  }
  std::vector<double> target(seed.size()), null(seed.size());
  for (std::size_t i = 0; i < seed.size(); ++i) {
    const double inA = i < history ? 0.0 : psychA[i - history];
    const double inB = i < history ? 0.0 : psychB[i - history];
    target[i] = 0.6 * seed[i] + task * (0.7 * inA + 0.3 * inB) + interaction * (inA - inB) * seed[i];
    null[i] = 0.6 * seed[i] + task * (0.7 * inA + 0.3 * inB);
  }
  // The host's response to each condition's box-car at the volumes.
  std::vector<double> modelledA(kVolumes, 0.0), modelledB(kVolumes, 0.0);
  if (paradigm.modelledTaskResponse) {
    const std::vector<double> kernel = standin::twoGammaKernel(kTr * 1000.0);
    for (std::size_t c = 0; c < s.protocol.conditions.size(); ++c) {
      std::vector<double> box(kVolumes, 0.0);
      for (const auto& [first, last] : s.protocol.conditions[c].intervals) {
        for (int v = first; v <= last && v <= kVolumes; ++v) box[static_cast<std::size_t>(v - 1)] = 1.0;
      }
      auto& out = c == 0 ? modelledA : modelledB;
      for (std::size_t t = 0; t < out.size(); ++t) {
        for (std::size_t k = 0; k < kernel.size() && k <= t; ++k) out[t] += kernel[k] * box[t - k];
      }
    }
  }
  const double noise = 0.25, scale = 10.0, level = 100.0;
  // Each voxel's noise: white, or an AR(1) of unit variance at the volumes.
  const double ar = paradigm.noiseAr, innovation = std::sqrt(1.0 - ar * ar);
  auto noiseSeries = [&] {
    std::vector<double> e(kVolumes);
    for (std::size_t t = 0; t < e.size(); ++t) {
      e[t] = t == 0 ? normal(random) : ar * e[t - 1] + innovation * normal(random);
    }
    return e;
  };
  std::vector<double> seedBold = sampleVolumes(convolveFine(seed, h), history);
  std::vector<double> targetBold = sampleVolumes(convolveFine(target, h), history);
  std::vector<double> nullBold = sampleVolumes(convolveFine(null, h), history);
  if (paradigm.modelledTaskResponse) {
    for (std::size_t t = 0; t < seedBold.size(); ++t) {
      const double seedTask = 0.8 * modelledA[t] + 0.5 * modelledB[t];
      const double ownTask = 0.7 * modelledA[t] + 0.3 * modelledB[t];
      seedBold[t] += seedTask;
      targetBold[t] += 0.6 * seedTask + ownTask;
      nullBold[t] += 0.6 * seedTask + ownTask;
    }
  }
  for (int v = 0; v < kSeedVoxels; ++v) {
    std::vector<double> voxel;
    const double loading = 0.7 + 0.1 * v;
    const std::vector<double> e = noiseSeries();
    for (std::size_t t = 0; t < seedBold.size(); ++t)
      voxel.push_back(level + v + scale * (loading * seedBold[t] + paradigm.seedNoise * e[t]));
    s.seedVoxels.push_back(voxel);
  }
  std::vector<double> e = noiseSeries();
  for (std::size_t t = 0; t < targetBold.size(); ++t) {
    s.target.push_back(level + scale * (targetBold[t] + noise * e[t]));
  }
  e = noiseSeries();
  for (std::size_t t = 0; t < nullBold.size(); ++t) {
    s.null.push_back(level + scale * (nullBold[t] + noise * e[t]));
  }
  return s;
}

// The seed's voxels as a float time course linked to `protocol`.
standin::TimeCourse seedTimeCourse(const Subject& s, const std::string& protocol) {
  standin::TimeCourse tc;
  tc.nrOfVolumes = kVolumes;
  tc.xEnd = kSeedVoxels;
  tc.yEnd = 1;
  tc.zEnd = 1;
  tc.dataType = 2;
  tc.repetitionTimeMs = kTr * 1000.0;
  tc.linkedProtocol = protocol;
  for (const auto& voxel : s.seedVoxels) {
    for (double v : voxel) tc.floatSamples.push_back(static_cast<float>(v));
  }
  return tc;
}


// --- the plug-in against the host model ------------------------------------

void placeholder() {}

std::map<std::string, ppi::host::RawFunction> hostExports() {
  std::map<std::string, ppi::host::RawFunction> exports;
#define PPIMETHOD_TYPED(name, result, parameters, arguments) \
  exports[#name] = reinterpret_cast<ppi::host::RawFunction>(&::name);
#define PPIMETHOD_UNTYPED(name) exports[#name] = &placeholder;
  PPI_HOST_FUNCTIONS(PPIMETHOD_TYPED, PPIMETHOD_UNTYPED)
#undef PPIMETHOD_TYPED
#undef PPIMETHOD_UNTYPED
  return exports;
}

ppi::host::RawFunction resolve(void* exports, const char* name) {
  auto* map = static_cast<std::map<std::string, ppi::host::RawFunction>*>(exports);
  auto found = map->find(name);
  return found != map->end() ? found->second : nullptr;
}

// The columns of the design matrix the plug-in built, in order.
using Design = std::vector<std::vector<double>>;

// Runs the plug-in on one subject under one option set; the design matrix it
// saved, or nothing when the run failed.
bool runPlugin(const Subject& s, const OptionSet& options, Design& design, int approach = 0) {
  // The library's own progress lines on standard output are not the table's.
  struct Quiet {
    std::ostringstream sink;
    std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
    ~Quiet() { std::cout.rdbuf(saved); }
  } quiet;
  standin::HostModel model;
  standin::setCurrentHostModel(&model);
  static std::map<std::string, ppi::host::RawFunction> exports = hostExports();
  if (!ppi::host::bindHostTable(&resolve, &exports) || !ppi::plugin::startWithBoundHost()) {
    return false;
  }
  const standin::TimeCourse tc = seedTimeCourse(s, "/sim/run.prt");
  model.timeCourses["/sim/run.vtc"] = tc;
  model.protocols["/sim/run.prt"] = s.protocol;
  standin::Region seed{"Seed", {}};
  for (int x = 0; x < kSeedVoxels; ++x) seed.voxels.push_back({x, 0, 0});
  model.regionFiles["/sim/seed.voi"] = standin::RegionFile{1, {seed}};
  model.openFileAnswers = {{true, "/sim/run.vtc"}, {true, "/sim/seed.voi"}};
  ppiplugin plugin;
  model.stringParameters["Command"] = "AddSubject";
  if (!plugin.execute()) {
    if (!model.log.empty()) std::cerr << "ppimethod: " << model.log.back() << "\n";
    return false;
  }
  model.stringParameters["CondID-0"] = "A list2";
  model.stringParameters["CondID-1"] = "B list0";
  model.intParameters["interactionLevel"] = options.level;
  model.intParameters["regionSummary"] = options.summary;
  model.intParameters["centrePsych"] = options.centre;
  model.intParameters["whichapproach"] = approach;
  // No provenance records or QC report: the tool reads the design only.
  model.intParameters["noReport"] = 1;
  static const std::string saved = (std::filesystem::current_path() / "design.sdm").string();
  static const std::string merged = (std::filesystem::current_path() / "design_3DMC.sdm").string();
  static const std::string motion = (std::filesystem::current_path() / "motion_3DMC.sdm").string();
  model.saveFileAnswers = {{true, saved}};
  const bool withMotion = !s.motion.empty();
  if (withMotion) {
    // The motion estimates are merged by the plug-in, as the demo's are.
    if (!writeMotionFile(s, motion)) return false;
    model.intParameters["addMoCo"] = 1;
    model.openFileAnswers.push_back({true, motion});
  }
  model.stringParameters["Command"] = "Start";
  bool ok = plugin.execute();
  design.clear();
  if (withMotion) {
    const auto read = ppi::confounds::readDesignMatrixFile(merged);
    ok = ok && read.complete;
    for (const auto& column : read.design.columns) design.push_back(column);
  } else {
    for (const standin::Predictor& p : model.designMatrix()) {
      std::vector<double> column;
      for (float v : p.values.values()) column.push_back(v);
      design.push_back(std::move(column));
    }
  }
  for (const std::string& path : {saved, merged, motion}) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
  standin::setCurrentHostModel(nullptr);
  if (!ok && !model.log.empty()) std::cerr << "ppimethod: " << model.log.back() << "\n";
  return ok && !design.empty();
}

// The PPI term's t (and estimate) in a least-squares fit of `y` to the whole
// design matrix, and its fit's degrees of freedom.
bool ppiT(const Design& design, const std::vector<double>& y, double& t, double* b = nullptr,
          int* freedom = nullptr) {
  const auto fit = demo::fitLeastSquares(design, y);
  if (!fit) return false;
  t = fit->tValues[0];  // "PPI_Seed" comes first
  if (b != nullptr) *b = fit->estimates[0];
  if (freedom != nullptr) *freedom = fit->degreesOfFreedom;
  return true;
}

// Two-sided 5 % critical value of Student's t with `df` degrees of freedom,
// by bisection on the regularised incomplete beta function's continued fraction.
double criticalT(int df) {
  auto tail = [df](double t) {  // P(|T| > t)
    const double x = df / (df + t * t), a = df / 2.0, b = 0.5;
    // Lentz's continued fraction for I_x(a, b).
    const double front = std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) +
                                  a * std::log(x) + b * std::log(1.0 - x)) /
                         a;
    double f = 1.0, c = 1.0, d = 0.0;
    for (int i = 0; i <= 200; ++i) {
      const int m = i / 2;
      double numerator;
      if (i == 0) {
        numerator = 1.0;
      } else if (i % 2 == 0) {
        numerator = (m * (b - m) * x) / ((a + 2.0 * m - 1.0) * (a + 2.0 * m));
      } else {
        numerator = -((a + m) * (a + b + m) * x) / ((a + 2.0 * m) * (a + 2.0 * m + 1.0));
      }
      d = 1.0 + numerator * d;
      d = 1.0 / (std::abs(d) < 1e-30 ? 1e-30 : d);
      c = 1.0 + numerator / c;
      if (std::abs(c) < 1e-30) c = 1e-30;
      f *= c * d;
    }
    return front * (f - 1.0);
  };
  double low = 0.0, high = 100.0;
  for (int i = 0; i < 100; ++i) {
    const double mid = 0.5 * (low + high);
    (tail(mid) > 0.05 ? low : high) = mid;
  }
  return 0.5 * (low + high);
}

double readNumber(const char* text, double fallback) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  return end != text && *end == '\0' ? value : fallback;
}

int study(int subjects) {
  std::mt19937_64 random(kSeed);
  const std::vector<double> h = simulationResponse();
  std::vector<Subject> all;
  for (int i = 0; i < subjects; ++i) all.push_back(simulate(random, Paradigm{}, 0.5, h));
  // Head motion comes after every subject's signals, from the same seed.
  for (Subject& s : all) addHeadMotion(random, s);
  const double critical = criticalT(subjects - 1);
  std::printf(
      "Event-related study: %d subjects, %d volumes, interaction planted at the neural level, "
      "head motion merged\n",
      subjects, kVolumes);
  std::printf("%-28s %16s %16s %12s %14s %15s\n", "Option set", "Target mean t", "Null group t",
              "critical", "Target mean b", "Target detected");
  bool pass = true;
  double boldTarget = 0.0;
  for (const OptionSet& options : kOptionSets) {
    double targetSum = 0.0, estimateSum = 0.0;
    int detected = 0;
    std::vector<double> nullT;
    for (const Subject& s : all) {
      Design design;
      double t = 0.0, n = 0.0, b = 0.0;
      int freedom = 0;
      if (!runPlugin(s, options, design) || !ppiT(design, s.target, t, &b, &freedom) ||
          !ppiT(design, s.null, n)) {
        std::printf("The plug-in's run failed under \"%s\".\n", options.name);
        return 2;
      }
      targetSum += t;
      estimateSum += b;
      // The Target's interaction found at the two-sided 5 % level of its own fit.
      if (std::abs(t) > criticalT(freedom)) ++detected;
      nullT.push_back(n);
    }
    double mean = 0.0, squares = 0.0;
    for (double v : nullT) mean += v / subjects;
    for (double v : nullT) squares += (v - mean) * (v - mean);
    const double groupT = mean / std::sqrt(squares / (subjects - 1) / subjects);
    const double targetMean = targetSum / subjects;
    if (options.level == 0) boldTarget = targetMean;
    const bool nullOk = std::abs(groupT) < critical;
    const bool targetOk = options.level == 0 || targetMean >= 0.95 * boldTarget;
    pass = pass && nullOk && targetOk;
    std::printf("%-28s %16.2f %16.2f %12.2f %14.4f %14.1f%%%s\n", options.name, targetMean, groupT,
                critical, estimateSum / subjects, 100.0 * detected / subjects,
                nullOk && targetOk ? "" : "  FAILED");
  }
  std::printf("%s\n", pass ? "Planted effect recovered; Null region null." : "Check failed.");
  return pass ? 0 : 1;
}

// The null check's designs: the contrasts researchers run, whose
// psychological factor has a mean of 0 (balanced +-1) or not (one condition
// against rest, +-1 with three quarters of the events or blocks in A, each
// term of the generalized approach).
struct NullDesign {
  const char* name;
  double shareA;
  int approach;                   // "whichapproach"
  std::vector<const char*> terms;  // the PPI terms tested, the design's first columns
};
const NullDesign kNullDesigns[] = {
    {"balanced +-1", 0.5, 0, {"PPI_Seed"}},
    {"one condition", 1.0, 0, {"PPI_Seed"}},
    {"unbalanced +-1", 0.75, 0, {"PPI_Seed"}},
    {"generalized", 0.5, 1, {"PPI_A_Seed", "PPI_B_Seed"}},
};

constexpr int kGroupSize = 20;
// The null subjects' seed is observed with four times the study's noise, as
// a seed region of a few voxels is: the noise the neural level must not turn
// into an interaction.
constexpr double kNullSeedNoise = 1.0;
constexpr double kNominal = 0.05;

// The mean over the run of a term's psychological factor at the volumes (the
// host's box-car: +1 in A, -1 in B under the standard approach; the term's
// own condition, 1, under the generalized approach).
double factorMean(const Subject& s, const NullDesign& design, std::size_t term) {
  std::vector<double> factor(kVolumes, 0.0);
  for (std::size_t c = 0; c < s.protocol.conditions.size(); ++c) {
    double weight = c == 0 ? 1.0 : -1.0;
    if (design.approach == 1) weight = c == term ? 1.0 : 0.0;
    for (const auto& [first, last] : s.protocol.conditions[c].intervals) {
      for (int v = first; v <= last && v <= kVolumes; ++v) {
        factor[static_cast<std::size_t>(v - 1)] = weight;
      }
    }
  }
  double sum = 0.0;
  for (double v : factor) sum += v;
  return sum / kVolumes;
}

// A share of `trials` tests at the nominal rate passes within 3 binomial
// standard errors of it.
double allowedDeviation(int trials) {
  return 3.0 * std::sqrt(kNominal * (1.0 - kNominal) / trials);
}

// What the null check's subjects are made of (the defaults are the check's;
// the rest are for looking into a failing cell).
struct NullSettings {
  double seedNoise = kNullSeedNoise;
  double noiseAr = 0.0;
  double responseShape = 6.5;
  bool onVolumes = false;
  bool modelledTaskResponse = false;
  int designs = 3;  // 1 block, 2 event-related, 3 both
  int seeds = 3;    // 1 observed exactly, 2 with noise, 3 both
  int arOrder = 1;  // of the first-level fit's prewhitening (0: none)
  std::string contrast;  // one contrast's cells only, when not empty
};

// The estimates' one-sample t over all subjects beyond which a cell's PPI
// estimate is biased: 3 standard errors from 0.
constexpr double kBiasT = 3.0;

int nullCheck(int subjects, const NullSettings& settings) {
  std::mt19937_64 random(kSeed);
  const std::vector<double> h = simulationResponse(settings.responseShape);
  const int groups = subjects / kGroupSize;
  const double groupCritical = criticalT(kGroupSize - 1);
  std::map<int, double> criticals;  // per degrees of freedom of a subject's fit
  const double subjectBand = allowedDeviation(subjects), groupBand = allowedDeviation(groups);
  std::printf(
      "Null subjects per design, seed and option set: %d (Null region with task main effects and "
      "coupling to the seed, no interaction; the seed observed exactly, or with noise %.2f per "
      "voxel)\n"
      "Share of subjects with |t| beyond the two-sided 5 %% critical value of their fit (least "
      "squares, prewhitened by an AR(%d) model of the residuals), and of %d groups of %d "
      "subjects (one-sample t of the PPI estimates, |t| > %.3f); \"all t\" is the one-sample t "
      "of all subjects' estimates.\n"
      "A cell passes within 3 binomial standard errors of 5 %%: subjects %.1f .. %.1f %%, groups "
      "%.1f .. %.1f %%. The subjects' share is judged with the seed observed exactly only: with a "
      "noisy seed a region's residuals carry the part of its coupling the noisy seed does not "
      "explain, serially correlated in the response's shape, and no first-level t is exact "
      "(reported, not judged).\n"
      "The estimates' mean is judged too: a cell whose \"all t\" is beyond 3 is biased (3 "
      "standard errors from 0), whatever its shares.\n"
      "Where the BOLD-level default (the standard method, unchanged) is outside itself (shares "
      "or bias), the row is a property of PPI in that design (\"PPI ITSELF\"); the other option "
      "sets of the row then pass when no more than 3 standard errors beyond the default: shares "
      "at most one band above the default's, |all t| at most 3 above the default's.\n",
      subjects, settings.seedNoise, settings.arOrder, groups, kGroupSize, groupCritical,
      100.0 * std::max(0.0, kNominal - subjectBand), 100.0 * (kNominal + subjectBand),
      100.0 * std::max(0.0, kNominal - groupBand), 100.0 * (kNominal + groupBand));
  std::printf("%-6s %-14s %-15s %-27s %-11s %7s %9s %9s %7s\n", "Seed", "Design", "Contrast",
              "Option set", "Term", "mean p", "subjects", "groups", "all t");
  int failed = 0, itself = 0, cells = 0;
  for (const bool noisy : {false, true}) {
    if ((settings.seeds & (noisy ? 2 : 1)) == 0) continue;
    for (bool eventRelated : {false, true}) {
      if ((settings.designs & (eventRelated ? 2 : 1)) == 0) continue;
      for (const NullDesign& design : kNullDesigns) {
        if (!settings.contrast.empty() && settings.contrast != design.name) continue;
        std::vector<Subject> all;
        const Paradigm paradigm{eventRelated,     design.shareA,       noisy ? settings.seedNoise : 0.0,
                                settings.noiseAr, settings.onVolumes, settings.modelledTaskResponse};
        for (int i = 0; i < subjects; ++i) all.push_back(simulate(random, paradigm, 0.0, h));
        const std::size_t terms = design.terms.size();
        // The BOLD-level default's shares per term (the first option set).
        std::vector<double> defaultShare(terms, 0.0), defaultGroupShare(terms, 0.0),
            defaultAllT(terms, 0.0);
        std::vector<bool> defaultOutside(terms, false);
        for (const OptionSet& options : kNullOptionSets) {
          const bool isDefault = &options == &kNullOptionSets[0];
          std::vector<int> beyond(terms, 0);
          std::vector<std::vector<double>> estimates(terms);
          std::vector<double> meanFactor(terms, 0.0);
          for (const Subject& s : all) {
            Design columns;
            if (!runPlugin(s, options, columns, design.approach)) {
              std::printf("The plug-in's run failed under \"%s\".\n", options.name);
              return 2;
            }
            const auto fit = demo::fitPrewhitened(columns, s.null, settings.arOrder);
            if (!fit) {
              std::printf("The design matrix under \"%s\" cannot be fitted.\n", options.name);
              return 2;
            }
            auto critical = criticals.find(fit->degreesOfFreedom);
            if (critical == criticals.end()) {
              critical =
                  criticals.emplace(fit->degreesOfFreedom, criticalT(fit->degreesOfFreedom)).first;
            }
            for (std::size_t k = 0; k < terms; ++k) {
              if (std::abs(fit->tValues[k]) > critical->second) ++beyond[k];
              estimates[k].push_back(fit->estimates[k]);
              meanFactor[k] += factorMean(s, design, k) / subjects;
            }
          }
          for (std::size_t k = 0; k < terms; ++k) {
            int groupsBeyond = 0;
            for (int g = 0; g < groups; ++g) {
              double mean = 0.0, squares = 0.0;
              for (int i = 0; i < kGroupSize; ++i) mean += estimates[k][g * kGroupSize + i];
              mean /= kGroupSize;
              for (int i = 0; i < kGroupSize; ++i) {
                const double d = estimates[k][g * kGroupSize + i] - mean;
                squares += d * d;
              }
              const double t = mean / std::sqrt(squares / (kGroupSize - 1) / kGroupSize);
              if (std::abs(t) > groupCritical) ++groupsBeyond;
            }
            // The estimates' one-sample t over all subjects: the PPI estimate's
            // bias, if any, seen more sharply than through the groups.
            double mean = 0.0, squares = 0.0;
            for (double b : estimates[k]) mean += b / subjects;
            for (double b : estimates[k]) squares += (b - mean) * (b - mean);
            const double allT = mean / std::sqrt(squares / (subjects - 1) / subjects);
            const double share = static_cast<double>(beyond[k]) / subjects;
            const double groupShare =
                groups > 0 ? static_cast<double>(groupsBeyond) / groups : 0.0;
            const bool subjectsOk = noisy || std::abs(share - kNominal) <= subjectBand;
            const bool groupsOk = groups == 0 || std::abs(groupShare - kNominal) <= groupBand;
            const bool unbiased = std::abs(allT) <= kBiasT;
            const char* verdict = "";
            if (isDefault) {
              defaultShare[k] = share;
              defaultGroupShare[k] = groupShare;
              defaultAllT[k] = allT;
              defaultOutside[k] = !(subjectsOk && groupsOk && unbiased);
              if (defaultOutside[k]) verdict = "  PPI ITSELF";
            } else if (!(subjectsOk && groupsOk && unbiased)) {
              // Outside: passes only beside a default that is outside too, and
              // no more than 3 standard errors beyond it.
              const bool asDefault =
                  defaultOutside[k] && (subjectsOk || share <= defaultShare[k] + subjectBand) &&
                  (groupsOk || groupShare <= defaultGroupShare[k] + groupBand) &&
                  (unbiased || std::abs(allT) <= std::abs(defaultAllT[k]) + kBiasT);
              verdict = asDefault ? "  PPI ITSELF" : "  OUTSIDE";
            }
            ++cells;
            if (std::strcmp(verdict, "  OUTSIDE") == 0) ++failed;
            if (std::strcmp(verdict, "  PPI ITSELF") == 0) ++itself;
            std::printf("%-6s %-14s %-15s %-27s %-11s %7.2f %8.1f%%%s %8.1f%% %7.2f%s\n",
                        noisy ? "noisy" : "exact", eventRelated ? "event-related" : "block",
                        design.name, options.name, design.terms[k], meanFactor[k], 100.0 * share,
                        noisy ? "*" : " ", 100.0 * groupShare, allT, verdict);
          }
          std::fflush(stdout);
        }
      }
    }
  }
  std::printf("(* not judged)\n");
  if (itself > 0) {
    std::printf(
        "%d of %d cells outside where the BOLD-level default is outside too (\"PPI ITSELF\": "
        "known failures of PPI in those designs, see the help's Method section).\n",
        itself, cells);
  }
  if (failed == 0) {
    std::printf("No option set outside beyond the standard method: passed\n");
  } else {
    std::printf("%d of %d cells outside 3 standard errors of 5 %% beyond the standard method: "
                "FAILED\n",
                failed, cells);
  }
  return failed == 0 ? 0 : 1;
}

// --- a null study for the stand-in host ------------------------------------

// The study's subjects: event-related, one condition (A) against rest, the
// null check's subjects (seed observed with noise; Null region with the
// task's main effect and coupling to the seed, no interaction).
std::string studySubjectId(int i) {
  char id[16];
  std::snprintf(id, sizeof id, "sub-%03d", i + 1);
  return id;
}

// Writes into `folder` per subject its time course (the seed's voxels),
// protocol and the Null region's time course (one value a line, beside
// them), the region file, the subject list and the session that runs the
// plug-in's dialog on them at the neural level with A in list2.
int writeNullStudy(const std::string& folder, int subjects) {
  std::mt19937_64 random(kSeed);
  const std::vector<double> h = simulationResponse();
  std::error_code ec;
  std::filesystem::create_directories(folder + "/results", ec);
  std::string why;
  standin::RegionFile regions{1, {standin::Region{"Seed", {}}}};
  for (int x = 0; x < kSeedVoxels; ++x) regions.regions[0].voxels.push_back({x, 0, 0});
  if (ec || !standin::writeRegionFile(folder + "/seed.voi", regions, &why)) {
    std::fprintf(stderr, "ppimethod: cannot write %s/seed.voi %s\n", folder.c_str(), why.c_str());
    return 2;
  }
  std::string list;
  for (int i = 0; i < subjects; ++i) {
    const Subject s = simulate(random, Paradigm{true, 1.0, kNullSeedNoise}, 0.0, h);
    const std::string id = studySubjectId(i);
    const standin::TimeCourse tc = seedTimeCourse(s, "./" + id + ".prt");
    std::ofstream null(folder + "/" + id + "_null.txt");
    null.precision(17);
    for (double v : s.null) null << v << "\n";
    if (!standin::writeTimeCourseFile(folder + "/" + id + ".vtc", tc, &why) ||
        !standin::writeProtocolFile(folder + "/" + id + ".prt", s.protocol, &why) || !null) {
      std::fprintf(stderr, "ppimethod: cannot write subject %s: %s\n", id.c_str(), why.c_str());
      return 2;
    }
    list += "./" + id + ".vtc\t./seed.voi\t0\n";
  }
  std::ofstream listFile(folder + "/study.ppi");
  listFile << list;
  std::ofstream session(folder + "/null.session");
  session << "# A null study: the plug-in's dialog at the neural level, A against rest.\n"
             "vmr open\ngui open\nopen-file ./study.ppi\ngui click loadList\n"
             "gui move list2 A\n"
             "gui choose interactionLevel Neural level: deconvolved region signal times task, "
             "convolved\n"
             "gui tick saveMDM\nsave-file ./results/Multistudy_PPI.mdm\n"
          << (subjects > 1 ? "answer yes\n" : "")
          << "gui click start\nexpect-int nr_subs " << subjects
          << "\nwrite-string SDMFileList ./results/sdm-files.txt\n";
  if (!listFile || !session) {
    std::fprintf(stderr, "ppimethod: cannot write the list or the session in %s\n",
                 folder.c_str());
    return 2;
  }
  std::printf("Null study in %s: %d subjects, event-related, A against rest. Run it with:\n"
              "  (cd %s && TessarayNK null.session)\nthen: ppimethod fit-study %s\n",
              folder.c_str(), subjects, folder.c_str(), folder.c_str());
  return 0;
}

// Fits each subject's Null region to the design matrix the host saved for it
// (the files the session's "SDMFileList" names, in list order) and prints
// the group t of the PPI estimates; exit status 1 when it lies beyond the
// two-sided 5 % critical value.
int fitNullStudy(const std::string& folder) {
  std::ifstream files(folder + "/results/sdm-files.txt");
  std::vector<std::string> paths;  // one a line
  for (std::string path; std::getline(files, path);) {
    if (!path.empty()) paths.push_back(path);
  }
  std::vector<double> estimates;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    std::string path = paths[i];
    if (path.rfind("./", 0) == 0) path = folder + "/" + path.substr(2);
    const auto read = ppi::confounds::readDesignMatrixFile(path);
    std::ifstream nullFile(folder + "/" + studySubjectId(static_cast<int>(i)) + "_null.txt");
    std::vector<double> y;
    for (double v; nullFile >> v;) y.push_back(v);
    if (!read.complete || read.design.names.empty() || read.design.names[0] != "PPI_Seed") {
      std::fprintf(stderr, "ppimethod: %s is not a design with PPI_Seed first\n", path.c_str());
      return 2;
    }
    const auto fit = demo::fitLeastSquares(read.design.columns, y);
    if (!fit) {
      std::fprintf(stderr, "ppimethod: %s cannot be fitted\n", path.c_str());
      return 2;
    }
    estimates.push_back(fit->estimates[0]);
  }
  const int n = static_cast<int>(estimates.size());
  if (n < 2) {
    std::fprintf(stderr, "ppimethod: fewer than two design matrices listed in %s\n",
                 (folder + "/results/sdm-files.txt").c_str());
    return 2;
  }
  double mean = 0.0, squares = 0.0;
  for (double b : estimates) mean += b / n;
  for (double b : estimates) squares += (b - mean) * (b - mean);
  const double t = mean / std::sqrt(squares / (n - 1) / n);
  const double critical = criticalT(n - 1);
  std::printf("%d subjects: mean PPI estimate %.4f, group t %.2f (two-sided 5 %% critical value "
              "%.3f): %s\n",
              n, mean, t, critical, std::abs(t) < critical ? "null holds" : "FALSE POSITIVE");
  return std::abs(t) < critical ? 0 : 1;
}

int usage() {
  std::fprintf(stderr,
               "usage: ppimethod study [--subjects N]\n"
               "       ppimethod null [--subjects N] [--seed-noise X] [--noise-ar R] "
               "[--ar-order P]\n"
               "                      [--response-shape S] [--task-response simulated|modelled]\n"
               "                      [--onsets jittered|volumes] [--designs block|event|both]\n"
               "                      [--contrast NAME] [--seeds exact|noisy|both]\n"
               "       ppimethod write-study FOLDER [--subjects N]\n"
               "       ppimethod fit-study FOLDER\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string action = argv[1];
  // The stand-in host's null study: written here, run by the host, fitted here.
  if (action == "write-study" && (argc == 3 || (argc == 5 && std::strcmp(argv[3], "--subjects") == 0))) {
    const int count = argc == 5 ? static_cast<int>(readNumber(argv[4], -1)) : 100;
    return count >= 2 ? writeNullStudy(argv[2], count) : usage();
  }
  if (action == "fit-study" && argc == 3) return fitNullStudy(argv[2]);
  int subjects = action == "study" ? 40 : 2000;
  NullSettings settings;
  for (int i = 2; i + 1 < argc; i += 2) {
    const double value = readNumber(argv[i + 1], -1);
    if (std::strcmp(argv[i], "--subjects") == 0) {
      subjects = static_cast<int>(value);
    } else if (action == "null" && std::strcmp(argv[i], "--seed-noise") == 0 && value >= 0) {
      settings.seedNoise = value;
    } else if (action == "null" && std::strcmp(argv[i], "--noise-ar") == 0 && value >= 0 &&
               value < 1) {
      settings.noiseAr = value;
    } else if (action == "null" && std::strcmp(argv[i], "--ar-order") == 0 && value >= 0 &&
               value <= 20) {
      settings.arOrder = static_cast<int>(value);
    } else if (action == "null" && std::strcmp(argv[i], "--contrast") == 0) {
      settings.contrast = argv[i + 1];
    } else if (action == "null" && std::strcmp(argv[i], "--response-shape") == 0 && value > 1) {
      settings.responseShape = value;
    } else if (action == "null" && std::strcmp(argv[i], "--task-response") == 0 &&
               (std::strcmp(argv[i + 1], "simulated") == 0 ||
                std::strcmp(argv[i + 1], "modelled") == 0)) {
      settings.modelledTaskResponse = std::strcmp(argv[i + 1], "modelled") == 0;
    } else if (action == "null" && std::strcmp(argv[i], "--onsets") == 0 &&
               (std::strcmp(argv[i + 1], "jittered") == 0 ||
                std::strcmp(argv[i + 1], "volumes") == 0)) {
      settings.onVolumes = std::strcmp(argv[i + 1], "volumes") == 0;
    } else if (action == "null" && std::strcmp(argv[i], "--seeds") == 0 &&
               (std::strcmp(argv[i + 1], "exact") == 0 || std::strcmp(argv[i + 1], "noisy") == 0 ||
                std::strcmp(argv[i + 1], "both") == 0)) {
      settings.seeds = argv[i + 1][0] == 'e' ? 1 : argv[i + 1][0] == 'n' ? 2 : 3;
    } else if (action == "null" && std::strcmp(argv[i], "--designs") == 0 &&
               (std::strcmp(argv[i + 1], "block") == 0 || std::strcmp(argv[i + 1], "event") == 0 ||
                std::strcmp(argv[i + 1], "both") == 0)) {
      settings.designs = argv[i + 1][0] == 'b' ? (argv[i + 1][1] == 'l' ? 1 : 3) : 2;
    } else {
      return usage();
    }
  }
  // The null check's groups need at least one group's subjects.
  const int fewest = action == "null" ? kGroupSize : 2;
  if ((argc - 2) % 2 != 0 || subjects < fewest) return usage();
  // The plug-in writes its autosave list and the design matrices into the
  // working directory: a folder of this process's own, removed at the end, so
  // that two runs at once (two builds' tests) never share one.
  const std::filesystem::path work =
      std::filesystem::temp_directory_path() /
      ("ppimethod-" + action + "-" + std::to_string(subjects) + "-" + std::to_string(getpid()));
  std::filesystem::create_directories(work);
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(work);
  int status = 2;
  if (action == "study") status = study(subjects);
  if (action == "null") status = nullCheck(subjects, settings);
  std::filesystem::current_path(before);
  std::error_code ignored;
  std::filesystem::remove_all(work, ignored);
  return action == "study" || action == "null" ? status : usage();
}
