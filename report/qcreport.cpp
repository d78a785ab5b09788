#include "report/qcreport.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string_view>

#include "common/boundedtext.h"
#include "report/htmltext.h"
#include "report/svgplot.h"

namespace ppi::analysis {

namespace {

using htmltext::appendSettingRow;
using htmltext::deconvolutionText;
using htmltext::escaped;
using htmltext::fileName;
using htmltext::fixed;
using htmltext::howToRead;
using htmltext::integer;
using htmltext::motionSetting;
using htmltext::methodInWords;
using svgplot::displacementFigure;
using svgplot::neuralFigure;
using svgplot::sparkline;
using svgplot::subjectFigure;

// The most varying predictors the correlation table shows whole; a larger
// design gets each PPI term's strongest correlations instead (the record
// holds the whole matrix).
constexpr std::size_t kCorrelationTableLimit = 40;
constexpr std::size_t kStrongestShown = 3;

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
.finding.warning, .warned { color: #8a5a00; }
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
body.summary { max-width: none; }
table.subjects { font-size: 13px; }
table.subjects td, table.subjects th { padding: 3px 5px; }
table.subjects tr:first-child th { position: sticky; top: 0; }
td.spark { padding: 2px 4px; vertical-align: middle; }
svg.sparkline { display: block; }
)";

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

void appendSummary(std::string& html, const QcReportInput& input, const QcReportLinks& links) {
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
  long long withError = 0, withWarning = 0;
  for (const SubjectReport& subject : input.subjects) {
    bool error = false, warning = false;
    for (const Finding& finding : subject.findings) {
      error = error || finding.kind == Severity::error;
      warning = warning || finding.kind == Severity::warning;
    }
    withError += error ? 1 : 0;
    withWarning += warning && !error ? 1 : 0;
  }
  if (!input.subjects.empty()) {
    html += std::string("<p class=\"") + (withError > 0 ? "stopped" : withWarning > 0 ? "warned" : "ok") +
            " findings-count\">Findings: " + integer(withError) + " of " +
            integer(static_cast<long long>(input.subjects.size())) + " subjects with an error, " +
            integer(withWarning) + " more with a warning.</p>\n";
  }
  bool motion = false;
  for (const SubjectReport& subject : input.subjects) motion = motion || subject.motion.known;
  html +=
      "<table class=\"subjects\">\n<tr><th>Subject</th><th>Time course</th><th>Region</th>"
      "<th>Voxels inside / listed</th><th>Design file</th><th>Predictors</th>"
      "<th>Largest |r|, PPI term and another predictor</th>";
  if (motion) html += "<th>Mean FD [mm]</th><th>Max FD [mm]</th><th>Censored volumes</th>";
  html += "<th>PPI terms over the volumes</th><th>Findings</th></tr>\n";
  for (std::size_t s = 0; s < input.subjects.size(); ++s) {
    const SubjectReport& subject = input.subjects[s];
    const std::string number = integer(static_cast<long long>(s + 1));
    const bool page = !links.folder.empty() && s < links.written.size() && links.written[s];
    html += "<tr class=\"subject-row\" id=\"row-" + number + "\"><td>" +
            (page ? "<a href=\"" + escaped(links.folder) + "/" + subjectPageName(s + 1) + "\">" +
                        number + "</a>"
                  : number + " <span class=\"note\">(no page)</span>") +
            "</td><td title=\"" +
        escaped(subject.timeCourse) + "\">" + escaped(fileName(subject.timeCourse)) + "</td><td>" +
        escaped(subject.regionName) + "</td><td>" + integer(subject.voxelsInside) + " / " +
        integer(subject.voxelsListed) + "</td><td title=\"" + escaped(subject.designFile) + "\">" +
        (subject.designFile.empty() ? std::string("not saved")
                                    : escaped(fileName(subject.designFile))) +
        "</td><td>" +
        integer(static_cast<long long>(subject.predictors.size())) + "</td><td>" +
        largestPpiCorrelation(subject) + "</td>";
    if (motion) html += motionCells(subject.motion);
    html += "<td class=\"spark\">" + sparkline(subject.predictors) + "</td>" + findingsCell(subject) +
            "</tr>\n";
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

// A correlation cell: its colour and value.
std::string correlationCell(double r) {
  return "<td style=\"background:" + correlationColour(r) +
         (std::fabs(r) > 0.55 ? ";color:#ffffff" : "") + "\">" + fixed(r, 2) + "</td>";
}

// For each PPI term, the predictors it correlates with most strongly.
void appendStrongestCorrelations(std::string& html, const SubjectReport& subject) {
  const DesignStats& stats = subject.stats;
  html += "<p>The design has " + integer(static_cast<long long>(stats.correlated.size())) +
          " predictors that vary, too many for a table of them all: each PPI term's " +
          integer(static_cast<long long>(kStrongestShown)) +
          " strongest correlations. The record beside the design file (.json) holds the whole "
          "matrix.</p>\n<table class=\"correlations strongest\">\n<tr><th>PPI term</th>";
  for (std::size_t k = 1; k <= kStrongestShown; ++k) {
    html += "<th>Predictor " + integer(static_cast<long long>(k)) + "</th><th>r</th>";
  }
  html += "</tr>\n";
  for (std::size_t a = 0; a < stats.correlated.size(); ++a) {
    const std::size_t p = stats.correlated[a];
    if (p >= subject.predictors.size() || subject.predictors[p].role != PredictorRole::ppiTerm) {
      continue;
    }
    std::vector<std::size_t> others;
    for (std::size_t b = 0; b < stats.correlated.size(); ++b) {
      if (b != a) others.push_back(b);
    }
    const std::size_t shown = std::min(kStrongestShown, others.size());
    std::partial_sort(others.begin(), others.begin() + static_cast<std::ptrdiff_t>(shown),
                      others.end(), [&](std::size_t x, std::size_t y) {
                        return std::fabs(stats.correlation(a, x)) > std::fabs(stats.correlation(a, y));
                      });
    const std::string& name = stats.predictors[p].name;
    html += "<tr><th class=\"ppi\" title=\"" + escaped(name) + "\">" + escaped(name, 28) + "</th>";
    for (std::size_t k = 0; k < kStrongestShown; ++k) {
      if (k >= shown) {
        html += "<td></td><td></td>";
        continue;
      }
      const std::string& other = stats.predictors[stats.correlated[others[k]]].name;
      html += "<td title=\"" + escaped(other) + "\">" + escaped(other, 28) + "</td>" +
              correlationCell(stats.correlation(a, others[k]));
    }
    html += "</tr>\n";
  }
  html += "</table>\n";
}

void appendCorrelationTable(std::string& html, const SubjectReport& subject);
void appendVifs(std::string& html, const DesignStats& stats);

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
  if (stats.correlated.size() > kCorrelationTableLimit) {
    appendStrongestCorrelations(html, subject);
  } else {
    appendCorrelationTable(html, subject);
  }
  appendVifs(html, stats);
}

void appendCorrelationTable(std::string& html, const SubjectReport& subject) {
  const DesignStats& stats = subject.stats;
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
      html += correlationCell(stats.correlation(a, b));
    }
    html += "</tr>\n";
  }
  html += "</table>\n";
}

void appendVifs(std::string& html, const DesignStats& stats) {
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

}  // namespace

std::string subjectPageName(std::size_t number) {
  char name[48];
  formatBounded(name, sizeof name, "subject-%04zu.html", number);
  return name;
}

namespace {

void appendPageStart(std::string& html, const std::string& title, const char* bodyClass) {
  html +=
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>" + title + "</title>\n<style>";
  html += kStyle;
  html += "</style>\n</head>\n<body class=\"";
  html += bodyClass;
  html += "\">\n<h1>" + title + "</h1>\n";
}

void appendPageEnd(std::string& html, const QcReportInput& input) {
  html += howToRead(input.settings.method);
  html += "</body>\n</html>\n";
}

}  // namespace

std::string qcSummaryHtml(const QcReportInput& input, const QcReportLinks& links) {
  std::string html;
  appendPageStart(html, "PPI QC report", "summary");
  html += "<p class=\"note\">Written by " + escaped(input.plugin.name) + " on " +
          isoUtc(input.dateUtc) + ". " +
          (links.folder.empty() ? std::string()
                                : "Each subject's figures are on its own page in the folder " +
                                      escaped(links.folder) + ", linked from its number. ") +
          "<a href=\"#how-to-read\">How to read this</a></p>\n";
  appendSummary(html, input, links);
  appendPageEnd(html, input);
  return html;
}

std::string qcSubjectHtml(const QcReportInput& input, std::size_t index,
                          const std::string& summaryName) {
  std::string html;
  const std::size_t number = index + 1;
  const std::string id = integer(static_cast<long long>(number));
  appendPageStart(html, "PPI QC report: subject " + id, "subject");
  const std::string summary = escaped(summaryName);
  html += "<p class=\"note nav\">Subject " + id + " of " +
          integer(static_cast<long long>(input.subjects.size())) +
          " with a design in the run of " + isoUtc(input.dateUtc) + " (" +
          escaped(input.plugin.name) + " " + escaped(input.plugin.version) + "). <a href=\"../" +
          summary + "#row-" + id + "\">Run summary</a>";
  if (index > 0) {
    html += " \u00b7 <a href=\"" + subjectPageName(number - 1) + "\">Previous subject</a>";
  }
  if (number < input.subjects.size()) {
    html += " \u00b7 <a href=\"" + subjectPageName(number + 1) + "\">Next subject</a>";
  }
  html += " \u00b7 <a href=\"#how-to-read\">How to read this</a></p>\n";
  if (index < input.subjects.size()) appendSubject(html, input.subjects[index], number);
  appendPageEnd(html, input);
  return html;
}

}  // namespace ppi::analysis
