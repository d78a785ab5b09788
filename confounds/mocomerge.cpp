#include "confounds/mocomerge.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "confounds/sdmtext.h"

namespace ppi::confounds {

const std::array<const char*, kMotionPredictorCount> kMotionPredictorNames = {
    "Translation TY-X [mm]", "Translation TY-Y [mm]", "Translation TY-Z [mm]",
    "Rotation TY-X [deg]",   "Rotation TY-Y [deg]",   "Rotation TY-Z [deg]",
};

namespace {

constexpr const char* kMergeProblem =
    "Error while converting PRT to SDM with 3DMC, heart rate and respiration files.";
constexpr std::size_t kNewFileNameLimit = 255;

// The record holds six columns of nrOfDataPoints values each.
bool wellFormed(const MoCoSDM& moco) {
  if (!moco.valid || moco.nrOfDataPoints < 0) return false;
  for (const std::vector<double>& column : moco.values) {
    if (column.size() != static_cast<std::size_t>(moco.nrOfDataPoints)) return false;
  }
  return true;
}

// Streams the design into the merged file. False after logging why.
bool mergeDesign(std::istream& design, std::ostream& merged, const MoCoSDM& moco, LogSink& log) {
  sdm::TokenReader reader(design);
  sdm::Writer writer(merged);
  auto headerProblem = [&log] {
    log.text("Unable to read the header of the design matrix.");
    return false;
  };
  auto mergeProblem = [&log] {
    log.text(kMergeProblem);
    return false;
  };

  std::string key;
  std::int32_t version = 0;
  if (!reader.readHeaderItem(key, version)) return headerProblem();
  if (version > 1) {
    log.text("Incorrect FileVersion detected.");
    return false;
  }
  writer.headerLine(key, version);
  writer.emptyLine();

  std::int32_t predictors = 0;
  if (!reader.readHeaderItem(key, predictors) || predictors < 0) return headerProblem();
  writer.headerLine(key, static_cast<std::int64_t>(predictors) + kMotionPredictorCount);

  std::int32_t dataPoints = 0;
  if (!reader.readHeaderItem(key, dataPoints)) return headerProblem();
  writer.headerLine(key, dataPoints);
  if (dataPoints != moco.nrOfDataPoints) {
    log.text("Number of time points do not match.");
    return false;
  }

  std::int32_t includesConstant = 0;
  std::int32_t firstConfound = 0;
  if (!reader.readHeaderItem(key, includesConstant)) return headerProblem();
  writer.headerLine(key, includesConstant);
  if (!reader.readHeaderItem(key, firstConfound)) return headerProblem();
  writer.headerLine(key, firstConfound);
  writer.emptyLine();
  const bool hasConstant = includesConstant != 0;
  if (hasConstant && predictors == 0) return headerProblem();  // a constant that is not there
  // The design's predictors that stand before the motion predictors.
  const std::int32_t leading = hasConstant ? predictors - 1 : predictors;

  sdm::Colour constantColour{};
  for (std::int32_t p = 0; p < predictors; ++p) {
    sdm::Colour colour{};
    if (!reader.readColour(colour)) return mergeProblem();
    if (p < leading) {
      writer.colour(colour);
    } else {
      constantColour = colour;
    }
  }
  for (const sdm::Colour& colour : moco.colors) writer.colour(colour);
  if (hasConstant) writer.colour(constantColour);
  writer.endLine();

  // The names are taken from the ninth line as it stands.
  std::string nameLine;
  if (!reader.rewindAndSkipLines(8) || !reader.readLine(nameLine)) return mergeProblem();
  std::vector<std::string> names = sdm::takeQuotedNames(nameLine);
  if (names.size() != static_cast<std::size_t>(predictors)) {
    log.text("Specified number of predictors does not match number of predictors read from file.");
    return false;
  }
  for (std::int32_t p = 0; p < leading; ++p) writer.name(names[static_cast<std::size_t>(p)]);
  for (const char* name : kMotionPredictorNames) writer.name(name);
  if (hasConstant) writer.name(names.back());
  writer.endLine();

  for (std::int32_t row = 0; row < dataPoints; ++row) {
    double constant = 0.0;
    for (std::int32_t p = 0; p < predictors; ++p) {
      double value = 0.0;
      if (!reader.readValue(value)) return mergeProblem();
      if (p < leading) {
        writer.value(value);
      } else {
        constant = value;
      }
    }
    for (const std::vector<double>& column : moco.values) {
      writer.value(column[static_cast<std::size_t>(row)]);
    }
    if (hasConstant && !writer.constant(constant)) {
      log.line("The constant's value %g in row %i is too large to be written.", constant, row + 1);
      return false;
    }
    writer.endLine();
    if (!writer.good()) return mergeProblem();
  }
  if (!writer.good()) return mergeProblem();
  return true;
}

// The merged file while it is written: removed when the merge ends without
// having renamed it, whichever way it ends.
class PartFile {
 public:
  explicit PartFile(std::string path) : path_(std::move(path)) {}
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;
  ~PartFile() {
    if (!renamed_) {
      std::error_code ignored;
      std::filesystem::remove(path_, ignored);
    }
  }
  const std::string& path() const { return path_; }
  bool renameTo(const std::string& target) const {
    std::error_code error;
    std::filesystem::rename(path_, target, error);
    renamed_ = !error;
    return renamed_;
  }

 private:
  std::string path_;
  mutable bool renamed_ = false;
};

}  // namespace

ColumnTransform zTransformColumn(double* values, std::int32_t count) {
  if (count <= 0) return ColumnTransform::standardised;
  const double n = static_cast<double>(count);
  double sum = 0.0;
  for (std::int32_t i = 0; i < count; ++i) sum += values[i];
  const double mean = sum / n;
  if (!std::isfinite(mean)) return ColumnTransform::notFinite;

  bool allEqual = true;
  double squares = 0.0;
  for (std::int32_t i = 0; i < count; ++i) {
    allEqual = allEqual && values[i] == values[0];
    const double deviation = values[i] - mean;
    squares += deviation * deviation;
  }
  const double deviation = std::sqrt(squares / n);
  if (!std::isfinite(deviation)) return ColumnTransform::notFinite;
  if (allEqual || deviation == 0.0) {
    // Equal values may leave a mean one rounding step away from them: their
    // centred values are exactly zero.
    for (std::int32_t i = 0; i < count; ++i) values[i] = allEqual ? 0.0 : values[i] - mean;
    return ColumnTransform::centredOnly;
  }
  for (std::int32_t i = 0; i < count; ++i) values[i] = (values[i] - mean) / deviation;
  return ColumnTransform::standardised;
}

bool zTransformMoCo(MoCoSDM& moco, LogSink& log) {
  if (!wellFormed(moco)) return false;
  // Transform copies, so that a column that fails leaves the record as it was.
  std::array<std::vector<double>, kMotionPredictorCount> columns = moco.values;
  std::array<bool, kMotionPredictorCount> centred{};
  for (std::size_t k = 0; k < columns.size(); ++k) {
    ColumnTransform outcome = zTransformColumn(columns[k].data(), moco.nrOfDataPoints);
    if (outcome == ColumnTransform::notFinite) return false;
    centred[k] = outcome == ColumnTransform::centredOnly;
  }
  moco.values = std::move(columns);
  moco.zTransformed = true;
  for (std::size_t k = 0; k < centred.size(); ++k) {
    if (centred[k]) {
      log.line("Motion predictor \"%s\" does not vary: it is centred, not scaled.",
               kMotionPredictorNames[k]);
    }
  }
  return true;
}

std::string insertFileSuffix(std::string_view path, std::string_view suffix) {
  const std::size_t cut = path.size() >= 4 ? path.size() - 4 : 0;
  std::string result;
  result.reserve(path.size() + suffix.size());
  result.append(path.substr(0, cut)).append(suffix).append(path.substr(cut));
  return result;
}

MoCoMerge addMoCoToSDM(const std::string& designPath, MoCoSDM& moco, std::int32_t zTransform,
                       LogSink& log) {
  MoCoMerge result;
  if (!wellFormed(moco)) {
    log.text("The motion estimates were not read whole; they are not merged.");
    return result;
  }
  // Any failure inside, an exception included, gives one fixed line and what
  // was built: no merged file, and no temporary file left behind.
  try {
    if (zTransform != 0 && !zTransformMoCo(moco, log)) {
      log.text("Error while z-transforming motion correction predictors.");
    }
    std::ifstream design(designPath);
    result.mergedPath =
        insertFileSuffix(designPath, moco.zTransformed ? kMoCoZSuffix : kMoCoSuffix);
    log.lineLimited(kNewFileNameLimit, "New filename: %s", result.mergedPath.c_str());
    if (!design) {
      log.text("Unable to open the design matrix file.");
      return result;
    }
    const PartFile part(result.mergedPath + ".part");
    std::ofstream merged(part.path(), std::ios::out | std::ios::trunc);
    if (!merged) {
      log.text("Unable to open a file for writing.");
      return result;
    }
    if (!mergeDesign(design, merged, moco, log)) return result;
    merged.close();
    if (merged.fail()) {
      log.text(kMergeProblem);
      return result;
    }
    if (!part.renameTo(result.mergedPath)) {
      log.text("Unable to open a file for writing.");
      return result;
    }
    result.complete = true;
  } catch (...) {
    log.text(kMergeProblem);
  }
  return result;
}

}  // namespace ppi::confounds
