#include "standin/designfile.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace standin {

bool writeDesignMatrixFile(const std::string& path, const DesignMatrixFile& design) {
  const std::size_t predictors = design.names.size();
  const std::size_t rows = design.columns.empty() ? 0 : design.columns.front().size();
  // One column per name, all of one length: anything else is not a design matrix.
  if (design.columns.size() != predictors) return false;
  for (const auto& column : design.columns) {
    if (column.size() != rows) return false;
  }
  std::ofstream out(path);
  if (!out) return false;
  out << "Version: " << design.version << "\n\n";
  out << "Predictors: " << predictors << "\n";
  out << "DataPoints: " << rows << "\n";
  out << "HasConstant: " << (design.hasConstant ? 1 : 0) << "\n";
  out << "FirstConfound: " << design.firstConfound << "\n\n";
  for (std::size_t p = 0; p < predictors; ++p) {
    const auto& c = p < design.colours.size() ? design.colours[p] : std::array<int, 3>{0, 0, 0};
    out << c[0] << ' ' << c[1] << ' ' << c[2] << '\t';
  }
  out << "\n";
  for (const std::string& name : design.names) out << '"' << name << "\"\t";
  out << "\n";
  char number[64];
  for (std::size_t row = 0; row < rows; ++row) {
    for (std::size_t p = 0; p < predictors; ++p) {
      const double value = design.columns[p][row];
      // A negative zero (a product with -0) is written as 0.
      std::snprintf(number, sizeof number, "%.9g", value == 0.0 ? 0.0 : value);
      out << number << '\t';
    }
    out << "\n";
  }
  out.flush();
  return static_cast<bool>(out);
}

std::optional<DesignMatrixFile> readDesignMatrixFile(const std::string& path, std::string* error) {
  auto fail = [&](const std::string& why) -> std::optional<DesignMatrixFile> {
    if (error != nullptr) *error = why;
    return std::nullopt;
  };
  std::ifstream in(path);
  if (!in) return fail("cannot open " + path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  if (lines.size() < 9) return fail("fewer than nine lines");
  std::istringstream header(lines[0] + " " + lines[2] + " " + lines[3] + " " + lines[4] + " " +
                            lines[5]);
  std::string key;
  int version = 0, predictors = 0, rows = 0, constant = 0, confound = 0;
  header >> key >> version >> key >> predictors >> key >> rows >> key >> constant >> key >>
      confound;
  if (!header || predictors < 0 || rows < 0) return fail("header cannot be read");
  DesignMatrixFile design;
  design.version = version;
  design.hasConstant = constant != 0;
  design.firstConfound = confound;
  std::istringstream colours(lines[7]);
  for (int p = 0; p < predictors; ++p) {
    std::array<int, 3> c{};
    if (!(colours >> c[0] >> c[1] >> c[2])) return fail("colour line too short");
    design.colours.push_back(c);
  }
  bool inside = false;
  std::string name;
  for (char ch : lines[8]) {
    if (ch == '"') {
      if (inside) design.names.push_back(name);
      name.clear();
      inside = !inside;
    } else if (inside) {
      name += ch;
    }
  }
  if (static_cast<int>(design.names.size()) != predictors) return fail("name count differs");
  if (static_cast<int>(lines.size()) < 9 + rows) return fail("fewer rows than the header says");
  design.columns.assign(static_cast<std::size_t>(predictors), std::vector<double>());
  for (int row = 0; row < rows; ++row) {
    std::istringstream values(lines[static_cast<std::size_t>(9 + row)]);
    for (int p = 0; p < predictors; ++p) {
      double value = 0.0;
      if (!(values >> value)) return fail("row " + std::to_string(row + 1) + " too short");
      design.columns[static_cast<std::size_t>(p)].push_back(value);
    }
    double extra = 0.0;
    if (values >> extra) return fail("row " + std::to_string(row + 1) + " too long");
  }
  return design;
}

}  // namespace standin
