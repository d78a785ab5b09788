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

}  // namespace demo
