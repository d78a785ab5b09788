// Signals for the numerics' tests: Gaussian noise from a fixed seed, the same
// on every platform (Box-Muller over the raw output of mt19937, whose
// sequence the standard fixes), and correlation.
#pragma once

#include <Eigen/Core>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace signals {

inline Eigen::VectorXd gaussian(Eigen::Index count, std::uint32_t seed) {
  std::mt19937 engine(seed);
  auto uniform = [&engine] { return (static_cast<double>(engine()) + 0.5) / 4294967296.0; };
  Eigen::VectorXd values(count);
  for (double& v : values) {
    v = std::sqrt(-2.0 * std::log(uniform())) * std::cos(6.283185307179586 * uniform());
  }
  return values;
}

inline double correlation(const Eigen::VectorXd& a, const Eigen::VectorXd& b) {
  const Eigen::VectorXd ca = a.array() - a.mean(), cb = b.array() - b.mean();
  return ca.dot(cb) / std::sqrt(ca.squaredNorm() * cb.squaredNorm());
}

inline Eigen::VectorXd widened(const std::vector<float>& values) {
  return Eigen::Map<const Eigen::VectorXf>(values.data(), static_cast<Eigen::Index>(values.size()))
      .cast<double>();
}

}  // namespace signals
