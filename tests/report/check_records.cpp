// check_records STUDY [--report] [--dialog FILE] [--expect FILE] [--no-design]:
// every design matrix the plug-in saved or merged under STUDY (a .sdm file
// with a "<label>_predictor" and a "Constant") has its provenance record beside
// it; every record parses, names the design's predictors in file order, and
// its correlations match those recomputed from the saved file to 1e-4. With
// --report, a PPI_report*.html must be under STUDY too. --dialog FILE (the
// dialog's "PPIReport" as a session wrote it): the findings of every record
// and of the QC report are lines of it, and every subject's finding in it is
// in the report beside it (its summary and the subject pages in the folder of
// the same name): one set of findings reaches all three. --expect FILE: lines
// "K ID SEVERITY", a finding the QC report must show for subject K in its
// section and in its row of the summary. --no-design: STUDY may hold none.
// Prints one line per problem; exit status 1 when there was any.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "run/runrecords.h"
#include "formats/sdmfile.h"

namespace fs = std::filesystem;

namespace {

int problems = 0;

void problem(const std::string& file, const std::string& what) {
  std::printf("%s: %s\n", file.c_str(), what.c_str());
  ++problems;
}

bool isPluginDesign(const ppi::confounds::DesignMatrixFile& design) {
  bool region = false, constant = false;
  for (const std::string& name : design.names) {
    if (name == "Constant") constant = true;
    if (name.size() > 10 && name.compare(name.size() - 10, 10, "_predictor") == 0) region = true;
  }
  return region && constant;
}

double pearson(const std::vector<double>& a, const std::vector<double>& b) {
  const double n = static_cast<double>(a.size());
  double ma = 0, mb = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    ma += a[i];
    mb += b[i];
  }
  ma /= n;
  mb /= n;
  double sab = 0, saa = 0, sbb = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    sab += (a[i] - ma) * (b[i] - mb);
    saa += (a[i] - ma) * (a[i] - ma);
    sbb += (b[i] - mb) * (b[i] - mb);
  }
  return sab / std::sqrt(saa * sbb);
}

// Every record's findings, as the dialog lists them.
std::vector<std::pair<std::string, std::string>> recordFindings;  // record, line

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string unescaped(std::string text) {
  const std::pair<const char*, const char*> entities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
  for (const auto& [entity, character] : entities) {
    for (std::size_t at = text.find(entity); at != std::string::npos;
         at = text.find(entity, at + 1)) {
      text.replace(at, std::string(entity).size(), character);
    }
  }
  return text;
}

// The QC report's findings: per subject section, its <li> texts, ids and
// classes; per summary row, its cell.
struct ReportFinding {
  std::string subject;  // "K"
  std::string severity;
  std::string id;
  std::string line;
};

std::vector<ReportFinding> reportFindings(const std::string& html) {
  std::vector<ReportFinding> found;
  const std::string sectionTag = "<section class=\"subject-section\" id=\"subject-";
  for (std::size_t at = html.find(sectionTag); at != std::string::npos;
       at = html.find(sectionTag, at + 1)) {
    const std::size_t numberAt = at + sectionTag.size();
    const std::string subject = html.substr(numberAt, html.find('"', numberAt) - numberAt);
    const std::size_t end = html.find("</section>", at);
    const std::string liTag = "<li class=\"finding ";
    for (std::size_t li = html.find(liTag, at); li != std::string::npos && li < end;
         li = html.find(liTag, li + 1)) {
      ReportFinding finding;
      finding.subject = subject;
      const std::size_t sev = li + liTag.size();
      finding.severity = html.substr(sev, html.find('"', sev) - sev);
      const std::size_t idAt = html.find("id=\"", sev) + 4;
      const std::string id = html.substr(idAt, html.find('"', idAt) - idAt);
      finding.id = id.substr(0, id.size() - subject.size() - 1);
      const std::size_t textAt = html.find('>', li) + 1;
      finding.line = unescaped(html.substr(textAt, html.find("</li>", textAt) - textAt));
      found.push_back(finding);
    }
  }
  return found;
}

// The summary row of subject K.
std::string summaryRow(const std::string& html, const std::string& subject) {
  const std::string tag = "<tr class=\"subject-row\" id=\"row-" + subject + "\">";
  const std::size_t at = html.find(tag);
  if (at == std::string::npos) return {};
  return html.substr(at, html.find("</tr>", at) - at);
}

void checkDesign(const fs::path& sdm, const ppi::confounds::DesignMatrixFile& design) {
  const std::string recordPath = ppi::analysis::recordPathFor(sdm.string());
  std::ifstream in(recordPath, std::ios::binary);
  if (!in) return problem(sdm.string(), "no record beside it");
  nlohmann::json record;
  try {
    record = nlohmann::json::parse(in);
  } catch (const std::exception& e) {
    return problem(recordPath, std::string("does not parse: ") + e.what());
  }
  for (const auto& finding : record.at("findings")) {
    std::string line = finding.at("severity").get<std::string>() + ": ";
    if (!finding.at("where").get<std::string>().empty()) line += finding.at("where").get<std::string>() + ": ";
    line += finding.at("what").get<std::string>();
    if (!finding.at("todo").get<std::string>().empty()) line += " " + finding.at("todo").get<std::string>();
    recordFindings.push_back({recordPath, line});
  }
  std::vector<std::string> names;
  for (const auto& predictor : record.at("predictors")) names.push_back(predictor.at("name"));
  if (names != design.names) return problem(recordPath, "its predictor names differ from the design's");

  const auto& correlations = record.at("correlations");
  std::vector<std::size_t> columns;
  for (const auto& name : correlations.at("names")) {
    std::size_t found = design.names.size();
    for (std::size_t i = 0; i < design.names.size(); ++i) {
      if (design.names[i] == name.get<std::string>()) found = i;
    }
    if (found == design.names.size()) return problem(recordPath, "correlates an unknown predictor");
    columns.push_back(found);
  }
  // A design whose error the record names may have nothing to correlate.
  bool error = false;
  for (const auto& finding : record.at("findings")) error = error || finding.at("severity") == "error";
  if (columns.size() < 2 && !error) return problem(recordPath, "fewer than two correlated predictors");
  const auto& matrix = correlations.at("matrix");
  for (std::size_t a = 0; a < columns.size(); ++a) {
    for (std::size_t b = 0; b < columns.size(); ++b) {
      const double expected =
          a == b ? 1.0 : pearson(design.columns[columns[a]], design.columns[columns[b]]);
      const double recorded = matrix.at(a).at(b).get<double>();
      if (!(std::fabs(recorded - expected) <= 1e-4)) {
        problem(recordPath, "correlation of " + design.names[columns[a]] + " and " +
                                design.names[columns[b]] + " is " + std::to_string(recorded) +
                                ", the saved file gives " + std::to_string(expected));
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: check_records STUDY [--report] [--dialog FILE] [--expect FILE] "
                 "[--no-design]\n");
    return 2;
  }
  bool wantReport = false, noDesign = false;
  std::string dialogPath, expectPath;
  for (int i = 2; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--report") wantReport = true;
    if (option == "--no-design") noDesign = true;
    if (option == "--dialog" && i + 1 < argc) dialogPath = argv[++i];
    if (option == "--expect" && i + 1 < argc) expectPath = argv[++i];
  }
  int designs = 0, reports = 0;
  std::string reportPath;
  for (const auto& entry : fs::recursive_directory_iterator(argv[1])) {
    if (!entry.is_regular_file()) continue;
    const fs::path& path = entry.path();
    const std::string name = path.filename().string();
    if (name.rfind("PPI_report", 0) == 0 && path.extension() == ".html") {
      ++reports;
      reportPath = path.string();
    }
    if (path.extension() != ".sdm") continue;
    const ppi::confounds::DesignMatrixRead read =
        ppi::confounds::readDesignMatrixFile(path.string());
    if (!read.complete || !isPluginDesign(read.design)) continue;
    ++designs;
    checkDesign(path, read.design);
  }
  if (designs == 0 && !noDesign) problem(argv[1], "holds no design matrix");
  if (wantReport && reports == 0) problem(argv[1], "holds no QC report");
  // The run whose dialog is given wrote its report beside that file.
  if (!dialogPath.empty()) {
    const fs::path beside = fs::path(dialogPath).parent_path() / "PPI_report.html";
    reportPath = fs::exists(beside) ? beside.string() : std::string();
    if (wantReport && reportPath.empty()) problem(dialogPath, "has no PPI_report.html beside it");
  }

  // The summary, then the subject pages in the folder beside it.
  std::string html = reportPath.empty() ? std::string() : readText(reportPath);
  if (!reportPath.empty()) {
    const fs::path folder = fs::path(reportPath).parent_path() / fs::path(reportPath).stem();
    std::vector<fs::path> pages;
    if (fs::is_directory(folder)) {
      for (const auto& entry : fs::directory_iterator(folder)) pages.push_back(entry.path());
    }
    std::sort(pages.begin(), pages.end());
    for (const fs::path& page : pages) html += readText(page.string());
  }
  const std::vector<ReportFinding> inReport = reportFindings(html);
  if (!dialogPath.empty()) {
    std::set<std::string> dialog;
    std::istringstream lines(readText(dialogPath));
    for (std::string line; std::getline(lines, line);) dialog.insert(line);
    for (const auto& [record, line] : recordFindings) {
      if (dialog.count(line) == 0) problem(record, "its finding is not in the dialog: " + line);
    }
    std::set<std::string> reported;
    for (const ReportFinding& finding : inReport) {
      reported.insert(finding.line);
      if (dialog.count(finding.line) == 0) {
        problem(reportPath, "its finding is not in the dialog: " + finding.line);
      }
    }
    for (const std::string& line : dialog) {
      const bool subjectFinding = line.rfind("error: subject ", 0) == 0 ||
                                  line.rfind("warning: subject ", 0) == 0;
      if (!html.empty() && subjectFinding && reported.count(line) == 0) {
        problem(reportPath, "lacks the dialog's finding: " + line);
      }
    }
  }
  if (!expectPath.empty()) {
    std::istringstream lines(readText(expectPath));
    for (std::string line; std::getline(lines, line);) {
      std::istringstream fields(line);
      std::string subject, id, severity;
      if (!(fields >> subject >> id >> severity)) continue;
      bool shown = false;
      for (const ReportFinding& finding : inReport) {
        shown = shown || (finding.subject == subject && finding.id == id &&
                          finding.severity == severity);
      }
      if (!shown) problem(reportPath, "subject " + subject + "'s section lacks " + line);
      if (summaryRow(html, subject).find(id + " (" + severity + ")") == std::string::npos) {
        problem(reportPath, "subject " + subject + "'s summary row lacks " + line);
      }
    }
  }
  std::printf("%d design matrices checked, %d problems\n", designs, problems);
  return problems == 0 ? 0 : 1;
}
