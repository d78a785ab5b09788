// The method options of a run: the region summary, the level of the
// interaction and the centring of the psychological factor, as they reach the
// host's design matrix.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "numerics/deconvolution.h"
#include "run/hostresponse.h"
#include "run/neuralppi.h"
#include "host/hostprototypes.h"
#include "standin/hrf.h"
#include "tests/support/studyfixture.h"
#include "tests/support/fakehost.h"

namespace {

using analysistest::Names;
using analysistest::predictorValues;
using analysistest::SubjectSetup;
using testsupport::PluginHarness;
using Signal = std::vector<float>;

constexpr int kVolumes = 60;

SubjectSetup subject() {
  SubjectSetup setup = analysistest::numberedSubject(1);
  setup.grid.nrOfVolumes = kVolumes;
  setup.protocol.conditions = {{"Faces", {{3, 5}, {15, 17}, {31, 33}, {47, 50}}},
                               {"Houses", {{7, 9}, {19, 21}, {38, 41}, {54, 56}}},
                               {"Rest", {{11, 13}}}};
  return setup;
}

// The unconvolved box-car of the conditions with their values.
Signal boxCar(const SubjectSetup& setup, const std::vector<float>& values) {
  Signal car(kVolumes, 0.0f);
  for (std::size_t c = 0; c < values.size(); ++c) {
    for (const auto& [first, last] : setup.protocol.conditions[c].intervals) {
      for (int v = first; v <= last; ++v) car[static_cast<std::size_t>(v - 1)] = values[c];
    }
  }
  return car;
}

Signal convolved(Signal values) {
  standin::convolveCausal(values.data(), values.size(), standin::twoGammaKernel(2000.0));
  return values;
}

Signal centred(Signal values) {
  double sum = 0.0;
  for (float v : values) sum += v;
  for (float& v : values) v -= static_cast<float>(sum / static_cast<double>(values.size()));
  return values;
}

Signal times(Signal a, const Signal& b) {
  for (std::size_t t = 0; t < a.size(); ++t) a[t] *= b[t];
  return a;
}

Signal zNormalised(const Eigen::VectorXd& values) {
  const double mean = values.mean();
  const double sd = std::sqrt((values.array() - mean).square().sum() / (values.size() - 1.0));
  Signal z;
  for (double v : values) z.push_back(static_cast<float>((v - mean) / sd));
  return z;
}

// The first right singular vector of the region's centred voxels, with the
// sign of the mean, z-normalised.
Signal plainEigenvariate(const SubjectSetup& setup) {
  const auto& voxels = setup.regions[0].voxels;
  Eigen::MatrixXd x(static_cast<Eigen::Index>(voxels.size()), kVolumes);
  for (std::size_t v = 0; v < voxels.size(); ++v) {
    const auto& g = setup.grid;
    const int cx = (voxels[v][0] - g.xStart) / g.resolution;
    const int cy = (voxels[v][1] - g.yStart) / g.resolution;
    const int cz = (voxels[v][2] - g.zStart) / g.resolution;
    for (int t = 0; t < kVolumes; ++t) {
      x(static_cast<Eigen::Index>(v), t) = static_cast<float>(setup.sample(cx, cy, cz, t));
    }
  }
  x = x.colwise() - x.rowwise().mean();
  Eigen::JacobiSVD<Eigen::MatrixXd> svd(x, Eigen::ComputeThinV);
  Eigen::VectorXd component = svd.matrixV().col(0);
  if (component.dot(x.colwise().mean().transpose()) < 0) component = -component;
  return zNormalised(component);
}

// The neural signal as the run estimates it, centred, with the host's kernel
// as it reads it back (in single precision) and the penalty chosen.
struct Neural {
  Signal signal;
  std::vector<double> kernel;
  double lambda = 0.0;
  Signal region;
  // The factor's centring weights for a design with these task columns.
  std::vector<double> weights(const std::vector<Signal>& tasks) const {
    return ppi::analysis::couplingWeights(region, tasks, kernel, lambda);
  }
};

Neural neuralSignal(const Signal& region) {
  std::vector<double> kernel = standin::twoGammaKernel(2000.0);
  if (kernel.size() > region.size()) kernel.resize(region.size());
  for (double& k : kernel) k = static_cast<float>(k);
  const ppi::analysis::NeuralEstimate estimate = ppi::analysis::deconvolve(region, kernel);
  EXPECT_TRUE(estimate.ok) << estimate.why.c_str();
  return {centred(estimate.values), kernel, estimate.lambda, region};
}

// The factor centred on its mean weighted by `weights`.
Signal centredOnResolution(Signal values, const std::vector<double>& weights) {
  double weighted = 0.0, total = 0.0;
  for (std::size_t t = 0; t < values.size(); ++t) {
    weighted += weights[t] * values[t];
    total += weights[t];
  }
  for (float& v : values) v -= static_cast<float>(weighted / total);
  return values;
}

void expectNear(const Signal& actual, const Signal& expected, const std::string& what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (std::size_t t = 0; t < actual.size(); ++t) {
    ASSERT_NEAR(actual[t], expected[t], 2e-4 * (1.0 + std::abs(expected[t])))
        << what << " at volume " << t;
  }
}

TEST(MethodOptions, EachOptionShapesOnlyThePpiTermsAndThePhysiologicalSignal) {
  // The contrast Faces +1, Houses -1. Under the generalized approach every
  // condition from the baseline 0 gets a term of its own box-car.
  const std::vector<float> weights{1, -1, 0};
  const struct {
    const char* name;
    int level, summary, centre, approach;
    const char* logged;  // the options line
  } rows[] = {
      {"BoldCentred", 0, 0, 1, 0,
       "interactionLevel 0 (BOLD), regionSummary 0 (mean), centrePsych 1 (centred)"},
      // At the neural level the factor is centred whatever centrePsych says.
      {"Neural", 1, 0, 0, 0,
       "interactionLevel 1 (neural), regionSummary 0 (mean), centrePsych 0 (centred: always at "
       "the neural level)"},
      {"NeuralCentred", 1, 0, 1, 0,
       "interactionLevel 1 (neural), regionSummary 0 (mean), centrePsych 1 (centred: always at "
       "the neural level)"},
      {"NeuralGeneralized", 1, 0, 0, 1,
       "interactionLevel 1 (neural), regionSummary 0 (mean), centrePsych 0 (centred: always at "
       "the neural level)"},
      {"Eigenvariate", 0, 1, 0, 0,
       "interactionLevel 0 (BOLD), regionSummary 1 (first eigenvariate), centrePsych 0 (as is)"},
      {"EigenvariateNeuralCentredGeneralized", 1, 1, 1, 1,
       "interactionLevel 1 (neural), regionSummary 1 (first eigenvariate), centrePsych 1 "
       "(centred: always at the neural level)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const SubjectSetup setup = subject();
    PluginHarness harness;
    standin::HostModel& model = harness.model;
    analysistest::addSubject(harness, setup);
    model.stringParameters["CondID-0"] = "Faces list2";
    model.stringParameters["CondID-1"] = "Houses list0";
    model.intParameters = {{"interactionLevel", row.level},
                           {"regionSummary", row.summary},
                           {"centrePsych", row.centre},
                           {"whichapproach", row.approach}};
    model.saveFileAnswers.push_back({true, "out.sdm"});
    ASSERT_TRUE(harness.run("Start"));

    const Signal region =
        row.summary == 1 ? plainEigenvariate(setup) : analysistest::plainRegionTimeCourse(setup);
    expectNear(predictorValues(model, "FFA_predictor"), region, "physiological");
    const Neural neural = row.level == 1 ? neuralSignal(region) : Neural{};
    // The design's task columns, which the factor's centre depends on at the
    // neural level.
    std::vector<Signal> tasks;
    if (row.approach == 1) {
      for (std::size_t c = 0; c < 3; ++c) {
        std::vector<float> one(3, 0.0f);
        one[c] = 1.0f;
        tasks.push_back(convolved(boxCar(setup, one)));
      }
    } else {
      tasks = {convolved(boxCar(setup, weights)), convolved(boxCar(setup, {1, 1, 0}))};
    }
    auto term = [&](const Signal& psych) {
      if (row.level == 0) {
        const Signal factor = convolved(psych);
        return times(row.centre == 1 ? centred(factor) : factor, region);
      }
      // The centre the design's coupling asks for, neither the plain mean nor
      // the resolution's: the terms differ here by more than the comparison's
      // tolerance.
      const std::vector<double> coupling = neural.weights(tasks);
      EXPECT_EQ(coupling.size(), region.size());
      const Signal weighted = convolved(times(centredOnResolution(psych, coupling), neural.signal));
      for (const Signal& other :
           {convolved(times(centred(psych), neural.signal)),
            convolved(times(centredOnResolution(psych, ppi::analysis::resolutionDiagonal(
                                                            region.size(), neural.kernel,
                                                            neural.lambda)),
                            neural.signal))}) {
        float largest = 0.0f;
        for (std::size_t t = 0; t < other.size(); ++t) {
          largest = std::max(largest, std::abs(weighted[t] - other[t]));
        }
        EXPECT_GT(largest, 1e-3f);
      }
      return weighted;
    };
    if (row.approach == 1) {
      for (std::size_t c = 0; c < 3; ++c) {
        std::vector<float> one(3, 0.0f);
        one[c] = 1.0f;
        const std::string name = setup.protocol.conditions[c].name;
        expectNear(predictorValues(model, "PPI_" + name + "_FFA"), term(boxCar(setup, one)),
                   "PPI of " + name);
        EXPECT_EQ(predictorValues(model, name), convolved(boxCar(setup, one))) << name;
      }
    } else {
      expectNear(predictorValues(model, "PPI_FFA"), term(boxCar(setup, weights)), "PPI");
      EXPECT_EQ(predictorValues(model, "Psychological regressor"),
                convolved(boxCar(setup, weights)));
    }
    EXPECT_EQ(std::count(model.log.begin(), model.log.end(),
                         std::string("Plugin> Method options: ") + row.logged + "."),
              1);
    // The host's design matrix holds the plug-in's predictors only: the
    // response probe was cleared away.
    EXPECT_EQ(model.predictor(ppi::analysis::kResponseProbeName), nullptr);
    EXPECT_TRUE(model.canariesIntact());
  }
}

// How the deconvolution went reaches the subject's record, its QC report and,
// when the one rule says the neural signal is mostly noise, the dialog's
// report; the eigenvariate's share of variance reaches the record. A region
// signal without noise is what the rule catches (the fit spends a parameter
// on nearly every volume); whether it holds is checked against the rule
// applied to an independent deconvolution of the same region signal.
TEST(MethodOptions, TheDeconvolutionReachesTheRecordTheQcReportAndTheDialog) {
  const struct {
    const char* name;
    int level, summary;
    double noise;  // added to every sample, white, relative to the samples' spread
    bool warns;    // the neural signal is found not separated from noise
    // The factor's centre: a region signal all task leaves no coupling to weigh.
    const char* centre;
  } rows[] = {
      {"BoldDefault", 0, 0, 0.0, false, ""},
      {"NeuralClean", 1, 0, 0.0, true, "resolution diagonal"},
      // Noise far above the signal in every voxel: the fit smooths.
      {"NeuralEigenvariateNoisy", 1, 1, 20.0, false, "coupling weights"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SubjectSetup setup = subject();
    // Every voxel: its own level plus the convolved box-car of Faces and
    // Houses, and white noise of `noise` times that signal's spread.
    const Signal clean = convolved(boxCar(setup, {1.0f, 0.5f, 0.0f}));
    const double noise = row.noise;
    setup.sample = [clean, noise](int x, int y, int z, int t) {
      std::mt19937 engine(static_cast<std::uint32_t>(((x * 101 + y) * 101 + z) * 1009 + t));
      std::normal_distribution<double> normal(0.0, 1.0);
      return 900.0 + 7.0 * x + 40.0 * clean[static_cast<std::size_t>(t)] +
             noise * 40.0 * 0.3 * normal(engine);
    };
    PluginHarness harness;
    standin::HostModel& model = harness.model;
    analysistest::addSubject(harness, setup);
    model.stringParameters["CondID-0"] = "Faces list2";
    model.stringParameters["CondID-1"] = "Houses list0";
    model.intParameters = {{"interactionLevel", row.level}, {"regionSummary", row.summary}};
    model.saveFileAnswers.push_back({true, "out.sdm"});
    // A noise-free region signal makes the neural-level PPI term nearly a copy
    // of the task regressor: that design is an error of its own (its VIF), and
    // is still saved in dialog mode with its record.
    const bool completed = harness.run("Start");
    EXPECT_EQ(completed, !row.warns) << model.stringParameters["PPIReport"];
    const auto record = nlohmann::json::parse(testsupport::readFile("out.json"));
    // The summary and the subject's page beside it.
    const std::string summary = model.stringParameters["PPIReportFile"];
    const std::string qc =
        testsupport::readFile(summary) +
        testsupport::readFile(summary.substr(0, summary.size() - 5) + "/subject-0001.html");
    const std::string dialog = model.stringParameters["PPIReport"];
    EXPECT_EQ(record["signal"].contains("eigenvariateShare"), row.summary == 1);
    if (row.summary == 1) {
      EXPECT_GT(record["signal"]["eigenvariateShare"].get<double>(), 0.0);
      EXPECT_LE(record["signal"]["eigenvariateShare"].get<double>(), 1.0);
      EXPECT_NE(qc.find("first eigenvariate, explaining"), std::string::npos);
    }
    if (row.level == 0) {
      EXPECT_FALSE(record.contains("deconvolution"));
      EXPECT_EQ(qc.find("<figure class=\"neural\""), std::string::npos);
      EXPECT_EQ(dialog.find(ppi::analysis::kNotSeparatedFromNoise), std::string::npos);
      continue;
    }
    // What the run's own deconvolution of its region signal gives.
    const Signal region =
        row.summary == 1 ? plainEigenvariate(setup) : analysistest::plainRegionTimeCourse(setup);
    std::vector<double> kernel = standin::twoGammaKernel(2000.0);
    if (kernel.size() > region.size()) kernel.resize(region.size());
    for (double& k : kernel) k = static_cast<float>(k);
    const ppi::analysis::NeuralEstimate estimate = ppi::analysis::deconvolve(region, kernel);
    ASSERT_TRUE(estimate.ok);
    const auto& deconvolution = record["deconvolution"];
    EXPECT_NEAR(deconvolution["penalty"].get<double>(), estimate.lambda, 1e-6 * estimate.lambda);
    EXPECT_NEAR(deconvolution["effectiveParameters"].get<double>(), estimate.hatTrace, 1e-3);
    EXPECT_EQ(deconvolution["volumes"], kVolumes);
    EXPECT_EQ(deconvolution["kernelVolumes"], kernel.size());
    const char* edge = ppi::analysis::gridEdgeName(estimate.edge);
    EXPECT_EQ(deconvolution["gridEdge"], *edge ? nlohmann::json(edge) : nlohmann::json(nullptr));
    // The weights the factor was centred on: the coupling weights of the
    // design's task columns wherever they serve.
    const std::vector<Signal> tasks{predictorValues(model, "Psychological regressor"),
                                    predictorValues(model, "Complementary regressor")};
    const std::string centre =
        ppi::analysis::couplingWeights(region, tasks, kernel, estimate.lambda).empty()
            ? "resolution diagonal"
            : "coupling weights";
    EXPECT_EQ(centre, row.centre);
    EXPECT_EQ(deconvolution["factorCentre"], centre);
    EXPECT_NE(qc.find("the factor centred on its " + centre), std::string::npos);
    EXPECT_NE(qc.find("<figure class=\"neural\" id=\"neural-1\">"), std::string::npos);
    EXPECT_NE(qc.find("formed at the neural level"), std::string::npos);
    const bool warned = row.warns;
    EXPECT_EQ(estimate.edge == ppi::analysis::GridEdge::lowest ||
                  estimate.hatTrace > 0.9 * static_cast<double>(kVolumes),
              warned);
    const std::string warning = ppi::analysis::kNotSeparatedFromNoise;
    EXPECT_EQ(dialog.find("warning: subject 1 (run1.vtc): " + warning) != std::string::npos, warned)
        << dialog;
    EXPECT_EQ(record["warnings"].dump().find(warning) != std::string::npos, warned);
    EXPECT_EQ(qc.find(warning) != std::string::npos, warned);
    EXPECT_EQ(record["findings"].dump().find("\"deconvolution-noise\"") != std::string::npos,
              warned);
    const auto& log = model.log;
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [&](const std::string& line) {
                              return line.rfind("Plugin> Warning: subject 1 (/data/s01/run1.vtc): " +
                                                    warning,
                                                0) == 0;
                            }),
              warned ? 1 : 0);
  }
}

// A host whose convolution squares what it convolves: not linear.
void squaringConvolution(const char* name) {
  standin::HostModel* model = standin::currentHostModel();
  model->nkApplyTwoGammaHRFToPredictorWithName(name);
  float* values = model->nkGetPredictorByName(name);
  for (std::size_t t = 0; t < model->predictor(name)->values.size(); ++t) values[t] *= values[t];
}

TEST(MethodOptions, RunsRefusedBeforeAnythingIsSaved) {
  const std::string refused =
      "Plugin> The interaction at the neural level is refused for /data/s01/run1.vtc: the host's "
      "convolution is not linear and shift-invariant: ";
  const struct {
    const char* name;
    std::map<std::string, int> parameters;
    bool squaringHost;
    std::string line;  // the last log line starts with it
  } rows[] = {
      {"LevelTwo",
       {{"interactionLevel", 2}},
       false,
       "Plugin> \"interactionLevel\" is 2; it takes 0 or 1. Prepare PPI Plugin aborted."},
      {"SummaryNegative",
       {{"regionSummary", -1}},
       false,
       "Plugin> \"regionSummary\" is -1; it takes 0 or 1. Prepare PPI Plugin aborted."},
      {"CentreThree",
       {{"centrePsych", 3}},
       false,
       "Plugin> \"centrePsych\" is 3; it takes 0 or 1. Prepare PPI Plugin aborted."},
      {"NonLinearHost", {{"interactionLevel", 1}}, true, refused},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    PluginHarness harness;
    standin::HostModel& model = harness.model;
    analysistest::addSubject(harness, subject());
    if (row.squaringHost) {
      harness.host.exports["nkApplyTwoGammaHRFToPredictorWithName"] =
          reinterpret_cast<ppi::host::RawFunction>(&squaringConvolution);
      ASSERT_TRUE(harness.host.bind());
    }
    model.stringParameters["CondID-0"] = "Faces list2";
    model.intParameters = row.parameters;
    model.saveFileAnswers.push_back({true, "out.sdm"});
    EXPECT_FALSE(harness.run("Start"));
    ASSERT_FALSE(model.log.empty());
    EXPECT_EQ(model.log.back().substr(0, row.line.size()), row.line);
    EXPECT_TRUE(model.savedDesignMatrices.empty());
    EXPECT_TRUE(model.callsTo("nkGetSaveFileName").empty());
  }
}

TEST(MethodOptions, CentringSubtractsTheMeanInDoublePrecision) {
  const struct {
    const char* name;
    Signal values, centred;
  } rows[] = {
      {"Empty", {}, {}},
      {"Constant", {2.5f, 2.5f, 2.5f}, {0, 0, 0}},
      {"BoxCar", {1, 1, 0, 0}, {0.5f, 0.5f, -0.5f, -0.5f}},
      // A float sum would lose the small values against the large one.
      {"LargeAndSmall",
       {1e8f, 1, 1, 1, 1, 1, 1, 1},
       {87500000.0f, -12500000.0f, -12500000.0f, -12500000.0f, -12500000.0f, -12500000.0f,
        -12500000.0f, -12500000.0f}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Signal values = row.values;
    ppi::analysis::centreOverRun(values.data(), values.size());
    EXPECT_EQ(values, row.centred);
  }
}

// The neural level's centre: the mean weighted by the deconvolution's
// resolution, which equal weights make the plain mean and zero weights
// leave out.
TEST(MethodOptions, WeightedCentring) {
  const struct {
    const char* name;
    Signal values;
    std::vector<double> weights;
    Signal centred;
  } rows[] = {
      {"Empty", {}, {}, {}},
      {"EqualWeights", {1, 1, 0, 0}, {0.3, 0.3, 0.3, 0.3}, {0.5f, 0.5f, -0.5f, -0.5f}},
      {"LastVolumesUnresolved", {1, 1, 0, 0}, {1, 1, 1, 0}, {1.0f / 3, 1.0f / 3, -2.0f / 3, -2.0f / 3}},
      {"Uneven", {2, 0}, {3, 1}, {0.5f, -1.5f}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Signal values = row.values;
    ppi::analysis::centreWeighted(values.data(), row.weights);
    ASSERT_EQ(values.size(), row.centred.size());
    for (std::size_t t = 0; t < values.size(); ++t) EXPECT_FLOAT_EQ(values[t], row.centred[t]);
  }
}

}  // namespace
