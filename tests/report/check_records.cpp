// check_records STUDY [--report]: every design matrix the plug-in saved or
// merged under STUDY (a .sdm file with a "<label>_predictor" and a "Constant")
// has its provenance record beside it; every record parses, names the design's
// predictors in file order, and its correlations match those recomputed from
// the saved file to 1e-4. With --report, a PPI_report*.html must be under STUDY
// too. Prints one line per problem; exit status 1 when there was any.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
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
  if (columns.size() < 2) return problem(recordPath, "fewer than two correlated predictors");
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
    std::fprintf(stderr, "usage: check_records STUDY [--report]\n");
    return 2;
  }
  const bool wantReport = argc > 2 && std::string(argv[2]) == "--report";
  int designs = 0, reports = 0;
  for (const auto& entry : fs::recursive_directory_iterator(argv[1])) {
    if (!entry.is_regular_file()) continue;
    const fs::path& path = entry.path();
    const std::string name = path.filename().string();
    if (name.rfind("PPI_report", 0) == 0 && path.extension() == ".html") ++reports;
    if (path.extension() != ".sdm") continue;
    const ppi::confounds::DesignMatrixRead read =
        ppi::confounds::readDesignMatrixFile(path.string());
    if (!read.complete || !isPluginDesign(read.design)) continue;
    ++designs;
    checkDesign(path, read.design);
  }
  if (designs == 0) problem(argv[1], "holds no design matrix");
  if (wantReport && reports == 0) problem(argv[1], "holds no QC report");
  std::printf("%d design matrices checked, %d problems\n", designs, problems);
  return problems == 0 ? 0 : 1;
}
