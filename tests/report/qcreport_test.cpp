#include "report/qcreport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <regex>
#include <string>
#include <vector>

namespace {

using ppi::analysis::ConditionWeight;
using ppi::analysis::Predictor;
using ppi::analysis::PredictorRole;
using ppi::analysis::QcReportInput;
using ppi::analysis::QcReportLinks;
using ppi::analysis::SubjectReport;

std::vector<float> wave(std::size_t volumes, double period, double scale, double offset = 0) {
  std::vector<float> values;
  for (std::size_t v = 0; v < volumes; ++v) {
    values.push_back(static_cast<float>(offset + scale * std::sin(v * 6.283 / period)));
  }
  return values;
}

// A subject whose design has one predictor of each listed role.
SubjectReport subjectWith(const std::vector<PredictorRole>& roles, std::size_t volumes = 40) {
  SubjectReport subject;
  subject.timeCourse = "/study/s1/run.vtc";
  subject.regionFile = "/study/s1/regions.voi";
  subject.regionName = "Seed";
  subject.voxelsListed = subject.voxelsInside = 50;
  subject.designFile = "/study/results/s1_PPI_Seed.sdm";
  for (std::size_t i = 0; i < roles.size(); ++i) {
    subject.predictors.push_back(
        {"P" + std::to_string(i + 1), wave(volumes, 7.0 + 3.0 * i, 1.0 + 0.2 * i), roles[i]});
  }
  subject.predictors.push_back({"Constant", std::vector<float>(volumes, 1), PredictorRole::other});
  subject.stats = ppi::analysis::computeDesignStats(subject.predictors);
  subject.conditions = {{"Task", true, "Task list2", 1}};
  return subject;
}

QcReportInput runOf(std::vector<SubjectReport> subjects) {
  QcReportInput input;
  input.plugin = {"PPI plug-in", "2.1.0", "3.4.1"};
  input.dateUtc = 1717243200;
  input.subjectsListed = static_cast<std::int32_t>(subjects.size());
  input.subjects = std::move(subjects);
  return input;
}

// The summary with every subject's page written in the folder "PPI_report".
std::string summaryOf(const QcReportInput& input) {
  QcReportLinks links{"PPI_report", std::vector<bool>(input.subjects.size(), true)};
  return ppi::analysis::qcSummaryHtml(input, links);
}

// The summary and every subject's page, one after the other.
std::string qcReportHtml(const QcReportInput& input) {
  std::string html = summaryOf(input);
  for (std::size_t s = 0; s < input.subjects.size(); ++s) {
    html += ppi::analysis::qcSubjectHtml(input, s, "PPI_report.html");
  }
  return html;
}

std::size_t countOf(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// The text of each subject's figure, in order.
std::vector<std::string> figures(const std::string& html) {
  std::vector<std::string> found;
  const std::string open = "<figure class=\"subject\"";
  for (auto at = html.find(open); at != std::string::npos; at = html.find(open, at + 1)) {
    found.push_back(html.substr(at, html.find("</figure>", at) - at));
  }
  return found;
}

using Roles = std::vector<PredictorRole>;
constexpr auto kSignal = PredictorRole::regionSignal;
constexpr auto kTask = PredictorRole::task;
constexpr auto kPpi = PredictorRole::ppiTerm;
constexpr auto kComplementary = PredictorRole::complementary;
constexpr auto kMotion = PredictorRole::motion;
constexpr auto kOther = PredictorRole::other;

TEST(QcReport, OneFigurePerSubjectWithATracePerDrawnPredictor) {
  const Roles standard = {kPpi, kTask, kSignal};
  const Roles withMotion = {kPpi,    kTask,   kSignal, kMotion, kMotion,
                            kMotion, kMotion, kMotion, kMotion};
  const Roles generalized = {kPpi, kPpi, kPpi, kTask, kTask, kTask, kSignal, kOther};
  const struct {
    const char* name;
    std::vector<Roles> subjects;
    std::vector<std::size_t> traces;
    std::size_t motionTraces;  // in all figures
  } rows[] = {
      {"no subject", {}, {}, 0},
      {"standard approach", {standard}, {3}, 0},
      {"complementary regressor", {{kPpi, kTask, kComplementary, kSignal}}, {4}, 0},
      {"motion merged, second panel", {withMotion}, {9}, 6},
      {"generalized approach, other predictors not drawn", {generalized}, {7}, 0},
      {"three subjects", {standard, withMotion, generalized}, {3, 9, 7}, 6},
  };
  for (const auto& row : rows) {
    std::vector<SubjectReport> subjects;
    for (const Roles& roles : row.subjects) subjects.push_back(subjectWith(roles));
    const std::string html = qcReportHtml(runOf(subjects));
    const std::vector<std::string> found = figures(html);
    std::vector<std::size_t> traces;
    std::size_t motion = 0;
    for (const std::string& figure : found) {
      traces.push_back(countOf(figure, "class=\"trace "));
      motion += countOf(figure, "class=\"trace motion\"");
      EXPECT_EQ(countOf(figure, "<svg"), 1u) << row.name;
      // Every panel has a zero line.
      EXPECT_EQ(countOf(figure, "class=\"zero\""), countOf(figure, "class=\"frame\"")) << row.name;
    }
    EXPECT_EQ(traces, row.traces) << row.name;
    EXPECT_EQ(motion, row.motionTraces) << row.name;
    EXPECT_EQ(countOf(html, "<section class=\"subject-section\""), row.subjects.size()) << row.name;
    // One summary row per subject, linking to its page.
    EXPECT_EQ(countOf(summaryOf(runOf(subjects)), "<a href=\"PPI_report/subject-"),
              row.subjects.size())
        << row.name;
  }
}

TEST(QcReport, EveryPageStandsAlone) {
  const QcReportInput input = runOf({subjectWith({kPpi, kTask, kSignal, kMotion})});
  for (const std::string& html :
       {summaryOf(input), ppi::analysis::qcSubjectHtml(input, 0, "PPI_report.html")}) {
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(html.find("<style>"), std::string::npos);
    for (const char* outside : {"<script", "src=", "@import", "url(", "<link", "href=\"http"}) {
      EXPECT_EQ(html.find(outside), std::string::npos) << outside;
    }
    EXPECT_NE(html.find("id=\"how-to-read\""), std::string::npos);
  }
}

// The summary links each subject whose page was written; a page links back
// to its row and to its neighbours, and says which run it belongs to.
TEST(QcReport, SummaryAndSubjectPagesLinkEachOther) {
  const SubjectReport subject = subjectWith({kPpi, kTask, kSignal});
  const QcReportInput input = runOf({subject, subject, subject});
  const std::string summary =
      ppi::analysis::qcSummaryHtml(input, QcReportLinks{"PPI_report_2", {true, false, true}});
  EXPECT_EQ(countOf(summary, "<tr class=\"subject-row\""), 3u);
  EXPECT_NE(summary.find("<a href=\"PPI_report_2/subject-0001.html\">1</a>"), std::string::npos);
  EXPECT_NE(summary.find("2 <span class=\"note\">(no page)</span>"), std::string::npos);
  EXPECT_NE(summary.find("<a href=\"PPI_report_2/subject-0003.html\">3</a>"), std::string::npos);
  EXPECT_EQ(countOf(summary, "<figure"), 0u);
  const std::string none = ppi::analysis::qcSummaryHtml(input, QcReportLinks{});
  EXPECT_EQ(countOf(none, "(no page)"), 3u);

  const struct {
    std::size_t index;
    bool previous, next;
  } rows[] = {{0, false, true}, {1, true, true}, {2, true, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.index);
    const std::string page = ppi::analysis::qcSubjectHtml(input, row.index, "PPI_report_2.html");
    const std::string number = std::to_string(row.index + 1);
    EXPECT_NE(page.find("<a href=\"../PPI_report_2.html#row-" + number + "\">Run summary</a>"),
              std::string::npos);
    EXPECT_NE(page.find("Subject " + number + " of 3 with a design in the run of "
                        "2024-06-01T12:00:00Z"),
              std::string::npos);
    EXPECT_EQ(page.find("subject-000" + std::to_string(row.index) + ".html\">Previous") !=
                  std::string::npos,
              row.previous);
    EXPECT_EQ(page.find("subject-000" + std::to_string(row.index + 2) + ".html\">Next") !=
                  std::string::npos,
              row.next);
    EXPECT_EQ(countOf(page, "<section class=\"subject-section\" id=\"subject-" + number + "\""),
              1u);
    EXPECT_EQ(countOf(page, "<figure class=\"subject\""), 1u);
  }
  EXPECT_EQ(ppi::analysis::subjectPageName(12345), "subject-12345.html");
}

// The summary's sparkline of a subject's PPI terms: the first three, one
// point (or a pixel column's range) per column of its 100 pixels, no spike
// lost.
TEST(QcReport, SparklineOfThePpiTerms) {
  const struct {
    const char* name;
    Roles roles;
    std::size_t volumes;
    std::size_t paths;
    const char* title;  // empty: no sparkline
  } rows[] = {
      {"no PPI term", {kTask, kSignal}, 40, 0, ""},
      {"one term, fewer volumes than pixels", {kPpi, kTask, kSignal}, 40, 1,
       "<title>P1 over 40 volumes</title>"},
      {"one term, a long run", {kPpi, kTask, kSignal}, 1200, 1,
       "<title>P1 over 1200 volumes</title>"},
      {"five terms", {kPpi, kPpi, kPpi, kPpi, kPpi, kSignal}, 200, 3,
       "<title>P1, P2, P3 and 2 more over 200 volumes</title>"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SubjectReport subject = subjectWith(row.roles, row.volumes);
    subject.predictors[0].values[row.volumes / 2] = 50;  // a spike
    const std::string summary = summaryOf(runOf({subject}));
    const std::size_t at = summary.find("<svg class=\"sparkline\"");
    ASSERT_EQ(at != std::string::npos, *row.title != '\0');
    if (at == std::string::npos) continue;
    const std::string svg = summary.substr(at, summary.find("</svg>", at) - at);
    EXPECT_NE(svg.find(row.title), std::string::npos) << svg.substr(0, 300);
    EXPECT_EQ(countOf(svg, "<path "), row.paths);
    // The first path's points: at most two per pixel column, and the spike
    // at the top (y 1.0, the plot's upper edge).
    const std::size_t d = svg.find(" d=\"");
    const std::string data = svg.substr(d + 4, svg.find('"', d + 4) - d - 4);
    std::size_t numbers = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
      if ((data[i] >= '0' && data[i] <= '9') && (i == 0 || data[i - 1] == ' ' || data[i - 1] == 'M')) {
        ++numbers;
      }
    }
    EXPECT_LE(numbers / 2, std::min<std::size_t>(2 * 100, 2 * row.volumes));
    EXPECT_GE(numbers / 2, std::min<std::size_t>(100, row.volumes));
    EXPECT_NE(data.find(" 1.0"), std::string::npos) << data.substr(0, 200);
  }
}

// A design with hundreds of conditions: the figure draws the first ten of
// each kind and says so; the correlations are each PPI term's strongest
// instead of a table of them all.
TEST(QcReport, ALargeDesignStaysReadable) {
  Roles roles;
  for (int c = 0; c < 30; ++c) roles.push_back(kPpi);
  for (int c = 0; c < 30; ++c) roles.push_back(kTask);
  roles.push_back(kSignal);
  const SubjectReport subject = subjectWith(roles, 120);
  const std::string page =
      ppi::analysis::qcSubjectHtml(runOf({subject}), 0, "PPI_report.html");
  const std::vector<std::string> found = figures(page);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(countOf(found[0], "class=\"trace ppi\""), 10u);
  EXPECT_EQ(countOf(found[0], "class=\"trace task\""), 10u);
  EXPECT_NE(page.find("40 predictors and 0 conditions not drawn"), std::string::npos);
  EXPECT_EQ(page.find("<table class=\"correlations\">"), std::string::npos);
  EXPECT_EQ(countOf(page, "<tr><th class=\"ppi\""), 30u);
  EXPECT_NE(page.find("61 predictors that vary"), std::string::npos);
  EXPECT_EQ(countOf(page, "Variance inflation factor of each PPI term"), 1u);

  const SubjectReport small = subjectWith({kPpi, kTask, kSignal});
  const std::string smallPage = ppi::analysis::qcSubjectHtml(runOf({small}), 0, "PPI_report.html");
  EXPECT_NE(smallPage.find("<table class=\"correlations\">"), std::string::npos);
  EXPECT_EQ(smallPage.find("not drawn"), std::string::npos);
}

TEST(QcReport, UserTextIsEscaped) {
  SubjectReport subject = subjectWith({kPpi, kTask, kSignal});
  subject.timeCourse = "/study/<u>s&1</u>/run \"1\".vtc";
  subject.regionName = "Seed <left>";
  subject.regionFile = "C:\\R\xe4ume\\regions.voi";  // a code-page byte
  subject.designFile = "/study/'quoted'.sdm";
  subject.predictors[0].name = "PPI_<script>alert(1)</script>";
  subject.stats = ppi::analysis::computeDesignStats(subject.predictors);
  subject.conditions.push_back({"A&B <x>", false, "", 0});
  subject.boxCars.push_back({"Faces <img>", 1, std::vector<float>(40, 1)});
  subject.findings.push_back(
      {ppi::Severity::warning, "condition A&B <x>", "bell \x07 and <tag>", "", "x<y>"});
  QcReportInput input = runOf({subject});
  input.settings.label = "<label>";
  input.settings.conditionEntries = {"Faces <i>list2</i>"};
  input.settings.multiStudyPath = "<mdm>";
  input.settings.multiStudy = true;
  input.end = {false, 2, "The file <x> & \"y\" could not be read.", {}};
  input.subjectsListed = 3;
  const std::string html = qcReportHtml(input);

  for (const char* raw : {"<u>", "<left>", "<script>", "<x>", "<img>", "<tag>", "<label>", "<i>",
                          "<mdm>", "\x07", "\xe4u"}) {
    EXPECT_EQ(html.find(raw), std::string::npos) << raw;
  }
  for (const char* text :
       {"&lt;u&gt;s&amp;1&lt;/u&gt;", "run &quot;1&quot;.vtc", "Seed &lt;left&gt;",
        "R\xc3\xa4ume", "&#39;quoted&#39;", "PPI_&lt;script&gt;", "A&amp;B &lt;x&gt;",
        "Faces &lt;img&gt;", "bell \xef\xbf\xbd and", "&lt;label&gt;",
        "Faces &lt;i&gt;list2&lt;/i&gt;",
        "The file &lt;x&gt; &amp; &quot;y&quot; could not be read."}) {
    EXPECT_NE(html.find(text), std::string::npos) << text;
  }
  EXPECT_NE(html.find("stopped at subject 2 of 3"), std::string::npos);
}

// Names in a host's 8-bit code page keep their characters: two that differ in
// one of them stay two; UTF-8 names are kept as they are.
TEST(QcReport, HostTextKeepsItsCharacters) {
  SubjectReport subject = subjectWith({kPpi, kTask, kSignal});
  subject.timeCourse = "/data/M\xfcller/run1.vtc";
  subject.boxCars.push_back({"Ger\xe4t", 1, std::vector<float>(40, 1)});
  subject.boxCars.push_back({"Ger\xfct", 1, std::vector<float>(40, 0)});
  subject.boxCars.push_back({"Gesicht \xe2\x80\x93 neutral", 1, std::vector<float>(40, 0)});
  const std::string html = qcReportHtml(runOf({subject}));
  for (const char* text : {"M\xc3\xbcller", "Ger\xc3\xa4t", "Ger\xc3\xbct",
                           "Gesicht \xe2\x80\x93 neutral"}) {
    EXPECT_NE(html.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(html.find("\xef\xbf\xbd"), std::string::npos);
}

TEST(QcReport, ShowsTheSubjectsFindingsAndNoFlagsOfItsOwn) {
  using ppi::Finding;
  using ppi::Severity;
  const Finding oneSided{Severity::warning, "subject 1 (s1.vtc)", "one-sided contrast.", "Fix it.",
                         "one-sided-contrast"};
  const Finding zero{Severity::error, "subject 1 (s1.vtc)", "PPI_S is 0 at every volume.",
                     "", "constant-column"};
  const struct {
    const char* name;
    std::vector<Finding> findings;
    double vif;                  // of the PPI term: the report draws no conclusion of its own
    std::int32_t voxelsInside;  // of 50
    std::size_t errors, warnings;
    const char* cell;
  } rows[] = {
      {"clean", {}, 1.2, 50, 0, 0, "<td>none</td>"},
      {"a high VIF the checks did not report", {}, 250.0, 47, 0, 0, "<td>none</td>"},
      {"one warning", {oneSided}, 1.2, 50, 0, 1,
       "<span class=\"finding warning\">one-sided-contrast (warning)</span>"},
      {"an error and a warning", {zero, oneSided}, 1.2, 50, 1, 1,
       "<span class=\"finding error\">constant-column (error)</span>, <span class=\"finding "
       "warning\">one-sided-contrast (warning)</span>"},
  };
  for (const auto& row : rows) {
    SubjectReport subject = subjectWith({kPpi, kTask, kSignal});
    subject.stats.vifs.at(0).vif = row.vif;
    subject.voxelsInside = row.voxelsInside;
    subject.findings = row.findings;
    const std::string html = qcReportHtml(runOf({subject}));
    EXPECT_EQ(countOf(html, "<li class=\"finding error\""), row.errors) << row.name;
    EXPECT_EQ(countOf(html, "<li class=\"finding warning\""), row.warnings) << row.name;
    EXPECT_NE(html.find(row.cell), std::string::npos) << row.name;
    EXPECT_EQ(html.find("class=\"flag"), std::string::npos) << row.name;
    for (const Finding& finding : row.findings) {
      EXPECT_EQ(countOf(html, ppi::Report::problemLine(finding)), 1u)
          << row.name << ": each finding is listed once, as the dialog lists it";
    }
  }
}

TEST(QcReport, ASubjectWhoseDesignHasAnErrorIsShownNotSavedAndTheRunNotListed) {
  SubjectReport subject = subjectWith({kPpi, kTask, kSignal});
  subject.designFile.clear();
  QcReportInput input = runOf({subject});
  input.end.notListed = {"subject 1 (s1.vtc)"};
  const std::string html = qcReportHtml(input);
  EXPECT_NE(html.find("not saved (the design has an error)"), std::string::npos);
  EXPECT_NE(html.find("the design of subject 1 (s1.vtc) has an error"), std::string::npos);
  EXPECT_NE(html.find("0 of 1 subjects have a saved design"), std::string::npos);
  EXPECT_EQ(html.find("The run completed"), std::string::npos);
}

// The tick values of one axis ("x" or "y") in a figure, in order.
std::vector<std::vector<double>> tickGroups(const std::string& figure, const char* axis) {
  std::vector<std::vector<double>> groups(1);
  const std::regex tick(std::string("<text class=\"tick ") + axis + "\"[^>]*>([^<]*)</text>");
  double previous = -std::numeric_limits<double>::infinity();
  for (std::sregex_iterator it(figure.begin(), figure.end(), tick), end; it != end; ++it) {
    const double value = std::strtod((*it)[1].str().c_str(), nullptr);
    if (value <= previous) groups.emplace_back();  // the next panel's axis
    groups.back().push_back(value);
    previous = value;
  }
  return groups;
}

TEST(QcReport, TicksAtRoundValues) {
  const struct {
    const char* name;
    std::size_t volumes;
    double scale, offset;
  } rows[] = {
      {"few volumes, unit values", 7, 1, 0},
      {"a long run, large values", 1234, 850, 2000},
      {"tiny values", 180, 0.0013, 0},
      {"all negative", 95, 3.7, -12.2},
  };
  for (const auto& row : rows) {
    SubjectReport subject = subjectWith({kPpi, kTask, kSignal, kMotion}, row.volumes);
    for (Predictor& predictor : subject.predictors) {
      predictor.values = wave(row.volumes, 9, row.scale, row.offset);
    }
    const std::vector<std::string> found = figures(qcReportHtml(runOf({subject})));
    ASSERT_EQ(found.size(), 1u);
    for (const char* axis : {"x", "y"}) {
      const auto groups = tickGroups(found[0], axis);
      EXPECT_EQ(groups.size(), axis[0] == 'x' ? 1u : 2u) << row.name << " " << axis;
      for (const std::vector<double>& ticks : groups) {
        ASSERT_GE(ticks.size(), 3u) << row.name << " " << axis;
        const double step = ticks[1] - ticks[0];
        const double magnitude = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
        const double mantissa = step / magnitude;
        EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-6 || std::fabs(mantissa - 2) < 1e-6 ||
                    std::fabs(mantissa - 5) < 1e-6)
            << row.name << " " << axis << ": step " << step;
        for (std::size_t i = 0; i < ticks.size(); ++i) {
          EXPECT_NEAR(ticks[i] / step, std::round(ticks[i] / step), 1e-6)
              << row.name << " " << axis << ": " << ticks[i];
          if (i > 0) {
            EXPECT_NEAR(ticks[i] - ticks[i - 1], step, step * 1e-6) << row.name;
          }
        }
      }
      if (axis[0] == 'x') {
        EXPECT_LE(groups[0].back(), static_cast<double>(row.volumes)) << row.name;
        EXPECT_GT(groups[0].back() + (groups[0][1] - groups[0][0]),
                  static_cast<double>(row.volumes))
            << row.name;
      }
    }
  }
}

TEST(QcReport, RunSummary) {
  SubjectReport first = subjectWith({kPpi, kTask, kSignal});
  SubjectReport same = first;
  SubjectReport renamed = first;
  renamed.predictors[1].name = "Other";
  SubjectReport longer = first;
  longer.predictors.push_back({"Extra", std::vector<float>(40, 2), kOther});
  const struct {
    const char* name;
    std::vector<SubjectReport> subjects;
    const char* says;
  } rows[] = {
      {"same predictors", {first, same, same}, "Yes: all 3 designs have the same 4 predictors"},
      {"a renamed predictor",
       {first, same, renamed},
       "subject 3\u2019s predictors differ from subject 1\u2019s (predictor 2 is "
       "\u201cOther\u201d"},
      {"one more predictor", {first, longer}, "it has 5 predictors, subject 1 has 4"},
      {"one subject", {first}, "One design only."},
  };
  for (const auto& row : rows) {
    const std::string html = qcReportHtml(runOf(row.subjects));
    EXPECT_NE(html.find(row.says), std::string::npos) << row.name;
    EXPECT_NE(html.find("The run completed: " + std::to_string(row.subjects.size()) + " of " +
                        std::to_string(row.subjects.size())),
              std::string::npos)
        << row.name;
    EXPECT_NE(html.find("2024-06-01T12:00:00Z"), std::string::npos);
  }

  // The largest |r| between a PPI term and another predictor, with the pair.
  SubjectReport correlated = subjectWith({kPpi, kTask, kSignal});
  correlated.predictors[1].values = correlated.predictors[0].values;
  correlated.predictors[1].values[3] += 0.5f;
  correlated.stats = ppi::analysis::computeDesignStats(correlated.predictors);
  const double r = correlated.stats.correlation(0, 1);
  char expected[64];
  std::snprintf(expected, sizeof expected, "%.2f <span class=\"pair\">(P1 / P2)</span>", r);
  EXPECT_NE(qcReportHtml(runOf({correlated})).find(expected), std::string::npos) << expected;
}

}  // namespace
