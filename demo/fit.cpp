#include "demo/fit.h"

#include <algorithm>
#include <cmath>

namespace demo {

std::optional<LeastSquaresFit> fitLeastSquares(const std::vector<std::vector<double>>& columns,
                                               const std::vector<double>& y) {
  const std::size_t p = columns.size();
  const std::size_t n = y.size();
  if (p == 0 || n <= p) return std::nullopt;
  for (const auto& column : columns) {
    if (column.size() != n) return std::nullopt;
  }
  // Normal equations: (X'X) b = X'y; the inverse of X'X also gives the
  // estimates' variances. Gauss-Jordan with partial pivoting on [X'X | I].
  std::vector<std::vector<double>> a(p, std::vector<double>(2 * p, 0.0));
  std::vector<double> xty(p, 0.0);
  for (std::size_t i = 0; i < p; ++i) {
    for (std::size_t j = 0; j < p; ++j) {
      double sum = 0.0;
      for (std::size_t t = 0; t < n; ++t) sum += columns[i][t] * columns[j][t];
      a[i][j] = sum;
    }
    a[i][p + i] = 1.0;
    for (std::size_t t = 0; t < n; ++t) xty[i] += columns[i][t] * y[t];
  }
  double largestDiagonal = 0.0;
  for (std::size_t i = 0; i < p; ++i) largestDiagonal = std::fmax(largestDiagonal, a[i][i]);
  for (std::size_t col = 0; col < p; ++col) {
    std::size_t pivot = col;
    for (std::size_t row = col + 1; row < p; ++row) {
      if (std::fabs(a[row][col]) > std::fabs(a[pivot][col])) pivot = row;
    }
    if (!(std::fabs(a[pivot][col]) > 1e-12 * largestDiagonal)) return std::nullopt;
    std::swap(a[col], a[pivot]);
    const double scale = a[col][col];
    for (double& value : a[col]) value /= scale;
    for (std::size_t row = 0; row < p; ++row) {
      if (row == col || a[row][col] == 0.0) continue;
      const double factor = a[row][col];
      for (std::size_t k = 0; k < 2 * p; ++k) a[row][k] -= factor * a[col][k];
    }
  }
  LeastSquaresFit fit;
  fit.estimates.assign(p, 0.0);
  for (std::size_t i = 0; i < p; ++i) {
    for (std::size_t j = 0; j < p; ++j) fit.estimates[i] += a[i][p + j] * xty[j];
  }
  double residualSum = 0.0;
  for (std::size_t t = 0; t < n; ++t) {
    double predicted = 0.0;
    for (std::size_t i = 0; i < p; ++i) predicted += columns[i][t] * fit.estimates[i];
    residualSum += (y[t] - predicted) * (y[t] - predicted);
  }
  fit.degreesOfFreedom = static_cast<int>(n - p);
  fit.residualVariance = residualSum / static_cast<double>(fit.degreesOfFreedom);
  fit.tValues.assign(p, 0.0);
  for (std::size_t i = 0; i < p; ++i) {
    const double standardError = std::sqrt(fit.residualVariance * a[i][p + i]);
    fit.tValues[i] = fit.estimates[i] / standardError;
  }
  return fit;
}

std::vector<double> autoregression(const std::vector<double>& series, int order) {
  const std::size_t p = order > 0 ? static_cast<std::size_t>(order) : 0;
  std::vector<double> r(p + 1, 0.0);  // autocovariances, lags 0 .. p
  for (std::size_t k = 0; k <= p; ++k) {
    for (std::size_t t = k; t < series.size(); ++t) r[k] += series[t] * series[t - k];
  }
  if (!(r[0] > 0.0)) return {};
  std::vector<double> phi(p + 1, 0.0), previous;
  double error = r[0];
  for (std::size_t m = 1; m <= p; ++m) {
    double acc = r[m];
    for (std::size_t k = 1; k < m; ++k) acc -= phi[k] * r[m - k];
    const double reflection = std::clamp(acc / error, -0.99, 0.99);
    previous = phi;
    phi[m] = reflection;
    for (std::size_t k = 1; k < m; ++k) phi[k] = previous[k] - reflection * previous[m - k];
    error *= 1.0 - reflection * reflection;
  }
  return phi;
}

std::optional<LeastSquaresFit> fitPrewhitened(const std::vector<std::vector<double>>& columns,
                                              const std::vector<double>& y, int order) {
  const auto first = fitLeastSquares(columns, y);
  if (!first || order < 1) return first;
  std::vector<double> residual = y;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    for (std::size_t t = 0; t < y.size(); ++t) residual[t] -= first->estimates[c] * columns[c][t];
  }
  const std::vector<double> phi = autoregression(residual, order);
  if (phi.empty()) return first;
  const std::size_t p = static_cast<std::size_t>(order);
  auto whiten = [&](const std::vector<double>& x) {
    std::vector<double> w;
    if (p == 1) {
      w.resize(x.size());
      for (std::size_t t = 0; t < x.size(); ++t) {
        w[t] = t == 0 ? std::sqrt(1.0 - phi[1] * phi[1]) * x[0] : x[t] - phi[1] * x[t - 1];
      }
      return w;
    }
    for (std::size_t t = p; t < x.size(); ++t) {
      double v = x[t];
      for (std::size_t k = 1; k <= p; ++k) v -= phi[k] * x[t - k];
      w.push_back(v);
    }
    return w;
  };
  std::vector<std::vector<double>> whitened;
  for (const auto& column : columns) whitened.push_back(whiten(column));
  return fitLeastSquares(whitened, whiten(y));
}

}  // namespace demo
