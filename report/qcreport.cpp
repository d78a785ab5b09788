#include "report/qcreport.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string_view>

#include "common/boundedtext.h"
#include "common/hosttext.h"

namespace ppi::analysis {

namespace {

// ---------------------------------------------------------------- text ----

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Appends `text` for HTML text or a quoted attribute: the host's text as UTF-8
// (common/hosttext.h), markup characters as references, control characters
// as U+FFFD. At most `limit` characters are kept; a longer text ends in an
// ellipsis.
void appendEscaped(std::string& out, std::string_view hostText,
                   std::size_t limit = std::string::npos) {
  const std::string utf8 = hostTextToUtf8(hostText);
  const std::string_view text = utf8;
  std::size_t characters = 0;
  for (std::size_t at = 0; at < text.size();) {
    if (characters == limit) {
      out += "\xE2\x80\xA6";  // U+2026
      return;
    }
    ++characters;
    const std::size_t length = utf8SequenceLength(text, at);
    if (length == 0) {
      out += kReplacement;
      ++at;
      continue;
    }
    if (length > 1) {
      out.append(text, at, length);
      at += length;
      continue;
    }
    const char c = text[at++];
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') || c == 0x7F) {
          out += kReplacement;
        } else {
          out += c;
        }
    }
  }
}

std::string escaped(std::string_view text, std::size_t limit = std::string::npos) {
  std::string out;
  appendEscaped(out, text, limit);
  return out;
}

// The last two components of a path, either separator: the file and its
// folder, which usually tells the subjects apart.
std::string_view fileName(std::string_view path) {
  std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string_view::npos || slash == 0) return path;
  slash = path.find_last_of("/\\", slash - 1);
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// A number with `decimals` digits after the point; never "-0".
std::string fixed(double value, int decimals) {
  if (std::isinf(value)) return value > 0 ? "infinite" : "-infinite";
  if (std::isnan(value)) return "n/a";
  char text[64];
  formatBounded(text, sizeof text, "%.*f", decimals, value);
  std::string result = text;
  if (result[0] == '-' && result.find_first_not_of("-0.") == std::string::npos) result.erase(0, 1);
  return result;
}

std::string integer(long long value) {
  char text[32];
  formatBounded(text, sizeof text, "%lld", value);
  return text;
}

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

// Styles the drawn predictors: one colour per trace within its role, a dash
// pattern per role, so that the legend tells every one apart.
std::vector<Trace> drawnTraces(const std::vector<Predictor>& predictors) {
  std::vector<Trace> traces;
  std::size_t tasks = 0, ppis = 0, complementaries = 0, motions = 0;
  for (const Predictor& predictor : predictors) {
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
  bool drawing = false;
  const std::vector<float>& values = trace.predictor->values;
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

std::string signedWeight(int weight) {
  return weight > 0 ? "+" + integer(weight) : integer(weight);
}

std::string subjectFigure(const SubjectReport& subject, std::size_t number) {
  const std::vector<Trace> traces = drawnTraces(subject.predictors);
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
  for (const ConditionBoxCar& boxCar : subject.boxCars) {
    shades.push_back(shadeColour(boxCar, positives, negatives));
  }
  std::vector<LegendItem> legend;
  for (std::size_t c = 0; c < subject.boxCars.size(); ++c) {
    legend.push_back({subject.boxCars[c].name,
                      " (weight " + signedWeight(subject.boxCars[c].weight) + ")", shades[c], "", 0,
                      true});
  }
  appendTraceLegend(legend, traces);
  const double legendTop = axisBottom + 52;
  const double height = legendTop + legendHeight(legend.size());

  std::string svg;
  svg +=
      "<figure class=\"subject\" id=\"figure-" + integer(static_cast<long long>(number)) + "\">\n";
  appendSvgStart(svg, height);
  appendShading(svg, mainBox, subject.boxCars, shades);
  appendXGrid(svg, mainBox, xTicks);
  appendYAxis(svg, mainBox, "Predictor value");
  if (motion) {
    appendShading(svg, motionBox, subject.boxCars, shades);
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
  bool drawing = false;
  for (std::size_t v = 0; v < fd.size(); ++v) {
    if (!std::isfinite(fd[v])) {
      drawing = false;
      continue;
    }
    svg += drawing ? " " : (v == 0 ? "M" : " M");
    appendCoordinate(svg, box.x(static_cast<double>(v + 1)));
    svg += ' ';
    appendCoordinate(svg, box.yAt(fd[v]));
    drawing = true;
  }
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

// The deconvolution's figures as HTML: penalty, where it lies on the grid,
// effective parameters.
std::string deconvolutionText(const DeconvolutionSummary& deconvolution) {
  char penalty[64];
  formatBounded(penalty, sizeof penalty, "%.4g (%.4g relative to the data's scale)",
                deconvolution.penalty, deconvolution.relativePenalty);
  const char* edge = deconvolution.edge == GridEdge::lowest    ? ", the lowest of its grid"
                     : deconvolution.edge == GridEdge::highest ? ", the highest of its grid"
                                                                : "";
  return "penalty " + std::string(penalty) + edge + "; " +
         fixed(deconvolution.effectiveParameters, 1) + " effective parameters of " +
         integer(static_cast<long long>(deconvolution.volumes)) + " volumes; the host's kernel " +
         integer(static_cast<long long>(deconvolution.kernelVolumes)) + " volumes long";
}

// --------------------------------------------------------------- flags ----

// The name of a predictor of the statistics, or an empty text for an index
// they do not have.
std::string_view predictorName(const DesignStats& stats, std::size_t index) {
  return index < stats.predictors.size() ? std::string_view(stats.predictors[index].name) : "";
}

// The findings' table cell: each finding's check and severity.
std::string findingsCell(const SubjectReport& subject) {
  if (subject.findings.empty()) return "<td>none</td>";
  std::string cell = "<td>";
  for (std::size_t i = 0; i < subject.findings.size(); ++i) {
    const Finding& finding = subject.findings[i];
    const std::string severity = severityName(finding.kind);
    cell += (i ? ", " : "") + std::string("<span class=\"finding ") + severity + "\">" +
            escaped(finding.id.empty() ? severity : finding.id) + " (" + severity + ")</span>";
  }
  return cell + "</td>";
}

// The largest |r| between a PPI term and another varying predictor, as HTML.
std::string largestPpiCorrelation(const SubjectReport& subject) {
  const DesignStats& stats = subject.stats;
  if (!stats.valid) return "\u2014";
  double largest = -1;
  std::size_t bestA = 0, bestB = 0;
  for (std::size_t a = 0; a < stats.correlated.size(); ++a) {
    const std::size_t p = stats.correlated[a];
    if (p >= subject.predictors.size() || subject.predictors[p].role != PredictorRole::ppiTerm) {
      continue;
    }
    for (std::size_t b = 0; b < stats.correlated.size(); ++b) {
      if (a == b) continue;
      const double r = std::fabs(stats.correlation(a, b));
      if (r > largest) {
        largest = r;
        bestA = stats.correlated[a];
        bestB = stats.correlated[b];
      }
    }
  }
  if (largest < 0) return "\u2014";
  return fixed(largest, 2) + " <span class=\"pair\">(" + escaped(stats.predictors[bestA].name, 24) +
         " / " + escaped(stats.predictors[bestB].name, 24) + ")</span>";
}

// ------------------------------------------------------------ sections ----

constexpr const char* kStyle = R"(
body { font-family: "DejaVu Sans", Verdana, Arial, Helvetica, sans-serif; font-size: 14px;
       color: #1a1a1a; background: #ffffff; margin: 0 auto; max-width: 1000px; padding: 16px 24px;
       line-height: 1.45; }
h1 { font-size: 22px; margin: 8px 0 12px; }
h2 { font-size: 18px; margin: 32px 0 8px; padding-bottom: 4px; border-bottom: 2px solid #c8c8c8; }
h3 { font-size: 15px; margin: 18px 0 6px; }
table { border-collapse: collapse; margin: 6px 0 10px; }
th, td { border: 1px solid #c8c8c8; padding: 3px 7px; text-align: left; vertical-align: top; }
th { background: #f1f1f1; font-weight: bold; }
table.settings th { width: 190px; }
table.correlations td { text-align: right; min-width: 44px; font-size: 13px; }
table.correlations th { font-size: 12px; font-weight: normal; }
table.correlations th.ppi { font-weight: bold; }
td.diagonal { background: #eeeeee; color: #777777; }
.pair { color: #555555; font-size: 12px; }
.ok { color: #1a6e1a; }
.stopped, .flag, .finding.error { color: #a10000; }
.finding.warning { color: #8a5a00; }
ul.findings { margin: 6px 0; padding-left: 22px; }
figure { margin: 10px 0; }
figure svg { max-width: 100%; height: auto; font-family: "DejaVu Sans", Verdana, Arial, sans-serif; }
figcaption { font-size: 12px; color: #555555; }
svg .tick, svg .legend { font-size: 12px; fill: #1a1a1a; }
svg .axis-title { font-size: 12px; fill: #444444; }
svg .grid { stroke: #e6e6e6; stroke-width: 1; }
svg .zero { stroke: #777777; stroke-width: 1; }
svg .frame { fill: none; stroke: #999999; stroke-width: 1; }
svg .tickmark { stroke: #999999; stroke-width: 1; }
.note { color: #555555; font-size: 13px; }
)";

// The method actually used, in words.
std::string methodInWords(const MethodOptions& method) {
  std::string words = method.eigenvariate() ? "the region's first eigenvariate"
                                            : "the region's mean";
  if (method.neuralLevel()) {
    words +=
        ", deconvolved to a neural signal; the interaction formed at the neural level with the "
        "psychological factor centred (always at this level)";
  } else {
    words += method.centred() ? "; the interaction formed at the BOLD level with the "
                                "psychological factor centred"
                              : "; the interaction formed at the BOLD level";
  }
  return words;
}

void appendSettingRow(std::string& html, const char* name, const std::string& valueHtml) {
  html += "<tr><th>";
  html += name;
  html += "</th><td>" + valueHtml + "</td></tr>\n";
}

std::string motionSetting(const SettingsRecord& settings) {
  if (!settings.motionMerge) return "not merged";
  std::string text = settings.zTransform ? "merged, z-transformed" : "merged as read";
  if (settings.motionModel != 6) {
    text += "; " + integer(settings.motionModel) + " motion predictors (" +
            (settings.motionModel == 12 ? "the six and their derivatives"
                                        : "the six, their derivatives and the squares of both") +
            ")";
  }
  if (settings.censorFD > 0) {
    text += "; volumes with framewise displacement above " + fixed(settings.censorFD, 2) +
            " mm censored by a spike predictor each";
  }
  return text;
}

void appendSettings(std::string& html, const QcReportInput& input) {
  const SettingsRecord& settings = input.settings;
  html += "<table class=\"settings\">\n";
  appendSettingRow(html, "Run date (UTC)", isoUtc(input.dateUtc));
  appendSettingRow(html, "Plug-in",
                   escaped(input.plugin.name) + " " + escaped(input.plugin.version) + " (host " +
                       escaped(input.plugin.hostVersion) + ")");
  const bool generalized = settings.approach == Approach::generalized;
  appendSettingRow(html, "Approach", generalized ? "generalized" : "standard");
  if (generalized && !settings.modelledConditions.empty()) {
    std::string names;
    for (std::size_t i = 0; i < settings.modelledConditions.size(); ++i) {
      names += (i ? ", " : "") + escaped(settings.modelledConditions[i]);
    }
    appendSettingRow(html, "Modelled conditions (gPPIConditions)", names);
  } else if (generalized) {
    appendSettingRow(html, "Baseline condition", integer(settings.baseline));
  }
  std::string entries;
  for (const std::string& entry : settings.conditionEntries) {
    entries += (entries.empty() ? "" : "<br>") + escaped(entry);
  }
  appendSettingRow(html, "\u201cCondID-\u201d entries", entries.empty() ? "none" : entries);
  appendSettingRow(html, "Label", settings.label.empty() ? "none" : escaped(settings.label));
  appendSettingRow(html, "Multi-study mode",
                   settings.multiStudy ? "yes: " + escaped(settings.multiStudyPath) : "no");
  appendSettingRow(html, "Motion predictors", motionSetting(settings));
  std::string method;
  for (const MethodOptionInfo& option : kMethodOptions) {
    method += (method.empty() ? "" : ", ") + std::string(option.reportName) + " " +
              integer(settings.method.*option.field);
  }
  if (settings.method.any()) method += " (" + methodInWords(settings.method) + ")";
  appendSettingRow(html, "Method options", method);
  html += "</table>\n";
}

// Whether all designs have the same predictor names in order, as HTML.
std::string predictorsAgreement(const std::vector<SubjectReport>& subjects) {
  if (subjects.size() < 2) {
    return subjects.empty() ? "No subject has a design." : "One design only.";
  }
  const std::vector<Predictor>& first = subjects.front().predictors;
  for (std::size_t s = 1; s < subjects.size(); ++s) {
    const std::vector<Predictor>& other = subjects[s].predictors;
    std::size_t at = 0;
    while (at < first.size() && at < other.size() && first[at].name == other[at].name) ++at;
    if (at == first.size() && at == other.size()) continue;
    std::string where;
    if (at < first.size() && at < other.size()) {
      where = "predictor " + integer(static_cast<long long>(at + 1)) + " is \u201c" +
              escaped(other[at].name) + "\u201d there, \u201c" + escaped(first[at].name) +
              "\u201d in subject 1";
    } else {
      where = "it has " + integer(static_cast<long long>(other.size())) +
              " predictors, subject 1 has " + integer(static_cast<long long>(first.size()));
    }
    return "<span class=\"flag flag-predictors\">No: subject " +
           integer(static_cast<long long>(s + 1)) +
           "\u2019s predictors differ from subject 1\u2019s (" + where +
           "). A group analysis needs the same predictors in the same order.</span>";
  }
  return "<span class=\"ok\">Yes: all " + integer(static_cast<long long>(subjects.size())) +
         " designs have the same " + integer(static_cast<long long>(first.size())) +
         " predictors in the same order.</span>";
}

// The run summary's motion cells of one subject.
std::string motionCells(const MotionReport& motion) {
  if (!motion.known) return "<td></td><td></td><td></td>";
  return "<td class=\"fd-mean\">" + fixed(motion.meanFD, 3) + "</td><td class=\"fd-max\">" +
         fixed(motion.maxFD, 3) + "</td><td class=\"censored-count\">" +
         integer(static_cast<long long>(motion.censored.size())) + "</td>";
}

void appendSummary(std::string& html, const QcReportInput& input) {
  html += "<section id=\"summary\">\n<h2>Run summary</h2>\n";
  appendSettings(html, input);
  const long long listed = input.subjectsListed;
  long long saved = 0;
  for (const SubjectReport& subject : input.subjects) saved += subject.designFile.empty() ? 0 : 1;
  if (input.end.completed && input.end.notListed.empty()) {
    html += "<p class=\"ok\">The run completed: " + integer(saved) + " of " + integer(listed) +
            " subjects have a design.</p>\n";
  } else if (input.end.completed) {
    std::string names;
    for (std::size_t i = 0; i < input.end.notListed.size(); ++i) {
      names += (i ? ", " : "") + escaped(input.end.notListed[i]);
    }
    html += "<p class=\"stopped\">The run went through every subject, but the design of " +
            names + " has an error: it is not in the list of design matrices, which was not "
            "published, and no multi-study file was written. " + integer(saved) + " of " +
            integer(listed) + " subjects have a saved design.</p>\n";
  } else {
    html += "<p class=\"stopped\">The run stopped at subject " +
            integer(input.end.stoppedAtSubject) + " of " + integer(listed) + ": " +
            escaped(input.end.reason) + "</p>\n";
  }
  bool motion = false;
  for (const SubjectReport& subject : input.subjects) motion = motion || subject.motion.known;
  html +=
      "<table class=\"subjects\">\n<tr><th>Subject</th><th>Time course</th><th>Region</th>"
      "<th>Voxels inside / listed</th><th>Design file</th><th>Predictors</th>"
      "<th>Largest |r|, PPI term and another predictor</th>";
  if (motion) html += "<th>Mean FD [mm]</th><th>Max FD [mm]</th><th>Censored volumes</th>";
  html += "<th>Findings</th></tr>\n";
  for (std::size_t s = 0; s < input.subjects.size(); ++s) {
    const SubjectReport& subject = input.subjects[s];
    const std::string number = integer(static_cast<long long>(s + 1));
    html +=
        "<tr><td><a href=\"#subject-" + number + "\">" + number + "</a></td><td title=\"" +
        escaped(subject.timeCourse) + "\">" + escaped(fileName(subject.timeCourse)) + "</td><td>" +
        escaped(subject.regionName) + "</td><td>" + integer(subject.voxelsInside) + " / " +
        integer(subject.voxelsListed) + "</td><td title=\"" + escaped(subject.designFile) + "\">" +
        (subject.designFile.empty() ? std::string("not saved")
                                    : escaped(fileName(subject.designFile))) +
        "</td><td>" +
        integer(static_cast<long long>(subject.predictors.size())) + "</td><td>" +
        largestPpiCorrelation(subject) + "</td>";
    if (motion) html += motionCells(subject.motion);
    html += findingsCell(subject) + "</tr>\n";
  }
  html +=
      "</table>\n<p>Identical predictors in every design: " + predictorsAgreement(input.subjects) +
      "</p>\n</section>\n";
}

std::string correlationColour(double r) {
  // From white (|r| = 0) to a dark blue (|r| = 1).
  const double t = std::min(1.0, std::fabs(r));
  const auto channel = [&](double full) { return integer(std::lround(255 + (full - 255) * t)); };
  return "rgb(" + channel(33) + "," + channel(102) + "," + channel(172) + ")";
}

void appendCorrelations(std::string& html, const SubjectReport& subject) {
  const DesignStats& stats = subject.stats;
  html += "<h3>Predictor correlations</h3>\n";
  if (!stats.valid) {
    html += "<p class=\"flag\">No correlations: " + escaped(stats.problem) + "</p>\n";
    return;
  }
  if (stats.correlated.empty()) {
    html += "<p>No predictor varies.</p>\n";
    return;
  }
  const auto isPpi = [&](std::size_t p) {
    return p < subject.predictors.size() && subject.predictors[p].role == PredictorRole::ppiTerm;
  };
  html += "<table class=\"correlations\">\n<tr><th></th>";
  for (std::size_t b = 0; b < stats.correlated.size(); ++b) {
    const std::string& name = stats.predictors[stats.correlated[b]].name;
    html += std::string("<th") + (isPpi(stats.correlated[b]) ? " class=\"ppi\"" : "") +
            " title=\"" + escaped(name) + "\">" + escaped(name, 24) + "</th>";
  }
  html += "</tr>\n";
  for (std::size_t a = 0; a < stats.correlated.size(); ++a) {
    const std::string& name = stats.predictors[stats.correlated[a]].name;
    html += std::string("<tr><th") + (isPpi(stats.correlated[a]) ? " class=\"ppi\"" : "") +
            " title=\"" + escaped(name) + "\">" + escaped(name, 28) + "</th>";
    for (std::size_t b = 0; b < stats.correlated.size(); ++b) {
      if (a == b) {
        html += "<td class=\"diagonal\">1</td>";
        continue;
      }
      const double r = stats.correlation(a, b);
      html += "<td style=\"background:" + correlationColour(r) +
              (std::fabs(r) > 0.55 ? ";color:#ffffff" : "") + "\">" + fixed(r, 2) + "</td>";
    }
    html += "</tr>\n";
  }
  html += "</table>\n";
  if (!stats.vifs.empty()) {
    html += "<p>Variance inflation factor of each PPI term: ";
    for (std::size_t i = 0; i < stats.vifs.size(); ++i) {
      const PpiVif& entry = stats.vifs[i];
      html += (i ? "; " : "") + escaped(predictorName(stats, entry.predictor)) + " " +
              fixed(entry.vif, 2);
    }
    html += ".</p>\n";
  }
}

void appendSubject(std::string& html, const SubjectReport& subject, std::size_t number) {
  const std::string id = integer(static_cast<long long>(number));
  html += "<section class=\"subject-section\" id=\"subject-" + id + "\">\n<h2>Subject " + id +
          ": " + escaped(fileName(subject.timeCourse)) + "</h2>\n<table class=\"settings\">\n";
  appendSettingRow(html, "Time course", escaped(subject.timeCourse));
  appendSettingRow(html, "Region",
                   escaped(subject.regionName) + " in " + escaped(subject.regionFile));
  appendSettingRow(html, "Voxels inside / listed",
                   integer(subject.voxelsInside) + " / " + integer(subject.voxelsListed));
  appendSettingRow(html, "Design file", subject.designFile.empty()
                                           ? std::string("not saved (the design has an error)")
                                           : escaped(subject.designFile));
  if (subject.eigenvariateShare >= 0) {
    appendSettingRow(html, "Region summary",
                     "first eigenvariate, explaining " +
                         fixed(100.0 * subject.eigenvariateShare, 1) +
                         " % of the voxels' variance");
  }
  if (subject.deconvolution.done) {
    appendSettingRow(html, "Deconvolution", deconvolutionText(subject.deconvolution));
  }
  html += "</table>\n";
  html += subjectFigure(subject, number);
  html += neuralFigure(subject, number);
  if (subject.motion.known) html += displacementFigure(subject.motion, number);
  html += "<h3>Findings</h3>\n";
  if (subject.findings.empty()) {
    html += "<p class=\"ok\">None.</p>\n";
  } else {
    html += "<ul class=\"findings\">\n";
    for (const Finding& finding : subject.findings) {
      html += "<li class=\"finding " + std::string(severityName(finding.kind)) + "\" id=\"" +
              escaped(finding.id) + "-" + id + "\">" + escaped(Report::problemLine(finding)) +
              "</li>\n";
    }
    html += "</ul>\n";
  }
  appendCorrelations(html, subject);
  html += "</section>\n";
}

constexpr const char* kHowToRead = R"(<h2 id="how-to-read">How to read this</h2>
<p>Each subject's figure shows its design's predictors over the volumes of its time course:</p>
<ul>
<li><b>Region signal</b> (black): the region's mean time course, z-normalised; it is the
physiological regressor.</li>
<li><b>Task regressors</b> (dashed): the weighted conditions' box-cars convolved with the
host's response function; shaded bands mark the conditions' volumes before convolution.</li>
<li><b>PPI terms</b> (solid, in colour): the task regressor times the region signal; its
estimate measures how the task changes the region's coupling with each voxel.</li>
<li><b>Complementary regressor</b> (dotted), in the standard approach when both weight signs
occur.</li>
<li><b>Motion predictors</b> (lower panel): translations solid, rotations dashed.</li>
</ul>
<p>The <b>variance inflation factor</b> (VIF) of a PPI term is 1 / (1 &minus; R&sup2;), R&sup2;
of the term regressed on all other predictors. A VIF of 1 means the term shares nothing with
them; at 10 and above (a warning), 90 % of its variance is explained by the others, and its
estimate is imprecise and swings with small changes of the design; at 100 and above (an error)
99 %. An infinite VIF means the term is a combination of the others: its effect cannot be
estimated at all.</p>
<p>What to do when a term has a high VIF: look at the correlation table for the predictor it
follows. A PPI term that tracks its task regressor usually means the region signal is far
from zero on average during the task, or the task blocks are long compared to the rest
periods; a term that tracks the region signal means the task covers most volumes. Check the
contrast (the &ldquo;CondID-&rdquo; entries and the baseline), consider centring the
psychological regressor, and prefer designs with more, shorter alternations. Voxels outside
the grid mean the region file does not match the time course's space; an unnamed condition
gets no weight and drops out of the contrast.</p>
)";

// Replaces the one occurrence of `from` in `text`.
void replaceOnce(std::string& text, std::string_view from, std::string_view to) {
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
}

// The guide, naming the method the run used.
std::string howToRead(const MethodOptions& method) {
  std::string text = kHowToRead;
  if (method.eigenvariate()) {
    replaceOnce(text, "the region's mean time course, z-normalised",
                "the region's first eigenvariate (the time course of the first principal "
                "component of its voxels, each centred over time), z-normalised");
  }
  if (method.neuralLevel()) {
    replaceOnce(text,
                "the task regressor times the region signal; its\nestimate",
                "formed at the neural level: the psychological factor (the weighted "
                "conditions' box-car before convolution), centred over the run, times the neural "
                "signal deconvolved from the region signal, then convolved with the host's "
                "response function; its estimate");
    replaceOnce(text, "<li><b>Motion predictors</b>",
                "<li><b>Neural level</b> (the second figure): the region signal, the "
                "deconvolution's fit of it and the neural signal it estimated. The penalty is "
                "chosen by generalized cross-validation on a grid; a penalty at the grid's lowest "
                "point, or effective parameters above 90 % of the volumes, means the fit spent a "
                "parameter on nearly every volume: the neural signal is mostly amplified noise, "
                "and the subject is flagged. Prefer the BOLD level or the mean for such a "
                "subject.</li>\n<li><b>Motion predictors</b>");
  }
  return text;
}

}  // namespace

std::string qcReportHtml(const QcReportInput& input) {
  std::string html;
  html +=
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>PPI QC report</title>\n<style>";
  html += kStyle;
  html +=
      "</style>\n</head>\n<body>\n<h1>PPI QC report</h1>\n"
      "<p class=\"note\">Written by " +
      escaped(input.plugin.name) + " on " + isoUtc(input.dateUtc) +
      ". <a href=\"#how-to-read\">How to read this</a></p>\n";
  appendSummary(html, input);
  for (std::size_t s = 0; s < input.subjects.size(); ++s)
    appendSubject(html, input.subjects[s], s + 1);
  html += howToRead(input.settings.method);
  html += "</body>\n</html>\n";
  return html;
}

}  // namespace ppi::analysis
