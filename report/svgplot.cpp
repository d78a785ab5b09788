#include "report/svgplot.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/boundedtext.h"
#include "report/htmltext.h"

namespace ppi::analysis::svgplot {

using htmltext::appendEscaped;
using htmltext::fixed;
using htmltext::integer;
using htmltext::signedWeight;

namespace {

// A coordinate in the figure: one decimal is finer than a pixel.
void appendCoordinate(std::string& out, double value) {
  char text[32];
  formatBounded(text, sizeof text, "%.1f", value);
  out += text;
}

// ---------------------------------------------------------------- axes ----

// Tick marks at round values, steps of 1, 2 or 5 times a power of ten.
struct Ticks {
  double step = 1;
  int decimals = 0;  // enough to print every tick exactly
  std::vector<double> values;
};

Ticks roundTicks(double low, double high, int wanted) {
  Ticks ticks;
  const double raw = (high - low) / std::max(wanted, 1);
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double normal = raw / magnitude;
  ticks.step = (normal < 1.5 ? 1 : normal < 3.5 ? 2 : normal < 7.5 ? 5 : 10) * magnitude;
  ticks.decimals = std::max(0, static_cast<int>(-std::floor(std::log10(ticks.step) + 1e-9)));
  const double first = std::ceil(low / ticks.step - 1e-9);
  const double last = std::floor(high / ticks.step + 1e-9);
  // Bounded, should the step be lost in the rounding of very large values.
  for (double k = first; k <= last && ticks.values.size() < 100; ++k) {
    ticks.values.push_back(k * ticks.step);
  }
  return ticks;
}

// A value range widened to round ends, never empty.
struct Range {
  double low = -1;
  double high = 1;
};

Range roundRange(double low, double high) {
  if (!(high > low)) {
    const double half = low == 0 ? 1 : std::fabs(low) * 0.5;
    low -= half;
    high += half;
  }
  const Ticks ticks = roundTicks(low, high, 5);
  return {std::floor(low / ticks.step + 1e-9) * ticks.step,
          std::ceil(high / ticks.step - 1e-9) * ticks.step};
}

// ------------------------------------------------------------- figure ----

enum class Panel { main, motion };

struct TraceStyle {
  const char* roleClass;
  const char* colour;
  const char* dash;  // empty: solid
  double width;
  Panel panel;
};

struct Trace {
  const Predictor* predictor;
  TraceStyle style;
};

constexpr const char* kTaskColours[] = {"#1f77b4", "#17becf", "#9467bd", "#8c564b", "#7f7f7f"};
constexpr const char* kPpiColours[] = {"#d62728", "#ff7f0e", "#e377c2", "#bcbd22", "#6b3e00"};
constexpr const char* kComplementaryColour = "#2ca02c";
constexpr const char* kMotionColours[] = {"#1b9e77", "#d95f02", "#7570b3",
                                          "#e7298a", "#66a61e", "#a6761d"};
constexpr const char* kPositiveShades[] = {"#4daf4a", "#377eb8", "#984ea3"};
constexpr const char* kNegativeShades[] = {"#ff7f00", "#e41a1c", "#a65628"};
constexpr double kShadeOpacity = 0.14;
// The most traces of one role a figure draws (and conditions it shades): more
// overlaid lines cannot be told apart. Motion predictors: the 24-parameter
// model.
constexpr std::size_t kDrawnPerRole = 10;
constexpr std::size_t kDrawnMotion = 24;
constexpr double kSparklineWidth = 102;
constexpr double kSparklineHeight = 30;
constexpr std::size_t kSparklineTerms = 3;

// Styles the drawn predictors: one colour per trace within its role, a dash
// pattern per role, so that the legend tells every one apart. Of a role with
// more predictors than a figure can tell apart the first kDrawnPerRole are
// drawn; `omitted` counts the others.
std::vector<Trace> drawnTraces(const std::vector<Predictor>& predictors, std::size_t& omitted) {
  std::vector<Trace> traces;
  std::size_t tasks = 0, ppis = 0, complementaries = 0, motions = 0;
  omitted = 0;
  for (const Predictor& predictor : predictors) {
    const std::size_t drawnOfRole = predictor.role == PredictorRole::task       ? tasks
                                    : predictor.role == PredictorRole::ppiTerm  ? ppis
                                    : predictor.role == PredictorRole::motion   ? motions
                                    : predictor.role == PredictorRole::complementary
                                        ? complementaries
                                        : 0;
    if (drawnOfRole >= (predictor.role == PredictorRole::motion ? kDrawnMotion : kDrawnPerRole)) {
      ++omitted;
      continue;
    }
    TraceStyle style{};
    switch (predictor.role) {
      case PredictorRole::regionSignal:
        style = {"signal", "#222222", "", 1.6, Panel::main};
        break;
      case PredictorRole::task:
        style = {"task", kTaskColours[tasks % 5], tasks < 5 ? "7 4" : "2 2 7 2", 1.7, Panel::main};
        ++tasks;
        break;
      case PredictorRole::ppiTerm:
        style = {"ppi", kPpiColours[ppis % 5], ppis < 5 ? "" : "10 3", 2.0, Panel::main};
        ++ppis;
        break;
      case PredictorRole::complementary:
        style = {"complementary", complementaries % 2 ? "#006d2c" : kComplementaryColour, "2 3",
                 1.8, Panel::main};
        ++complementaries;
        break;
      case PredictorRole::motion: {
        // Translations first, then rotations (dashed), as the motion files list them.
        const std::size_t k = motions % 6;
        style = {"motion", kMotionColours[k], k < 3 ? (motions < 6 ? "" : "1 2") : "6 3", 1.3,
                 Panel::motion};
        ++motions;
        break;
      }
      case PredictorRole::constant:
      case PredictorRole::other:
        continue;
    }
    traces.push_back({&predictor, style});
  }
  // Drawn (and listed) region signal first and PPI terms last, on top.
  const auto layer = [](const Trace& trace) {
    switch (trace.predictor->role) {
      case PredictorRole::regionSignal:
        return 0;
      case PredictorRole::task:
        return 1;
      case PredictorRole::complementary:
        return 2;
      case PredictorRole::ppiTerm:
        return 3;
      default:
        return 4;
    }
  };
  std::stable_sort(traces.begin(), traces.end(),
                   [&](const Trace& a, const Trace& b) { return layer(a) < layer(b); });
  return traces;
}

struct PanelBox {
  double left, top, width, height;
  double xLow, xHigh;
  Range y;
  double x(double volume) const { return left + (volume - xLow) / (xHigh - xLow) * width; }
  double yAt(double value) const { return top + (y.high - value) / (y.high - y.low) * height; }
};

constexpr double kFigureWidth = 960;
constexpr double kPlotLeft = 74;
constexpr double kPlotRight = 16;
constexpr double kMainHeight = 250;
constexpr double kMotionHeight = 130;
constexpr double kPanelGap = 16;
constexpr double kLegendColumnWidth = 290;
constexpr double kLegendRowHeight = 20;
constexpr std::size_t kLegendNameLimit = 36;

Range valueRange(const std::vector<Trace>& traces, Panel panel) {
  double low = 0, high = 0;  // the zero line is always in view
  for (const Trace& trace : traces) {
    if (trace.style.panel != panel) continue;
    for (float value : trace.predictor->values) {
      if (!std::isfinite(value)) continue;
      low = std::min(low, static_cast<double>(value));
      high = std::max(high, static_cast<double>(value));
    }
  }
  return roundRange(low, high);
}

const char* shadeColour(const ConditionBoxCar& boxCar, std::size_t& positives,
                        std::size_t& negatives) {
  if (boxCar.weight < 0) return kNegativeShades[negatives++ % 3];
  return kPositiveShades[positives++ % 3];
}

void appendShading(std::string& svg, const PanelBox& box,
                   const std::vector<ConditionBoxCar>& boxCars,
                   const std::vector<const char*>& colours) {
  for (std::size_t c = 0; c < boxCars.size(); ++c) {
    const std::vector<float>& values = boxCars[c].values;
    for (std::size_t v = 0; v < values.size();) {
      if (!(values[v] != 0 && std::isfinite(values[v]))) {
        ++v;
        continue;
      }
      std::size_t end = v;
      while (end < values.size() && values[end] != 0 && std::isfinite(values[end])) ++end;
      // Volume v (from 0) is drawn at v + 1; a block covers half a volume either side.
      const double x0 = std::max(box.left, box.x(static_cast<double>(v) + 0.5));
      const double x1 = std::min(box.left + box.width, box.x(static_cast<double>(end) + 0.5));
      svg += "<rect class=\"shade\" x=\"";
      appendCoordinate(svg, x0);
      svg += "\" y=\"";
      appendCoordinate(svg, box.top);
      svg += "\" width=\"";
      appendCoordinate(svg, std::max(0.0, x1 - x0));
      svg += "\" height=\"";
      appendCoordinate(svg, box.height);
      svg += "\" fill=\"";
      svg += colours[c];
      svg += "\" fill-opacity=\"" + fixed(kShadeOpacity, 2) + "\"/>\n";
      v = end;
    }
  }
}

// Starts a line element of `type` from (x1, y1) to (x2, y2); the caller ends it.
void appendLineStart(std::string& svg, const char* type, double x1, double x2, double y1,
                     double y2) {
  svg += "<line class=\"";
  svg += type;
  svg += "\" x1=\"";
  appendCoordinate(svg, x1);
  svg += "\" x2=\"";
  appendCoordinate(svg, x2);
  svg += "\" y1=\"";
  appendCoordinate(svg, y1);
  svg += "\" y2=\"";
  appendCoordinate(svg, y2);
}

void appendYAxis(std::string& svg, const PanelBox& box, const char* title) {
  const Ticks ticks = roundTicks(box.y.low, box.y.high, box.height > 200 ? 6 : 4);
  for (double value : ticks.values) {
    const double y = box.yAt(value);
    appendLineStart(svg, "grid", box.left, box.left + box.width, y, y);
    svg += "\"/>\n<text class=\"tick y\" x=\"";
    appendCoordinate(svg, box.left - 6);
    svg += "\" y=\"";
    appendCoordinate(svg, y + 4);
    svg += "\" text-anchor=\"end\">" + fixed(value, ticks.decimals) + "</text>\n";
  }
  if (box.y.low <= 0 && box.y.high >= 0) {
    const double y = box.yAt(0);
    appendLineStart(svg, "zero", box.left, box.left + box.width, y, y);
    svg += "\"/>\n";
  }
  svg += "<text class=\"axis-title\" transform=\"translate(16 ";
  appendCoordinate(svg, box.top + box.height / 2);
  svg += ") rotate(-90)\" text-anchor=\"middle\">";
  svg += title;
  svg += "</text>\n";
}

void appendXGrid(std::string& svg, const PanelBox& box, const Ticks& ticks) {
  for (double value : ticks.values) {
    appendLineStart(svg, "grid", box.x(value), box.x(value), box.top, box.top + box.height);
    svg += "\"/>\n";
  }
}

// The path data of `values` over the volumes (volume v from 0 drawn at
// v + 1): a line through the finite values, broken where one is not.
template <typename Value>
void appendPathData(std::string& svg, const PanelBox& box, const std::vector<Value>& values) {
  bool drawing = false;
  for (std::size_t v = 0; v < values.size(); ++v) {
    if (!std::isfinite(values[v])) {
      drawing = false;
      continue;
    }
    svg += drawing ? " " : (v == 0 ? "M" : " M");
    appendCoordinate(svg, box.x(static_cast<double>(v + 1)));
    svg += ' ';
    appendCoordinate(svg, box.yAt(values[v]));
    drawing = true;
  }
}

void appendTrace(std::string& svg, const PanelBox& box, const Trace& trace) {
  const TraceStyle& style = trace.style;
  svg += "<path class=\"trace ";
  svg += style.roleClass;
  svg += "\" fill=\"none\" stroke=\"";
  svg += style.colour;
  svg += "\" stroke-width=\"" + fixed(style.width, 1) + "\" stroke-linejoin=\"round\"";
  if (*style.dash != '\0') {
    svg += " stroke-dasharray=\"";
    svg += style.dash;
    svg += "\"";
  }
  svg += " d=\"";
  appendPathData(svg, box, trace.predictor->values);
  svg += "\"><title>";
  appendEscaped(svg, trace.predictor->name);
  svg += "</title></path>\n";
}

void appendPanelFrame(std::string& svg, const PanelBox& box) {
  svg += "<rect class=\"frame\" x=\"";
  appendCoordinate(svg, box.left);
  svg += "\" y=\"";
  appendCoordinate(svg, box.top);
  svg += "\" width=\"";
  appendCoordinate(svg, box.width);
  svg += "\" height=\"";
  appendCoordinate(svg, box.height);
  svg += "\"/>\n";
}

// The x axis under `box`: a tick mark and label per tick, and its title.
void appendVolumeAxis(std::string& svg, const PanelBox& box, const Ticks& ticks) {
  const double axisBottom = box.top + box.height;
  for (double value : ticks.values) {
    appendLineStart(svg, "tickmark", box.x(value), box.x(value), axisBottom, axisBottom + 5);
    svg += "\"/>\n<text class=\"tick x\" x=\"";
    appendCoordinate(svg, box.x(value));
    svg += "\" y=\"";
    appendCoordinate(svg, axisBottom + 19);
    svg += "\" text-anchor=\"middle\">" + fixed(value, ticks.decimals) + "</text>\n";
  }
  svg += "<text class=\"axis-title\" x=\"";
  appendCoordinate(svg, box.left + box.width / 2);
  svg += "\" y=\"";
  appendCoordinate(svg, axisBottom + 38);
  svg += "\" text-anchor=\"middle\">Volume</text>\n";
}

// A figure's <svg> element, as wide as every figure and `height` high.
void appendSvgStart(std::string& svg, double height) {
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + fixed(kFigureWidth, 0) +
         "\" height=\"" + fixed(height, 0) + "\" viewBox=\"0 0 " + fixed(kFigureWidth, 0) + " " +
         fixed(height, 0) + "\" role=\"img\">\n";
}

struct LegendItem {
  std::string label;   // user text, escaped when written
  std::string suffix;  // the plug-in's own text after it
  const char* colour;
  const char* dash;
  double width;
  bool area;  // a shaded condition, not a line
};

void appendLegend(std::string& svg, const std::vector<LegendItem>& items, double top) {
  const int columns = static_cast<int>((kFigureWidth - kPlotLeft) / kLegendColumnWidth);
  for (std::size_t i = 0; i < items.size(); ++i) {
    const LegendItem& item = items[i];
    const double x =
        kPlotLeft + static_cast<double>(static_cast<int>(i) % columns) * kLegendColumnWidth;
    const double y = top + static_cast<double>(static_cast<int>(i) / columns) * kLegendRowHeight;
    if (item.area) {
      svg += "<rect class=\"key\" x=\"";
      appendCoordinate(svg, x);
      svg += "\" y=\"";
      appendCoordinate(svg, y - 6);
      svg += "\" width=\"30\" height=\"12\" fill=\"";
      svg += item.colour;
      svg += "\" fill-opacity=\"" + fixed(kShadeOpacity * 2, 2) + "\" stroke=\"";
      svg += item.colour;
      svg += "\" stroke-opacity=\"0.5\"/>\n";
    } else {
      appendLineStart(svg, "key", x, x + 30, y, y);
      svg += "\" stroke=\"";
      svg += item.colour;
      svg += "\" stroke-width=\"" + fixed(item.width, 1) + "\"";
      if (*item.dash != '\0') {
        svg += " stroke-dasharray=\"";
        svg += item.dash;
        svg += "\"";
      }
      svg += "/>\n";
    }
    svg += "<text class=\"legend\" x=\"";
    appendCoordinate(svg, x + 38);
    svg += "\" y=\"";
    appendCoordinate(svg, y + 4);
    svg += "\">";
    if (item.label.size() > kLegendNameLimit) {
      svg += "<title>";
      appendEscaped(svg, item.label);
      svg += "</title>";
    }
    appendEscaped(svg, item.label, kLegendNameLimit);
    svg += item.suffix;
    svg += "</text>\n";
  }
}

// A legend item for each drawn trace, after those already in `legend`.
void appendTraceLegend(std::vector<LegendItem>& legend, const std::vector<Trace>& traces) {
  for (const Trace& trace : traces) {
    legend.push_back({trace.predictor->name, "", trace.style.colour, trace.style.dash,
                      trace.style.width, false});
  }
}

// The height a legend of `items` takes below its top, in rows of columns.
double legendHeight(std::size_t items) {
  const int columns = static_cast<int>((kFigureWidth - kPlotLeft) / kLegendColumnWidth);
  const double rows = std::ceil(static_cast<double>(items) / columns);
  return rows * kLegendRowHeight + 4;
}

}  // namespace

std::string subjectFigure(const SubjectReport& subject, std::size_t number) {
  std::size_t omitted = 0;
  const std::vector<Trace> traces = drawnTraces(subject.predictors, omitted);
  const std::vector<ConditionBoxCar> shaded(
      subject.boxCars.begin(),
      subject.boxCars.begin() +
          static_cast<std::ptrdiff_t>(std::min(subject.boxCars.size(), kDrawnPerRole)));
  std::size_t volumes = 0;
  bool motion = false;
  for (const Trace& trace : traces) {
    volumes = std::max(volumes, trace.predictor->values.size());
    motion = motion || trace.style.panel == Panel::motion;
  }
  const double xHigh = static_cast<double>(std::max<std::size_t>(volumes, 1));
  const Ticks xTicks = roundTicks(0, xHigh, 10);
  const double plotWidth = kFigureWidth - kPlotLeft - kPlotRight;

  PanelBox mainBox{
      kPlotLeft, 10, plotWidth, kMainHeight, 0, xHigh, valueRange(traces, Panel::main)};
  PanelBox motionBox = mainBox;
  motionBox.top = mainBox.top + mainBox.height + kPanelGap;
  motionBox.height = kMotionHeight;
  motionBox.y = valueRange(traces, Panel::motion);
  const PanelBox& lowest = motion ? motionBox : mainBox;
  const double axisBottom = lowest.top + lowest.height;

  std::vector<const char*> shades;
  std::size_t positives = 0, negatives = 0;
  for (const ConditionBoxCar& boxCar : shaded) {
    shades.push_back(shadeColour(boxCar, positives, negatives));
  }
  std::vector<LegendItem> legend;
  for (std::size_t c = 0; c < shaded.size(); ++c) {
    legend.push_back({shaded[c].name, " (weight " + signedWeight(shaded[c].weight) + ")",
                      shades[c], "", 0, true});
  }
  appendTraceLegend(legend, traces);
  const double legendTop = axisBottom + 52;
  const double height = legendTop + legendHeight(legend.size());

  std::string svg;
  svg +=
      "<figure class=\"subject\" id=\"figure-" + integer(static_cast<long long>(number)) + "\">\n";
  appendSvgStart(svg, height);
  appendShading(svg, mainBox, shaded, shades);
  appendXGrid(svg, mainBox, xTicks);
  appendYAxis(svg, mainBox, "Predictor value");
  if (motion) {
    appendShading(svg, motionBox, shaded, shades);
    appendXGrid(svg, motionBox, xTicks);
    appendYAxis(svg, motionBox, "Motion");
  }
  for (const Trace& trace : traces) {
    appendTrace(svg, trace.style.panel == Panel::motion ? motionBox : mainBox, trace);
  }
  appendPanelFrame(svg, mainBox);
  if (motion) appendPanelFrame(svg, motionBox);
  appendVolumeAxis(svg, lowest, xTicks);
  appendLegend(svg, legend, legendTop);
  svg += "</svg>\n<figcaption>Subject " + integer(static_cast<long long>(number)) +
         ": the design's predictors over the volumes (counted from 1)";
  if (!subject.boxCars.empty()) svg += "; shaded: the weighted conditions, before convolution";
  if (motion) svg += "; below: the motion predictors";
  if (omitted > 0 || shaded.size() < subject.boxCars.size()) {
    svg += "; drawn: the first " + integer(static_cast<long long>(kDrawnPerRole)) +
           " of each kind, " + integer(static_cast<long long>(omitted)) + " predictors and " +
           integer(static_cast<long long>(subject.boxCars.size() - shaded.size())) +
           " conditions not drawn";
  }
  svg += ".</figcaption>\n</figure>\n";
  return svg;
}

// The subject's framewise displacement over the volumes, with the censoring
// threshold as a dashed line and a mark at each censored volume:
// <figure class="displacement" id="fd-K">, one <path class="trace fd">, one
// <line class="threshold"> when censoring, one <circle class="censored"> per
// censored volume.
std::string displacementFigure(const MotionReport& motion, std::size_t number) {
  const std::vector<double>& fd = motion.displacement;
  const double xHigh = static_cast<double>(std::max<std::size_t>(fd.size(), 1));
  const Ticks xTicks = roundTicks(0, xHigh, 10);
  double high = motion.censorFD;
  for (double value : fd) {
    if (std::isfinite(value)) high = std::max(high, value);
  }
  const PanelBox box{kPlotLeft, 10, kFigureWidth - kPlotLeft - kPlotRight, kMotionHeight, 0, xHigh,
                     roundRange(0, high)};
  const double axisBottom = box.top + box.height;
  const double height = axisBottom + 46;
  const std::string id = integer(static_cast<long long>(number));

  std::string svg = "<figure class=\"displacement\" id=\"fd-" + id + "\">\n";
  appendSvgStart(svg, height);
  appendXGrid(svg, box, xTicks);
  appendYAxis(svg, box, "FD [mm]");
  svg += "<path class=\"trace fd\" fill=\"none\" stroke=\"#333333\" stroke-width=\"1.2\" "
         "stroke-linejoin=\"round\" d=\"";
  appendPathData(svg, box, fd);
  svg += "\"><title>framewise displacement</title></path>\n";
  if (motion.censorFD > 0) {
    const double y = box.yAt(motion.censorFD);
    appendLineStart(svg, "threshold", box.left, box.left + box.width, y, y);
    svg += "\" stroke=\"#a10000\" stroke-dasharray=\"6 4\"><title>censoring threshold " +
           fixed(motion.censorFD, 2) + " mm</title></line>\n";
  }
  for (std::size_t volume : motion.censored) {
    if (volume >= fd.size()) continue;
    svg += "<circle class=\"censored\" r=\"3.5\" fill=\"#a10000\" cx=\"";
    appendCoordinate(svg, box.x(static_cast<double>(volume + 1)));
    svg += "\" cy=\"";
    appendCoordinate(svg, box.yAt(std::isfinite(fd[volume]) ? fd[volume] : high));
    svg += "\"><title>volume " + integer(static_cast<long long>(volume + 1)) +
           " censored</title></circle>\n";
  }
  appendPanelFrame(svg, box);
  appendVolumeAxis(svg, box, xTicks);
  svg += "</svg>\n<figcaption>Subject " + id +
         ": framewise displacement (sum of the absolute volume-to-volume changes of the three "
         "translations and of the three rotations as arc length on a 50 mm sphere); mean " +
         fixed(motion.meanFD, 3) + " mm, maximum " + fixed(motion.maxFD, 3) + " mm";
  if (motion.censorFD > 0) {
    svg += "; dashed: the censoring threshold of " + fixed(motion.censorFD, 2) + " mm, " +
           integer(static_cast<long long>(motion.censored.size())) +
           " volumes above it censored (marked)";
  }
  svg += ".</figcaption>\n</figure>\n";
  return svg;
}

// The neural level's figure: the region signal, the deconvolution's fit of it
// (the neural signal reconvolved with the host's kernel, plus the offset) and
// the neural signal itself, over the volumes. Empty when the deconvolution did
// not run.
std::string neuralFigure(const SubjectReport& subject, std::size_t number) {
  if (!subject.deconvolution.done || subject.neuralSignal.empty()) return {};
  std::vector<Predictor> shown;
  for (const Predictor& predictor : subject.predictors) {
    if (predictor.role == PredictorRole::regionSignal) {
      shown.push_back(predictor);
      break;
    }
  }
  shown.push_back({"Fit: neural signal reconvolved", subject.reconvolved, PredictorRole::other});
  shown.push_back({"Neural signal (deconvolved)", subject.neuralSignal, PredictorRole::other});
  const TraceStyle styles[] = {{"signal", "#222222", "", 1.6, Panel::main},
                               {"fit", "#d62728", "5 3", 1.6, Panel::main},
                               {"neural", "#1f77b4", "", 1.2, Panel::main}};
  std::vector<Trace> traces;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    traces.push_back({&shown[i], styles[shown.size() == 3 ? i : i + 1]});
  }
  std::size_t volumes = 0;
  for (const Trace& trace : traces) volumes = std::max(volumes, trace.predictor->values.size());
  const double xHigh = static_cast<double>(std::max<std::size_t>(volumes, 1));
  const Ticks xTicks = roundTicks(0, xHigh, 10);
  const double plotWidth = kFigureWidth - kPlotLeft - kPlotRight;
  const PanelBox box{
      kPlotLeft, 10, plotWidth, kMainHeight, 0, xHigh, valueRange(traces, Panel::main)};
  const double axisBottom = box.top + box.height;
  std::vector<LegendItem> legend;
  appendTraceLegend(legend, traces);
  const double legendTop = axisBottom + 52;
  const double height = legendTop + legendHeight(legend.size());

  std::string svg;
  svg +=
      "<figure class=\"neural\" id=\"neural-" + integer(static_cast<long long>(number)) + "\">\n";
  appendSvgStart(svg, height);
  appendXGrid(svg, box, xTicks);
  appendYAxis(svg, box, "Signal");
  for (const Trace& trace : traces) appendTrace(svg, box, trace);
  appendPanelFrame(svg, box);
  appendVolumeAxis(svg, box, xTicks);
  appendLegend(svg, legend, legendTop);
  svg += "</svg>\n<figcaption>Subject " + integer(static_cast<long long>(number)) +
         ", neural level: the region signal, the deconvolution's fit of it and the neural "
         "signal it estimated (centred), which the PPI terms multiply. A fit that follows every "
         "wiggle of the region signal, with a jagged neural signal, has modelled noise.</figcaption>\n"
         "</figure>\n";
  return svg;
}

std::string sparkline(const std::vector<Predictor>& predictors) {
  std::vector<const Predictor*> terms;
  std::size_t all = 0;
  for (const Predictor& predictor : predictors) {
    if (predictor.role != PredictorRole::ppiTerm) continue;
    if (terms.size() < kSparklineTerms) terms.push_back(&predictor);
    ++all;
  }
  if (terms.empty()) return {};
  std::size_t volumes = 0;
  double low = 0, high = 0;
  for (const Predictor* term : terms) {
    volumes = std::max(volumes, term->values.size());
    for (float value : term->values) {
      if (!std::isfinite(value)) continue;
      low = std::min(low, static_cast<double>(value));
      high = std::max(high, static_cast<double>(value));
    }
  }
  if (!(high > low)) high = low + 1;
  const PanelBox box{1, 1, kSparklineWidth - 2, kSparklineHeight - 2, 0.5,
                     static_cast<double>(std::max<std::size_t>(volumes, 1)) + 0.5, {low, high}};
  std::string svg = "<svg class=\"sparkline\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    fixed(kSparklineWidth, 0) + "\" height=\"" + fixed(kSparklineHeight, 0) +
                    "\" viewBox=\"0 0 " + fixed(kSparklineWidth, 0) + " " +
                    fixed(kSparklineHeight, 0) + "\" role=\"img\"><title>";
  for (std::size_t t = 0; t < terms.size(); ++t) {
    if (t > 0) svg += ", ";
    appendEscaped(svg, terms[t]->name);
  }
  if (all > terms.size()) svg += " and " + integer(static_cast<long long>(all - terms.size())) + " more";
  svg += " over " + integer(static_cast<long long>(volumes)) + " volumes</title>";
  if (low < 0 && high > 0) {
    appendLineStart(svg, "zero", box.left, box.left + box.width, box.yAt(0), box.yAt(0));
    svg += "\" stroke=\"#bbbbbb\" stroke-width=\"0.6\"/>";
  }
  for (std::size_t t = 0; t < terms.size(); ++t) {
    const std::vector<float>& values = terms[t]->values;
    svg += "<path fill=\"none\" stroke=\"";
    svg += kPpiColours[t % 5];
    svg += "\" stroke-width=\"1\" d=\"";
    // One pixel column holds several volumes: their smallest and largest
    // value, so that no spike is lost.
    const std::size_t columns = static_cast<std::size_t>(box.width);
    bool drawing = false;
    for (std::size_t c = 0, v = 0; c < columns && v < values.size(); ++c) {
      const std::size_t end = std::max(v + 1, (c + 1) * values.size() / columns);
      double smallest = HUGE_VAL, largest = -HUGE_VAL;
      for (; v < end && v < values.size(); ++v) {
        if (!std::isfinite(values[v])) continue;
        smallest = std::min(smallest, static_cast<double>(values[v]));
        largest = std::max(largest, static_cast<double>(values[v]));
      }
      if (smallest > largest) {
        drawing = false;
        continue;
      }
      // Whole pixels across, tenths up: the line is one pixel wide.
      const std::string x = integer(static_cast<long long>(box.left) + static_cast<long long>(c));
      svg += drawing ? " " : (c == 0 ? "M" : " M");
      svg += x + ' ';
      appendCoordinate(svg, box.yAt(largest));
      if (smallest < largest) {
        svg += ' ' + x + ' ';
        appendCoordinate(svg, box.yAt(smallest));
      }
      drawing = true;
    }
    svg += "\"/>";
  }
  svg += "</svg>";
  return svg;
}

}  // namespace ppi::analysis::svgplot
