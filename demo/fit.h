// Ordinary least squares, as a researcher fits a design matrix to a region's
// time course: estimates, their t values, and the residual degrees of freedom.
#pragma once

#include <optional>
#include <vector>

namespace demo {

struct LeastSquaresFit {
  std::vector<double> estimates;  // one per column
  std::vector<double> tValues;    // estimate / standard error
  double residualVariance = 0.0;  // residual sum of squares / degrees of freedom
  int degreesOfFreedom = 0;       // rows - columns
};

// Fits y = X b + e with X given column by column. Nothing when the columns do
// not match y in length, are not fewer than the rows, or are linearly dependent.
std::optional<LeastSquaresFit> fitLeastSquares(const std::vector<std::vector<double>>& columns,
                                               const std::vector<double>& y);

// A fit as a first-level analysis makes it: least squares, then once more on
// data and columns prewhitened with an autoregressive model of the first
// fit's residuals of order `order` (Yule-Walker, by Levinson-Durbin, each
// reflection coefficient held within +-0.99). Order 1 is the usual lag-1
// model: row t is x[t] - rho x[t-1], row 0 scaled by sqrt(1 - rho^2). A
// higher order drops the first `order` rows (row t >= order is
// x[t] - sum_k phi_k x[t-k]), so the degrees of freedom are rows - order -
// columns. Order 0 is the least-squares fit alone. Nothing when a fit cannot
// be made (see fitLeastSquares).
std::optional<LeastSquaresFit> fitPrewhitened(const std::vector<std::vector<double>>& columns,
                                              const std::vector<double>& y, int order);

// The autoregressive coefficients phi_1 .. phi_order (index 0 unused, 0) of
// a series by Yule-Walker; empty when the series has no variance.
std::vector<double> autoregression(const std::vector<double>& series, int order);

}  // namespace demo
