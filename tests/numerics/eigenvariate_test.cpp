#include "numerics/eigenvariate.h"

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

#include "tests/support/signals.h"

namespace {

using ppi::analysis::Eigenvariate;
using ppi::analysis::firstEigenvariate;

// A region's samples laid out as a time course stores them: voxel after voxel,
// each voxel's volumes together, the region's voxels at every other cell (so
// that the offsets skip cells that are not the region's).
struct Region {
  std::size_t volumes = 0;
  std::vector<float> samples;
  std::vector<std::size_t> offsets;

  Region(std::size_t voxels, std::size_t volumesPerVoxel) : volumes(volumesPerVoxel) {
    samples.assign(2 * voxels * volumes, -777.0f);
    for (std::size_t i = 0; i < voxels; ++i) offsets.push_back(2 * i * volumes);
  }
  float& at(std::size_t voxel, std::size_t t) { return samples[offsets[voxel] + t]; }
  std::size_t voxels() const { return offsets.size(); }
  Eigenvariate eigenvariate() const { return firstEigenvariate(samples.data(), offsets, volumes); }
};

using signals::correlation;
using signals::gaussian;
using signals::widened;

Eigen::VectorXd regionMean(const Region& region) {
  Eigen::VectorXd mean = Eigen::VectorXd::Zero(static_cast<Eigen::Index>(region.volumes));
  for (std::size_t offset : region.offsets) {
    for (std::size_t t = 0; t < region.volumes; ++t) {
      mean[static_cast<Eigen::Index>(t)] += region.samples[offset + t];
    }
  }
  return mean;
}

// A slow wave and blocks: the signal planted in the regions below.
Eigen::VectorXd plantedSignal(std::size_t volumes) {
  Eigen::VectorXd s(static_cast<Eigen::Index>(volumes));
  for (Eigen::Index t = 0; t < s.size(); ++t) {
    s[t] = std::sin(0.07 * static_cast<double>(t)) + ((t / 15) % 2 == 0 ? 0.8 : -0.8);
  }
  return s;
}

struct PlantedRow {
  const char* name;
  std::size_t voxels, volumes;
  double noise;           // per voxel and volume, the signal's loadings being about 1
  double negativeShare;   // of voxels whose loading is negative
  double minCorrelation;  // of |correlation| with the planted signal
};

void PrintTo(const PlantedRow& row, std::ostream* out) { *out << row.name; }

class Planted : public testing::TestWithParam<PlantedRow> {};

// Voxels carrying the signal with loadings of either sign, their own baseline
// and noise: the eigenvariate is the signal, signed to follow the mean.
TEST_P(Planted, RecoversTheSignalSignedByTheMean) {
  const PlantedRow& row = GetParam();
  Region region(row.voxels, row.volumes);
  const Eigen::VectorXd signal = plantedSignal(row.volumes);
  const Eigen::VectorXd noise = gaussian(row.voxels * row.volumes, 3);
  std::mt19937 engine(5);
  // The planted share of variance: the loadings' squares times the signal's
  // variance, over that plus the noise's.
  const double signalVariance = (signal.array() - signal.mean()).square().mean();
  double loadingSquares = 0.0;
  for (std::size_t i = 0; i < row.voxels; ++i) {
    const double size = 0.5 + static_cast<double>(engine() % 1000) / 1000.0;
    const bool negative = static_cast<double>(i) < row.negativeShare * row.voxels;
    const double loading = negative ? -size : size;
    loadingSquares += loading * loading;
    const double baseline = 100.0 + static_cast<double>(engine() % 500);
    for (std::size_t t = 0; t < row.volumes; ++t) {
      region.at(i, t) = static_cast<float>(baseline + loading * signal[t] +
                                           row.noise * noise[i * row.volumes + t]);
    }
  }
  const Eigenvariate e = region.eigenvariate();
  ASSERT_TRUE(e.ok) << e.why.c_str();
  EXPECT_TRUE(e.why.empty());
  ASSERT_EQ(e.values.size(), row.volumes);
  const double withSignal = correlation(widened(e.values), signal);
  EXPECT_GT(std::fabs(withSignal), row.minCorrelation);
  EXPECT_GT(correlation(widened(e.values), regionMean(region)), 0.0);
  // Mostly negative loadings: the mean, and so the eigenvariate, is the
  // signal turned over.
  EXPECT_EQ(withSignal<0.0, row.negativeShare> 0.5);
  const double planted =
      loadingSquares * signalVariance /
      (loadingSquares * signalVariance + static_cast<double>(row.voxels) * row.noise * row.noise);
  EXPECT_NEAR(e.explainedShare, planted, row.noise > 0.0 ? 0.015 : 1e-5);
  EXPECT_GE(e.steps, 1);
}

INSTANTIATE_TEST_SUITE_P(Eigenvariate, Planted,
                         testing::Values(
                             // Noise-free: rank one, all the variance.
                             PlantedRow{"RankOne", 50, 120, 0.0, 0.0, 0.99999},
                             PlantedRow{"RankOneMostlyNegative", 50, 120, 0.0, 0.8, 0.99999},
                             PlantedRow{"LowNoise", 200, 150, 0.3, 0.2, 0.999},
                             PlantedRow{"NoiseAsLargeAsTheSignal", 300, 200, 1.0, 0.3, 0.995},
                             PlantedRow{"NoiseMuchLargerThanTheSignal", 500, 200, 3.0, 0.1, 0.98},
                             PlantedRow{"MoreVolumesThanVoxels", 20, 400, 0.5, 0.4, 0.99},
                             PlantedRow{"MostlyNegativeNoisy", 300, 200, 1.0, 0.9, 0.995}),
                         [](const testing::TestParamInfo<PlantedRow>& info) {
                           return info.param.name;
                         });

// The same values as the eigen-decomposition of the dense X^T X, for spectra
// whose first two eigenvalues lie close (where the iteration has most to do).
TEST(Eigenvariate, AgreesWithTheDenseEigenDecomposition) {
  struct Row {
    const char* name;
    std::size_t voxels, volumes;
    double secondLoading;  // of a second, orthogonal-ish signal; the first has 1
  };
  const Row rows[] = {{"WellSeparated", 40, 60, 0.3},
                      {"CloseSecond", 40, 60, 0.95},
                      {"PureNoise", 30, 50, 0.0},
                      {"FewVoxels", 3, 80, 0.6}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Region region(row.voxels, row.volumes);
    const Eigen::VectorXd noise = gaussian(row.voxels * row.volumes, 17);
    const Eigen::VectorXd loadings = gaussian(2 * row.voxels, 19);
    for (std::size_t i = 0; i < row.voxels; ++i) {
      for (std::size_t t = 0; t < row.volumes; ++t) {
        const double first = std::sin(0.2 * static_cast<double>(t));
        const double second = std::cos(0.05 * static_cast<double>(t) * static_cast<double>(t));
        region.at(i, t) = static_cast<float>(
            10.0 +
            (row.secondLoading > 0.0 ? 3.0 : 0.0) *
                (loadings[i] * first + row.secondLoading * loadings[row.voxels + i] * second) +
            0.3 * noise[i * row.volumes + t]);
      }
    }
    Eigen::MatrixXd x(static_cast<Eigen::Index>(row.voxels),
                      static_cast<Eigen::Index>(row.volumes));
    for (std::size_t i = 0; i < row.voxels; ++i) {
      for (std::size_t t = 0; t < row.volumes; ++t) {
        x(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(t)) = region.at(i, t);
      }
    }
    x.colwise() -= x.rowwise().mean();
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> dense(x.transpose() * x);
    const Eigen::Index last = x.cols() - 1;
    Eigen::VectorXd v = dense.eigenvectors().col(last);
    const Eigen::VectorXd mean = x.colwise().mean().transpose();
    if (v.dot(mean) < 0.0) v = -v;
    v *= std::sqrt(dense.eigenvalues()[last] / static_cast<double>(row.voxels));

    const Eigenvariate e = region.eigenvariate();
    ASSERT_TRUE(e.ok) << e.why.c_str();
    EXPECT_NEAR(e.explainedShare, dense.eigenvalues()[last] / x.squaredNorm(), 1e-5);
    for (Eigen::Index t = 0; t < x.cols(); ++t) {
      EXPECT_NEAR(e.values[static_cast<std::size_t>(t)], v[t], 1e-3 * v.cwiseAbs().maxCoeff()) << t;
    }
  }
}

// One voxel is its own eigenvariate, centred; a constant voxel changes only
// the scale (its loading is 0, and the scale is the loadings' root mean
// square); the same samples as 16-bit integers give the same values.
TEST(Eigenvariate, SingleVoxelConstantVoxelsAndSampleTypes) {
  const std::size_t volumes = 90;
  Region single(1, volumes);
  const Eigen::VectorXd noise = gaussian(volumes, 23);
  double sum = 0.0;
  for (std::size_t t = 0; t < volumes; ++t) {
    single.at(0, t) = static_cast<float>(std::round(500.0 + 40.0 * noise[t]));
    sum += single.at(0, t);
  }
  const Eigenvariate one = single.eigenvariate();
  ASSERT_TRUE(one.ok) << one.why.c_str();
  EXPECT_NEAR(one.explainedShare, 1.0, 1e-6);
  for (std::size_t t = 0; t < volumes; ++t) {
    EXPECT_NEAR(one.values[t], single.at(0, t) - sum / volumes, 1e-3) << t;
  }

  // Three voxels carrying it with loadings 1, 2, 3, then three constant ones.
  Region carrying(3, volumes), padded(6, volumes);
  for (std::size_t i = 0; i < 6; ++i) {
    for (std::size_t t = 0; t < volumes; ++t) {
      const float value = i < 3 ? static_cast<float>(i + 1) * single.at(0, t) : 1234.0f;
      padded.at(i, t) = value;
      if (i < 3) carrying.at(i, t) = value;
    }
  }
  const Eigenvariate three = carrying.eigenvariate(), six = padded.eigenvariate();
  ASSERT_TRUE(three.ok && six.ok);
  EXPECT_NEAR(six.explainedShare, 1.0, 1e-6);
  const double rms = std::sqrt((1.0 + 4.0 + 9.0) / 3.0);
  for (std::size_t t = 0; t < volumes; ++t) {
    EXPECT_NEAR(three.values[t], rms * one.values[t], 1e-3 * rms * 40.0) << t;
    EXPECT_NEAR(six.values[t], std::sqrt(0.5) * three.values[t], 1e-3 * rms * 40.0) << t;
  }

  std::vector<std::int16_t> integers(padded.samples.size());
  for (std::size_t k = 0; k < integers.size(); ++k) {
    integers[k] = static_cast<std::int16_t>(padded.samples[k]);
  }
  const Eigenvariate fromIntegers = firstEigenvariate(integers.data(), padded.offsets, volumes);
  ASSERT_TRUE(fromIntegers.ok) << fromIntegers.why.c_str();
  EXPECT_EQ(fromIntegers.values, six.values);
  EXPECT_EQ(fromIntegers.explainedShare, six.explainedShare);
}

struct RefusalRow {
  const char* name;
  std::function<void(Region&)> change;
  std::size_t volumes;  // passed with the region
  const char* why;
};

void PrintTo(const RefusalRow& row, std::ostream* out) { *out << row.name; }

class Refusals : public testing::TestWithParam<RefusalRow> {};

TEST_P(Refusals, SayWhy) {
  const RefusalRow& row = GetParam();
  Region region(4, 30);
  for (std::size_t i = 0; i < 4; ++i) {
    for (std::size_t t = 0; t < 30; ++t) {
      region.at(i, t) = static_cast<float>((i + 1) * ((t * 7) % 11));
    }
  }
  row.change(region);
  const Eigenvariate e = firstEigenvariate(region.samples.empty() ? nullptr : region.samples.data(),
                                           region.offsets, row.volumes);
  EXPECT_FALSE(e.ok);
  EXPECT_TRUE(e.values.empty());
  EXPECT_NE(e.why.view().find(row.why), std::string::npos) << e.why.c_str();
}

INSTANTIATE_TEST_SUITE_P(
    Eigenvariate, Refusals,
    testing::Values(
        RefusalRow{"NoVoxels", [](Region& r) { r.offsets.clear(); }, 30, "no voxels"},
        RefusalRow{"NoSamples", [](Region& r) { r.samples.clear(); }, 30, "no samples"},
        RefusalRow{"OneVolume", [](Region&) {}, 1, "has 1 volumes"},
        RefusalRow{"NoVolumes", [](Region&) {}, 0, "has 0 volumes"},
        RefusalRow{"NotANumber",
                   [](Region& r) { r.at(2, 17) = std::numeric_limits<float>::quiet_NaN(); }, 30,
                   "voxel 2 "},
        RefusalRow{"Infinite",
                   [](Region& r) { r.at(3, 0) = -std::numeric_limits<float>::infinity(); }, 30,
                   "voxel 3 "},
        RefusalRow{"AllConstant",
                   [](Region& r) {
                     for (std::size_t i = 0; i < r.voxels(); ++i) {
                       for (std::size_t t = 0; t < r.volumes; ++t) r.at(i, t) = 10.0f * i;
                     }
                   },
                   30, "all 4 voxels of the region are constant"}),
    [](const testing::TestParamInfo<RefusalRow>& info) { return info.param.name; });

}  // namespace
