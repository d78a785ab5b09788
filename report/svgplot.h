// The QC report's figures, inline SVG: a subject's design over the volumes
// (with the weighted conditions shaded and a motion panel), its framewise
// displacement and, at the neural level, the deconvolution's fit.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "report/qcreport.h"

namespace ppi::analysis::svgplot {

// <figure class="subject" id="figure-K">: one <path class="trace ROLE"> per
// drawn predictor.
std::string subjectFigure(const SubjectReport& subject, std::size_t number);
// <figure class="displacement" id="fd-K">: one <path class="trace fd">, one
// <line class="threshold"> when censoring, one <circle class="censored"> per
// censored volume.
std::string displacementFigure(const MotionReport& motion, std::size_t number);
// <figure class="neural" id="neural-K">: the region signal, the
// deconvolution's fit of it and the neural signal; empty when the
// deconvolution did not run.
std::string neuralFigure(const SubjectReport& subject, std::size_t number);
// <svg class="sparkline">: a design's PPI terms (the first three) over the
// volumes, 100 px wide, each pixel column spanning its volumes' range; empty
// when the design has no PPI term.
std::string sparkline(const std::vector<Predictor>& predictors);

}  // namespace ppi::analysis::svgplot
