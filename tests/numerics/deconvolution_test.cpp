#include "numerics/deconvolution.h"

#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "standin/hrf.h"
#include "tests/support/signals.h"

namespace {

using ppi::analysis::DeconvolutionSummary;
using ppi::analysis::deconvolve;
using ppi::analysis::GridEdge;
using ppi::analysis::kGcvExponentStep;
using ppi::analysis::kGcvGridPoints;
using ppi::analysis::kGcvLowestExponent;
using ppi::analysis::NeuralEstimate;
using ppi::analysis::resolutionDiagonal;
using ppi::analysis::separationWarning;
using ppi::analysis::summarizeDeconvolution;

using signals::correlation;
using signals::widened;
using Vector = Eigen::VectorXd;

// The host's convolution, in double precision.
Vector convolve(const Vector& s, const std::vector<double>& h) {
  Vector y = Vector::Zero(s.size());
  for (Eigen::Index t = 0; t < s.size(); ++t) {
    for (Eigen::Index k = 0; k < static_cast<Eigen::Index>(h.size()) && k <= t; ++k) {
      y[t] += h[static_cast<std::size_t>(k)] * s[t - k];
    }
  }
  return y;
}

double standardDeviation(const Vector& v) {
  return std::sqrt((v.array() - v.mean()).square().sum() / static_cast<double>(v.size() - 1));
}

// Neural signals of 200 volumes: blocks, single-volume events 3 to 9 volumes
// apart with heights 0.5 to 1.5, and both.
Vector blocks(Eigen::Index on, Eigen::Index off) {
  Vector s(200);
  for (Eigen::Index t = 0; t < s.size(); ++t) s[t] = t % (on + off) >= off ? 1.0 : 0.0;
  return s;
}

Vector events() {
  std::mt19937 engine(7);
  Vector s = Vector::Zero(200);
  for (Eigen::Index t = 4 + engine() % 4; t < s.size(); t += 3 + engine() % 7) {
    s[t] = 0.5 + static_cast<double>(engine() % 1000) / 1000.0;
  }
  return s;
}

Vector blocksAndEvents() { return blocks(12, 12) + 0.7 * events(); }

// A convolved signal plus noise of a given size relative to its standard
// deviation, z-normalised as the region signal is; the clean signal on the
// same scale.
struct Synthetic {
  Vector truth, clean;
  std::vector<float> bold;
  double noiseShare;  // the noise's standard deviation after normalisation
};

Synthetic synthesise(const Vector& truth, const std::vector<double>& kernel, double noise) {
  const Vector clean = convolve(truth, kernel);
  const Vector noisy =
      clean + noise * standardDeviation(clean) * signals::gaussian(clean.size(), 11);
  const double sd = standardDeviation(noisy);
  Synthetic data{
      truth, (clean.array() - noisy.mean()) / sd, {}, noise * standardDeviation(clean) / sd};
  for (Eigen::Index t = 0; t < noisy.size(); ++t) {
    data.bold.push_back(static_cast<float>((noisy[t] - noisy.mean()) / sd));
  }
  return data;
}

double rms(const Vector& v) { return std::sqrt(v.squaredNorm() / static_cast<double>(v.size())); }

struct RecoveryRow {
  const char* name;
  std::function<Vector()> truth;
  double repetitionTimeMs;  // of the host's kernel; 0: the identity kernel
  double relativeNoise;
  double minTruthCorrelation;  // of the estimate with the neural signal
};

void PrintTo(const RecoveryRow& row, std::ostream* out) { *out << row.name; }

class Recovery : public testing::TestWithParam<RecoveryRow> {};

// The estimate follows the neural signal, and convolved again it reproduces the
// input up to about the noise, nearer the clean signal than the input is.
TEST_P(Recovery, EstimateFollowsTheNeuralSignalAndReconvolvesToTheInput) {
  const RecoveryRow& row = GetParam();
  const std::vector<double> kernel = row.repetitionTimeMs > 0.0
                                         ? standin::twoGammaKernel(row.repetitionTimeMs)
                                         : std::vector<double>{1.0};
  const Synthetic data = synthesise(row.truth(), kernel, row.relativeNoise);
  const NeuralEstimate estimate = deconvolve(data.bold, kernel);
  ASSERT_TRUE(estimate.ok) << estimate.why.c_str();
  EXPECT_TRUE(estimate.why.empty());
  ASSERT_EQ(estimate.values.size(), data.bold.size());
  EXPECT_GT(estimate.lambda, 0.0);
  EXPECT_GT(estimate.hatTrace, 1.0);
  EXPECT_LT(estimate.hatTrace, static_cast<double>(data.bold.size()));

  EXPECT_GT(correlation(widened(estimate.values), data.truth), row.minTruthCorrelation);
  const Vector refit = convolve(widened(estimate.values), kernel).array() + estimate.offset;
  const double misfit = rms(refit - widened(data.bold)), error = rms(refit - data.clean);
  // The input has unit SD; what is left over is about the noise, not more,
  // and the refit lies about as near the clean signal as the noise allows.
  EXPECT_LT(misfit, 1.3 * data.noiseShare + 0.01);
  EXPECT_LT(error, 1.15 * data.noiseShare + 0.01);
}

INSTANTIATE_TEST_SUITE_P(
    Deconvolution, Recovery,
    testing::Values(RecoveryRow{"BlocksClean", [] { return blocks(10, 10); }, 2000.0, 0.0, 0.99},
                    RecoveryRow{"BlocksLowNoise", [] { return blocks(10, 10); }, 2000.0, 0.1, 0.93},
                    RecoveryRow{"BlocksNoisy", [] { return blocks(10, 10); }, 2000.0, 0.5, 0.85},
                    RecoveryRow{"BlocksVeryNoisy", [] { return blocks(10, 10); }, 2000.0, 1.0, 0.7},
                    RecoveryRow{"BlocksTr1", [] { return blocks(20, 20); }, 1000.0, 0.2, 0.9},
                    RecoveryRow{"BlocksTr2_5", [] { return blocks(8, 8); }, 2500.0, 0.2, 0.9},
                    RecoveryRow{"EventsClean", events, 2000.0, 0.0, 0.95},
                    RecoveryRow{"EventsLowNoise", events, 2000.0, 0.1, 0.85},
                    RecoveryRow{"EventsNoisy", events, 2000.0, 0.5, 0.6},
                    RecoveryRow{"MixedNoisy", blocksAndEvents, 2000.0, 0.3, 0.8},
                    // The identity: nothing to undo, the penalty only smooths.
                    RecoveryRow{"IdentityKernelNoisy", [] { return blocks(10, 10); }, 0.0, 0.3,
                                0.9}),
    [](const testing::TestParamInfo<RecoveryRow>& info) { return info.param.name; });

// The same signal under more and more noise: GCV smooths more.
TEST(Deconvolution, GcvChoosesMoreSmoothingAtHigherNoise) {
  const std::vector<double> kernel = standin::twoGammaKernel(2000.0);
  const double noiseLevels[] = {0.02, 0.1, 0.3, 1.0, 3.0};
  std::vector<double> lambdas;
  for (double noise : noiseLevels) {
    const NeuralEstimate estimate =
        deconvolve(synthesise(blocksAndEvents(), kernel, noise).bold, kernel);
    ASSERT_TRUE(estimate.ok) << estimate.why.c_str();
    lambdas.push_back(estimate.lambda);
  }
  for (std::size_t i = 1; i < lambdas.size(); ++i) {
    EXPECT_GT(lambdas[i], lambdas[i - 1]) << noiseLevels[i];
  }
  EXPECT_GT(lambdas.back(), 1000.0 * lambdas.front());
}

// The whole fit done densely: the design [H 1], the penalty on s alone, the
// hat matrix formed and its trace taken, GCV at every point of the grid.
struct DenseFit {
  double lambda = 0.0, gcv = 0.0, hatTrace = 0.0, offset = 0.0;
  int point = -1;  // k of lambda on the grid
  Vector values;
};

// The deconvolution's model done densely: X = [H 1] (H the kernel's
// convolution, 1 the offset) and D the first differences of s (none of the offset).
struct DenseModel {
  Eigen::MatrixXd x, d;
};

DenseModel denseModel(Eigen::Index n, const std::vector<double>& kernel) {
  DenseModel model{Eigen::MatrixXd::Zero(n, n + 1), Eigen::MatrixXd::Zero(n - 1, n + 1)};
  Eigen::MatrixXd& x = model.x;
  Eigen::MatrixXd& d = model.d;
  for (Eigen::Index t = 0; t < n; ++t) {
    for (Eigen::Index k = 0; k <= t && k < static_cast<Eigen::Index>(kernel.size()); ++k) {
      x(t, t - k) = kernel[static_cast<std::size_t>(k)];
    }
    x(t, n) = 1.0;
  }
  for (Eigen::Index i = 0; i + 1 < n; ++i) {
    d(i, i) = -1.0;
    d(i, i + 1) = 1.0;
  }
  return model;
}

DenseFit denseFit(const std::vector<float>& bold, const std::vector<double>& kernel) {
  const Eigen::Index n = static_cast<Eigen::Index>(bold.size());
  const auto [x, d] = denseModel(n, kernel);
  const Vector y = widened(bold);
  const Eigen::MatrixXd h = x.leftCols(n);
  const Eigen::MatrixXd penalty = d.transpose() * d;
  const double scale =
      (h.transpose() * h).diagonal().mean() / penalty.topLeftCorner(n, n).diagonal().mean();
  DenseFit best;
  best.gcv = std::numeric_limits<double>::infinity();
  for (int k = kGcvGridPoints - 1; k >= 0; --k) {
    const double lambda = std::pow(10.0, kGcvLowestExponent + k * kGcvExponentStep) * scale;
    const Eigen::MatrixXd m = x.transpose() * x + lambda * penalty;
    const Eigen::FullPivLU<Eigen::MatrixXd> lu(m);
    const Eigen::VectorXd coefficients = lu.solve(x.transpose() * y);
    const double trace = (x * lu.solve(x.transpose())).trace();
    const double rss = (y - x * coefficients).squaredNorm();
    const double gcv = static_cast<double>(n) * rss / std::pow(static_cast<double>(n) - trace, 2);
    if (gcv < best.gcv) {
      best.lambda = lambda;
      best.gcv = gcv;
      best.hatTrace = trace;
      best.offset = coefficients[n];
      best.point = k;
      best.values = coefficients.head(n);
    }
  }
  return best;
}

// The diagonal of R = D H done densely: D the first n rows of
// (X^T X + lambda P)^-1 X^T for X = [H 1], P the differences' penalty on s alone.
Vector denseResolution(Eigen::Index n, const std::vector<double>& kernel, double lambda) {
  const auto [x, d] = denseModel(n, kernel);
  const Eigen::MatrixXd m = x.transpose() * x + lambda * d.transpose() * d;
  const Eigen::MatrixXd map = m.fullPivLu().solve(x.transpose()).topRows(n);
  return (map * x.leftCols(n)).diagonal();
}

// The neural-level factor's coupling weights, diag(J D K P H), with every
// matrix formed whole: D the map above, J the centring, P the annihilator of
// the constant and `columns`, K the autocovariance of P y at lags 1 .. L with
// the diagonal that makes tr(P K) = 0. Empty where the weights' sum is not
// above kCouplingWeightBalance of their absolute sum.
Vector denseCouplingWeights(const std::vector<float>& bold, const std::vector<Vector>& columns,
                            const std::vector<double>& kernel, double lambda) {
  const Eigen::Index n = static_cast<Eigen::Index>(bold.size());
  const auto [x, d] = denseModel(n, kernel);
  const Eigen::MatrixXd m = x.transpose() * x + lambda * d.transpose() * d;
  const Eigen::MatrixXd map = m.fullPivLu().solve(x.transpose()).topRows(n);
  const Eigen::MatrixXd centring =
      Eigen::MatrixXd::Identity(n, n) - Eigen::MatrixXd::Constant(n, n, 1.0 / n);
  Eigen::MatrixXd design(n, static_cast<Eigen::Index>(columns.size()) + 1);
  design.col(0).setOnes();
  for (std::size_t j = 0; j < columns.size(); ++j) {
    design.col(static_cast<Eigen::Index>(j) + 1) = columns[j];
  }
  const Eigen::CompleteOrthogonalDecomposition<Eigen::MatrixXd> decomposition(design);
  const Eigen::MatrixXd annihilator =
      Eigen::MatrixXd::Identity(n, n) - design * decomposition.pseudoInverse();
  const Vector rest = annihilator * widened(bold);
  const Eigen::Index lags = std::min<Eigen::Index>(
      n - 1, std::min<Eigen::Index>(static_cast<Eigen::Index>(kernel.size()), n) +
                 static_cast<Eigen::Index>(ppi::analysis::kCouplingExtraLags));
  Eigen::MatrixXd k = Eigen::MatrixXd::Zero(n, n);
  for (Eigen::Index l = 1; l <= lags; ++l) {
    const double c = rest.head(n - l).dot(rest.tail(n - l)) / static_cast<double>(n);
    for (Eigen::Index t = 0; t + l < n; ++t) k(t, t + l) = k(t + l, t) = c;
  }
  const double diagonal = -(annihilator * k).trace() / annihilator.trace();
  k.diagonal().setConstant(diagonal);
  EXPECT_NEAR((annihilator * k).trace(), 0.0, 1e-9 * (1.0 + k.cwiseAbs().maxCoeff()));
  const Vector weights = (centring * map * k * annihilator * x.leftCols(n)).diagonal();
  if (!(weights.sum() > ppi::analysis::kCouplingWeightBalance * weights.cwiseAbs().sum())) {
    return Vector();
  }
  return weights;
}

struct ReferenceRow {
  const char* name;
  Eigen::Index volumes;
  std::vector<double> kernel;
  double relativeNoise;
};

void PrintTo(const ReferenceRow& row, std::ostream* out) { *out << row.name; }

class DenseReference : public testing::TestWithParam<ReferenceRow> {};

// The banded solution, the selected-inversion trace and the grid search give
// what the dense computation gives.
TEST_P(DenseReference, AgreesOnWeightScoreTraceOffsetAndEstimate) {
  const ReferenceRow& row = GetParam();
  const Synthetic data =
      synthesise(blocksAndEvents().head(row.volumes), row.kernel, row.relativeNoise);
  const NeuralEstimate estimate = deconvolve(data.bold, row.kernel);
  ASSERT_TRUE(estimate.ok) << estimate.why.c_str();
  const DenseFit reference = denseFit(data.bold, row.kernel);
  EXPECT_DOUBLE_EQ(estimate.lambda, reference.lambda);
  EXPECT_EQ(estimate.gridPoint, reference.point);
  EXPECT_DOUBLE_EQ(estimate.relativePenalty,
                   std::pow(10.0, kGcvLowestExponent + reference.point * kGcvExponentStep));
  EXPECT_EQ(estimate.edge, reference.point == 0                    ? GridEdge::lowest
                           : reference.point == kGcvGridPoints - 1 ? GridEdge::highest
                                                                   : GridEdge::none);
  EXPECT_NEAR(estimate.gcv, reference.gcv, 1e-8 * reference.gcv);
  EXPECT_NEAR(estimate.hatTrace, reference.hatTrace, 1e-7);
  EXPECT_NEAR(estimate.offset, reference.offset, 1e-6);
  ASSERT_EQ(estimate.values.size(), static_cast<std::size_t>(reference.values.size()));
  EXPECT_LT((widened(estimate.values) - reference.values).cwiseAbs().maxCoeff(),
            1e-5 * (1.0 + reference.values.cwiseAbs().maxCoeff()));
  // The resolution matrix's diagonal at the weight chosen.
  const std::vector<double> resolution =
      resolutionDiagonal(data.bold.size(), row.kernel, estimate.lambda);
  const Vector dense = denseResolution(row.volumes, row.kernel, estimate.lambda);
  ASSERT_EQ(resolution.size(), static_cast<std::size_t>(dense.size()));
  EXPECT_LT((Eigen::Map<const Vector>(resolution.data(), dense.size()) - dense)
                .cwiseAbs()
                .maxCoeff(),
            1e-7);
  // The factor's coupling weights for a design of a block and an event task.
  std::vector<Vector> tasks{convolve(blocks(12, 12).head(row.volumes), row.kernel),
                            convolve(events().head(row.volumes), row.kernel)};
  std::vector<std::vector<float>> columns;
  for (Vector& task : tasks) {
    columns.emplace_back(task.data(), task.data() + task.size());
    // The reference reads the same single-precision columns as the run.
    task = widened(columns.back());
  }
  const std::vector<double> coupling =
      ppi::analysis::couplingWeights(data.bold, columns, row.kernel, estimate.lambda);
  const Vector denseCoupling = denseCouplingWeights(data.bold, tasks, row.kernel, estimate.lambda);
  ASSERT_EQ(coupling.size(), static_cast<std::size_t>(denseCoupling.size()));
  if (!coupling.empty()) {
    EXPECT_LT((Eigen::Map<const Vector>(coupling.data(), denseCoupling.size()) - denseCoupling)
                  .cwiseAbs()
                  .maxCoeff(),
              1e-7 * (1.0 + denseCoupling.cwiseAbs().maxCoeff()));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Deconvolution, DenseReference,
    testing::Values(ReferenceRow{"Tr2Noisy", 120, standin::twoGammaKernel(2000.0), 0.3},
                    ReferenceRow{"Tr1VeryNoisy", 80, standin::twoGammaKernel(1000.0), 1.0},
                    ReferenceRow{"Tr2_5NearlyClean", 150, standin::twoGammaKernel(2500.0), 0.02},
                    // Half the kernel falls after the run's end.
                    ReferenceRow{"KernelLongerThanTheRun", 9, standin::twoGammaKernel(2000.0), 0.5},
                    ReferenceRow{"ShortKernelBandOfTwo", 60, {0.0, 0.6, 0.4}, 0.3},
                    ReferenceRow{"InstantKernel", 60, {0.8, 0.3}, 0.3}),
    [](const testing::TestParamInfo<ReferenceRow>& info) { return info.param.name; });

struct EdgeRow {
  const char* name;
  std::vector<float> bold;
  std::vector<double> kernel;
  const char* why;  // null: an estimate is expected
};

void PrintTo(const EdgeRow& row, std::ostream* out) { *out << row.name; }

class Edges : public testing::TestWithParam<EdgeRow> {};

// Signals and kernels that give no estimate say why; the few that still do
// give one value per volume.
TEST_P(Edges, RefuseWithAReasonOrEstimateEveryVolume) {
  const EdgeRow& row = GetParam();
  const NeuralEstimate estimate = deconvolve(row.bold, row.kernel);
  if (row.why != nullptr) {
    EXPECT_FALSE(estimate.ok);
    EXPECT_TRUE(estimate.values.empty());
    EXPECT_NE(estimate.why.view().find(row.why), std::string::npos) << estimate.why.c_str();
    return;
  }
  ASSERT_TRUE(estimate.ok) << estimate.why.c_str();
  ASSERT_EQ(estimate.values.size(), row.bold.size());
  for (float value : estimate.values) EXPECT_TRUE(std::isfinite(value));
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const double kInfinity = std::numeric_limits<double>::infinity();
const std::vector<float> kShortSignal = {0.5f, -1.0f, 1.5f, 0.2f, -0.7f, 0.1f, -0.6f};

INSTANTIATE_TEST_SUITE_P(
    Deconvolution, Edges,
    testing::Values(
        EdgeRow{"NoVolumes", {}, {0.0, 1.0}, "0 volumes"},
        EdgeRow{"OneVolume", {1.0f}, {0.0, 1.0}, "1 volumes"},
        EdgeRow{"NoKernel", kShortSignal, {}, "all zero (or there are none)"},
        EdgeRow{"ZeroKernel", kShortSignal, {0.0, 0.0, 0.0}, "all zero"},
        // The kernel's only response falls after the run's end.
        EdgeRow{
            "KernelZeroWithinTheRun", {1.0f, -1.0f, 0.5f}, {0.0, 0.0, 0.0, 1.0}, "first 3 lags"},
        EdgeRow{"SignalNotFinite", {0.5f, kNaN, 1.0f}, {0.0, 1.0}, "not finite at volume 1"},
        EdgeRow{"KernelNotFinite", kShortSignal, {0.0, kInfinity}, "not finite at lag 1"},
        // Two volumes: the level and the one volume the kernel sees fit both.
        EdgeRow{"TwoVolumes",
                {1.0f, -1.0f},
                standin::twoGammaKernel(2000.0),
                "reproduces all 2 volumes"},
        EdgeRow{"ThreeVolumes", {1.0f, -1.0f, 0.5f}, standin::twoGammaKernel(2000.0), nullptr},
        EdgeRow{"KernelLongerThanTheRun", kShortSignal, standin::twoGammaKernel(1000.0), nullptr},
        EdgeRow{"KernelNotFiniteBeyondTheRun",
                kShortSignal,
                {0.0, 0.5, 0.5, 0.0, 0.0, 0.0, 0.0, kInfinity},
                "not finite at lag 7"},
        EdgeRow{"SilentSignal", std::vector<float>(40, 0.0f), standin::twoGammaKernel(2000.0),
                nullptr}),
    [](const testing::TestParamInfo<EdgeRow>& info) { return info.param.name; });

}  // namespace

namespace {

// Where the choice falls on the grid, for signals that put it on either edge:
// a convolved signal without noise (the least penalty fits it best, with a
// parameter spent on nearly every volume: what a region signal with hardly
// any noise left, e.g. an eigenvariate, gives), white noise through the
// kernel (whose best account is the smoothest signal).
TEST(Deconvolution, GridEdgeOfTheChoice) {
  const std::vector<double> kernel = standin::twoGammaKernel(2000.0);
  std::vector<float> noise;
  const Vector white = signals::gaussian(200, 5);
  for (Eigen::Index t = 0; t < white.size(); ++t) noise.push_back(static_cast<float>(white[t]));
  const struct {
    const char* name;
    std::vector<float> bold;
    std::vector<double> kernel;
    GridEdge edge;
  } rows[] = {
      {"Clean", synthesise(blocks(10, 10), kernel, 0.0).bold, kernel, GridEdge::lowest},
      {"WhiteNoise", noise, kernel, GridEdge::highest},
      {"BlocksNoisy", synthesise(blocks(10, 10), kernel, 0.3).bold, kernel, GridEdge::none},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const NeuralEstimate estimate = deconvolve(row.bold, row.kernel);
    ASSERT_TRUE(estimate.ok) << estimate.why.c_str();
    EXPECT_EQ(estimate.edge, row.edge) << "grid point " << estimate.gridPoint;
    const DeconvolutionSummary summary = summarizeDeconvolution(estimate, row.kernel.size());
    EXPECT_TRUE(summary.done);
    EXPECT_EQ(summary.volumes, row.bold.size());
    EXPECT_EQ(summary.kernelVolumes, row.kernel.size());
    EXPECT_EQ(summary.penalty, estimate.lambda);
    EXPECT_EQ(summary.effectiveParameters, estimate.hatTrace);
    EXPECT_EQ(summary.edge, estimate.edge);
    // The one rule flags the clean signal's fit (nearly all volumes spent), not the others.
    EXPECT_EQ(separationWarning(summary).empty(), row.edge != GridEdge::lowest);
  }
  EXPECT_FALSE(summarizeDeconvolution(NeuralEstimate(), 3).done);
}

// The one rule: a penalty on the grid's lowest point, or effective parameters
// above 90 % of the volumes, and the text that says so.
TEST(Deconvolution, SeparationWarning) {
  const std::string text =
      "the region signal could not be separated from noise at the neural level; prefer the BOLD "
      "level or the mean for this subject";
  const struct {
    const char* name;
    bool done;
    GridEdge edge;
    double effective;
    std::string warning;  // empty: none
  } rows[] = {
      {"NotRun", false, GridEdge::lowest, 157.0, ""},
      {"Between", true, GridEdge::none, 40.0, ""},
      {"HighestEdge", true, GridEdge::highest, 3.0, ""},
      {"AtNinetyPercent", true, GridEdge::none, 180.0, ""},
      {"LowestEdge", true, GridEdge::lowest, 60.0,
       text + " (the deconvolution's penalty is the lowest of its grid; 60.0 effective "
              "parameters of 200 volumes)"},
      {"AboveNinetyPercent", true, GridEdge::none, 180.5,
       text + " (180.5 effective parameters of 200 volumes, above 90 %)"},
      {"Both", true, GridEdge::lowest, 197.0,
       text + " (the deconvolution's penalty is the lowest of its grid; 197.0 effective "
              "parameters of 200 volumes, above 90 %)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    DeconvolutionSummary summary;
    summary.done = row.done;
    summary.volumes = 200;
    summary.edge = row.edge;
    summary.effectiveParameters = row.effective;
    EXPECT_EQ(separationWarning(summary), row.warning);
  }
}

}  // namespace

namespace {

// The resolution matrix's diagonal: 1 everywhere for an exact deconvolution
// (the identity kernel without penalty, where the neural level's weighted
// centre is the plain mean); for the host's kernel lower in the run's last
// volumes, which the kernel sees only in part, than inside it, and lower at
// every volume the more the estimate is smoothed. Refused: too few volumes,
// no kernel, a negative weight.
TEST(Deconvolution, ResolutionDiagonal) {
  const std::vector<double> exact = resolutionDiagonal(50, {1.0}, 0.0);
  ASSERT_EQ(exact.size(), 50u);
  for (double r : exact) EXPECT_NEAR(r, 1.0, 1e-12);
  const std::vector<double> kernel = standin::twoGammaKernel(2000.0);
  const std::vector<double> sharp = resolutionDiagonal(200, kernel, 0.01);
  const std::vector<double> smooth = resolutionDiagonal(200, kernel, 10.0);
  ASSERT_EQ(sharp.size(), 200u);
  ASSERT_EQ(smooth.size(), 200u);
  for (std::size_t t = 20; t < 180; ++t) EXPECT_GT(sharp[t], smooth[t]) << t;
  EXPECT_LT(sharp[199], 0.5 * sharp[100]);
  EXPECT_LT(smooth[199], 0.5 * smooth[100]);
  EXPECT_TRUE(resolutionDiagonal(1, kernel, 1.0).empty());
  EXPECT_TRUE(resolutionDiagonal(10, {}, 1.0).empty());
  EXPECT_TRUE(resolutionDiagonal(10, kernel, -1.0).empty());
}

}  // namespace

namespace {

// The coupling weights are refused, so that the caller falls back on the
// resolution diagonal, where they cannot serve: a region signal the design's
// columns explain whole, a column not one value per volume, values that are
// not finite, too few volumes. A sound case beside them gives weights.
TEST(Deconvolution, CouplingWeightsRefuseWhatCannotServe) {
  const std::vector<double> kernel = standin::twoGammaKernel(2000.0);
  const Synthetic data = synthesise(blocksAndEvents().head(120), kernel, 0.3);
  const Vector task = convolve(blocks(12, 12).head(120), kernel);
  const std::vector<float> column(task.data(), task.data() + task.size());
  const NeuralEstimate estimate = deconvolve(data.bold, kernel);
  ASSERT_TRUE(estimate.ok);
  const struct {
    const char* name;
    std::vector<float> bold;
    std::vector<std::vector<float>> columns;
    bool weights;
  } rows[] = {
      {"Sound", data.bold, {column}, true},
      {"RegionAllTask", std::vector<float>(column.begin(), column.end()), {column}, false},
      {"ColumnTooShort", data.bold, {std::vector<float>(column.begin(), column.end() - 1)}, false},
      {"ColumnNotFinite",
       data.bold,
       {[&] {
         std::vector<float> c = column;
         c[7] = std::numeric_limits<float>::quiet_NaN();
         return c;
       }()},
       false},
      {"TwoVolumes", {0.5f, -0.5f}, {}, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<double> weights =
        ppi::analysis::couplingWeights(row.bold, row.columns, kernel, estimate.lambda);
    EXPECT_EQ(weights.size(), row.weights ? row.bold.size() : 0u);
  }
}

}  // namespace
