// The interaction (PPI) term of one subject under the run's method options.
//
// BOLD level (interactionLevel 0), for a psychological variable p (the
// box-car of weights, or of one condition) and the z-normalised region
// signal y:
//
//   PPI = (h * p - centre) . y
//
// with h * p the host's convolution of p, "." the product volume by volume,
// and centre the mean of h * p over the run under centrePsych 1, else 0.
//
// Neural level (interactionLevel 1):
//
//   PPI = h * ((p - centre) . s)
//
// with s the neural signal estimated from y by deconvolution with the
// host's own kernel h (numerics/deconvolution.h), measured per subject
// through the host's convolution (run/hostresponse.h), and then centred
// over the run: the estimate's level is not determined by the data (see
// deconvolve), and a centred s keeps the term free of a multiple of h * p,
// just as the z-normalised y at the BOLD level. centrePsych has no say here:
// p is always centred, on
//
//   centre = sum over t of w_t p_t / sum over t of w_t,
//
// w the coupling weights of the design's task columns (couplingWeights in
// numerics/deconvolution.h). Why: write y = S + e, e the seed's measurement
// noise. The region signal in the model explains only part of a coupled
// region's S (its coefficient is attenuated by e); the region's residual
// keeps the rest, and the term's expected product with it is a sum over
// volumes of (p_t - centre) w_t, which vanishes for this centre and no
// other. The weights hold what the deconvolution resolves of each volume,
// the seed signal's autocovariance and what the task columns leave of it;
// where they nearly cancel (a seed signal with no course of its own beyond
// the task, or all noise) the resolution matrix's diagonal (D H)_tt serves,
// which keeps the term's product with e itself at 0. The plain mean, or the
// resolution diagonal alone, leaves a bias of the sign of p's mean in every
// region coupled to the seed when the seed is observed with noise. Uncentred the
// term would carry centre times the deconvolution's residual (mostly e, which
// y carries but s does not), so that it follows the seed's ordinary coupling
// to a region and shows an "interaction" wherever p's mean is not 0: a
// one-sided or unbalanced contrast, every term of the generalized approach.
// At the BOLD level centring changes no t of the term (the centred and
// uncentred terms span the same columns once y is in the model), which is
// why it stays optional there.
// No other scaling: H s reproduces y in its own units, so the term is on the
// BOLD-level term's scale.
#pragma once

#include <vector>

#include "common/boundedtext.h"
#include "common/outcome.h"
#include "design/methodoptions.h"
#include "numerics/deconvolution.h"

namespace ppi::analysis {

struct InteractionInputs {
  MethodOptions options;
  std::vector<float> neural;  // s, centred, one value per volume; at the neural level only
  DeconvolutionSummary deconvolution;  // how the deconvolution went; done at the neural level
  // The fit the deconvolution made of the region signal, H s + c (s before
  // centring), one value per volume; at the neural level only, for the QC report.
  std::vector<float> reconvolved;
  // r: the diagonal of the deconvolution's resolution matrix, the factor's
  // centring weights when the design's own give none; at the neural level only.
  std::vector<double> resolution;
  // The host's kernel as measured and the penalty chosen; at the neural level only.
  std::vector<double> kernel;
  double lambda = 0.0;
};

// The factor's centring weights at the neural level for a design whose task
// columns the host holds under `taskNames` (couplingWeights), or the
// resolution diagonal where those give none, noting which in
// inputs.deconvolution.factorCentre; empty at the BOLD level.
std::vector<double> factorWeights(const std::vector<float>& region, InteractionInputs& inputs,
                                  const std::vector<const char*>& taskNames);

// Prepares a subject's inputs before its design matrix is built: logs one
// line naming the options when any is non-zero, and at the neural level
// measures the host's kernel (which clears the host's design matrix) and
// deconvolves `region`, logging the kernel's length and the penalty chosen.
// Fails, after one log line naming the time course, when the host's
// convolution cannot be measured or is not linear and shift-invariant (the
// neural level is refused for the run), or the deconvolution fails.
Outcome prepareInteraction(const MethodOptions& options, const std::vector<float>& region,
                           const char* vtcPath, InteractionInputs& inputs);

// Forms the term in the host's predictor `name`, which holds p, unconvolved;
// at the neural level p is centred on `weights` (factorWeights).
// Fails, after one log line, when the host hands out no values for it.
Outcome formInteraction(const char* name, const std::vector<float>& region,
                        const InteractionInputs& inputs, const std::vector<double>& weights);

// Subtracts the mean (summed in double precision) from `count` values.
void centreOverRun(float* values, std::size_t count);

// Subtracts the mean weighted by `weights` (one per value, summing to more
// than 0), summed in double precision.
void centreWeighted(float* values, const std::vector<double>& weights);

}  // namespace ppi::analysis
