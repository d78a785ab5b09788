// Deconvolution of a region signal: an estimate of the neural signal s behind
// a BOLD signal y, given the causal response kernel h the host convolves with,
//
//   y[t] = sum over k <= t of h[k] s[t - k]      (cut at the start of the run),
//
// that is y = H s with H lower-triangular Toeplitz. The BOLD signal's own
// level is free (a z-normalised region signal has its zero at its mean, not
// where the neural signal's is), so the estimate minimises
//
//   |y - H s - c 1|^2 + lambda |D s|^2
//
// over s and an offset c, D the first differences (s[t+1] - s[t]). A
// difference penalty rather than a plain ridge: it does not pull the signal
// towards 0 but towards smoothness, which carries the estimate evenly into
// the last volumes, which the kernel sees little or (when h[0] is 0) not at
// all. The normal equations M s = H^T (y - c 1), M = H^T H + lambda D^T D,
// are banded, of half-bandwidth kernel length - 1 (at least 1), and are
// solved by a sparse LDL^T factorisation in natural order, whose factor keeps
// that band; c follows from the solutions for y and for 1. (The kernel passes
// a constant whole once past its own length, so the offset and the signal's
// level are told apart by the run's first volumes and the penalty: the
// estimate's level means little, its course everything.)
//
// lambda is chosen by generalized cross-validation,
//
//   GCV(lambda) = n |y - H s - c 1|^2 / (n - tr A)^2,
//
// A the hat matrix of the fit (offset included), on a log grid relative to
// the data's own scale (see kGcvGridPoints). Its trace is exact: without the
// offset it is tr(H M^-1 H^T) = n - lambda tr(M^-1 D^T D), where only M^-1's
// three central diagonals enter, computed from the factor by selected
// inversion; the offset adds one rank-one term. Ties go to the larger lambda.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/boundedtext.h"

namespace ppi::analysis {

// The grid: lambda = rho * (mean diagonal of H^T H) / (mean diagonal of D^T D),
// rho = 10^(kGcvLowestExponent + k * kGcvExponentStep), k = 0 .. kGcvGridPoints - 1,
// so rho runs from 1e-4 to 1e2 in quarter decades. GCV is evaluated at every
// half decade (even k) first, then at the quarter decades on either side of
// the best of those: 15 factorisations, and the same choice as the whole grid
// wherever GCV falls and rises only once along it.
constexpr int kGcvGridPoints = 25;
constexpr double kGcvLowestExponent = -4.0;
constexpr double kGcvExponentStep = 0.25;

// Where the chosen penalty lies on the grid: at its lowest point (the fit
// follows the data, noise and all, as closely as the grid allows), at its
// highest (the smoothest signal the grid allows), or between.
enum class GridEdge { none, lowest, highest };

struct NeuralEstimate {
  bool ok = false;
  std::vector<float> values;     // one per volume of the BOLD signal
  double lambda = 0.0;           // the penalty weight chosen
  double relativePenalty = 0.0;  // rho of that weight (see the grid above)
  int gridPoint = -1;            // k of that weight
  GridEdge edge = GridEdge::none;
  double gcv = 0.0;          // its GCV score
  double hatTrace = 0.0;     // tr A at that weight: the fit's effective parameters
  double offset = 0.0;       // c: the BOLD signal's level the fit took apart
  MessageText why;           // empty when ok; otherwise why there is no estimate
};

// The weights the neural-level factor was centred on: couplingWeights, or
// the resolution diagonal where those could not serve (none: not yet formed).
enum class FactorCentre { none, coupling, resolution };

// "coupling weights", "resolution diagonal" or "" for none.
const char* factorCentreName(FactorCentre centre);

// How a subject's deconvolution went, for its record, its QC report and the
// dialog: nothing (done false) at the BOLD level.
struct DeconvolutionSummary {
  bool done = false;
  std::size_t volumes = 0;        // of the region signal
  std::size_t kernelVolumes = 0;  // of the host's kernel as measured
  double penalty = 0.0;           // lambda
  double relativePenalty = 0.0;   // rho
  double effectiveParameters = 0.0;
  GridEdge edge = GridEdge::none;
  FactorCentre factorCentre = FactorCentre::none;  // set once the terms are formed
};

DeconvolutionSummary summarizeDeconvolution(const NeuralEstimate& estimate,
                                            std::size_t kernelVolumes);

// Effective parameters above this share of the volumes: the fit has spent
// nearly a parameter on every volume, and the "neural signal" is mostly noise.
constexpr double kEffectiveParameterLimit = 0.9;

// The warning's own text; separationWarning adds the figures behind it.
constexpr const char* kNotSeparatedFromNoise =
    "the region signal could not be separated from noise at the neural level; prefer the BOLD "
    "level or the mean for this subject";

// The one rule for a deconvolution that cannot be trusted: the penalty on the
// grid's lowest point, or more effective parameters than kEffectiveParameterLimit
// of the volumes. Empty when the deconvolution went well (or did not run);
// otherwise kNotSeparatedFromNoise followed by the figures in parentheses.
std::string separationWarning(const DeconvolutionSummary& summary);

// "lowest", "highest" or "" for none.
const char* gridEdgeName(GridEdge edge);

// Estimates the neural signal behind `bold` (one value per volume, e.g. the
// z-normalised region signal) for the kernel `kernel` (one value per volume of
// lag, from lag 0; longer than the run: cut to it). Fails, saying why, for
// fewer than 2 volumes, a kernel that is empty or all zero, values that are
// not finite, or a factorisation that breaks down.
NeuralEstimate deconvolve(const std::vector<float>& bold, const std::vector<double>& kernel);

// The diagonal of the resolution matrix R = D H of the map D at `lambda`: how
// much of a neural impulse at each volume its own volume's estimate shows.
// Empty when a deconvolution fails.
std::vector<double> resolutionDiagonal(std::size_t volumes, const std::vector<double>& kernel,
                                       double lambda);

// Lags of the region signal's autocovariance beyond the kernel's length that
// couplingWeights takes in.
constexpr std::size_t kCouplingExtraLags = 0;

// The share of the region signal's sum of squares the columns must leave
// for couplingWeights to give weights: below it the signal is the task's
// alone, up to rounding.
constexpr double kCouplingLeastRest = 1e-6;

// couplingWeights' weights are used only while their sum is more than this
// share of their absolute sum: weights of both signs that nearly cancel would
// put the centre anywhere.
constexpr double kCouplingWeightBalance = 0.25;

// The centring weights w of the psychological factor p of a neural-level
// term, H ((p - c) . D_c y), c = sum w_t p_t / sum w_t, D_c the map from the
// region signal y to its centred estimate at `lambda` (deconvolve, then the
// mean taken out), for a design whose columns other than the PPI terms, the
// region signal and the constant are `columns` (one value per volume each).
//
// Why: let y = S + e, e white noise of the seed's measurement. A region
// coupled to the seed carries a multiple of S. Once the design's columns X
// and y are fitted, its residual keeps a multiple of P (S - b y), P the
// annihilator of X and the constant, b the (attenuated) coefficient of y.
// The term's expected product with that residual is, to first order,
//
//   sum over t of (p_t - c) (D_c K P H)_tt,   K = Cov(S) - b Cov(y),
//
// a bias in every region coupled to the seed wherever it is not 0. K is
// the seed signal's autocovariance at lags of 1 and more (the white noise
// enters only the diagonal; the task part, P removes) and on its diagonal
// the value that makes tr(P K) = 0, which is what the fit of b does. So
// w_t = (D_c K P H)_tt, K taken from the autocovariance of P y at lags 1 to
// the kernel's length (and kCouplingExtraLags more). With the seed observed
// exactly K is 0 and every centre is as good.
//
// Empty when the weights cannot serve (see kCouplingWeightBalance), when
// `region` leaves nothing beyond the columns' span, or when a column is not
// one value per volume or not finite; the caller then falls back on the
// resolution diagonal.
std::vector<double> couplingWeights(const std::vector<float>& region,
                                    const std::vector<std::vector<float>>& columns,
                                    const std::vector<double>& kernel, double lambda);

}  // namespace ppi::analysis
