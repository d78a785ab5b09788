#include "formats/mocomerge.h"

#include <cmath>
#include <string_view>
#include <vector>

#include "common/filelayer.h"
#include "formats/sdmtext.h"

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

// The merged text on its way to the file layer. Lines are composed in a large
// buffer, and whenever the text handed so far plus the buffer reaches the
// writer's next block, the text up to that block's end is handed over: the
// writer puts whole blocks on the file at the very lines where a line-by-line
// hand-over had it write them, so a write that fails is noticed at the same
// line as before, and it writes them as they are handed, without gathering
// them first.
//
// The merged file is not flushed line by line: it is written to a temporary
// file that takes the merged name only when whole, and the file layer flushes
// it to disk once, before that rename. A flush per line made nothing safer.
class MergedText {
 public:
  explicit MergedText(ReplacingWriter& out) : out_(out), text_(2 * ReplacingWriter::kBlockSize) {}

  // The items of the line under way.
  sdm::TextBuilder& items() { return text_; }
  void headerLine(std::string_view key, std::int64_t value) {
    text_.headerLine(key, value);
    lineEnded();
  }
  void endLine() {
    text_.endLine();
    lineEnded();
  }
  // False once a hand-over has failed.
  bool good() const { return good_; }
  // Hands over the rest; false once a hand-over has failed.
  bool finish() {
    handOver(text_.text().size());
    return good_;
  }

 private:
  static constexpr std::size_t kBlock = ReplacingWriter::kBlockSize;

  void lineEnded() {
    const std::size_t composed = text_.text().size();
    const std::size_t toBlockEnd = kBlock - handed_ % kBlock;
    if (composed >= toBlockEnd) handOver(toBlockEnd + (composed - toBlockEnd) / kBlock * kBlock);
  }
  void handOver(std::size_t count) {
    const std::string_view pending = text_.text().substr(0, count);
    if (good_ && !pending.empty() && !out_.write(pending).ok()) good_ = false;
    handed_ += pending.size();
    text_.dropFront(pending.size());
  }

  ReplacingWriter& out_;
  sdm::TextBuilder text_;
  std::uint64_t handed_ = 0;
  bool good_ = true;
};

// Merges the design's text into the merged file. Fails after logging why.
Outcome mergeDesign(std::string_view design, MergedText& merged, const MoCoSDM& moco,
                    const AddedColumns& added, LogSink& log) {
  sdm::TextReader reader(design);
  sdm::TextBuilder& items = merged.items();
  auto headerProblem = [&log]() -> Outcome {
    return log.failed("", "Unable to read the header of the design matrix.");
  };
  auto mergeProblem = [&log]() -> Outcome { return log.failed("", "%s", kMergeProblem); };

  std::string key;
  std::int32_t version = 0;
  if (!reader.readHeaderItem(key, version)) return headerProblem();
  if (version > 1) {
    return log.failed("", "Incorrect FileVersion detected.");
  }
  merged.headerLine(key, version);
  merged.endLine();

  std::int32_t predictors = 0;
  if (!reader.readHeaderItem(key, predictors) || predictors < 0) return headerProblem();
  const std::int64_t mergedPredictors =
      static_cast<std::int64_t>(predictors) + kMotionPredictorCount +
      static_cast<std::int64_t>(added.names.size());
  merged.headerLine(key, mergedPredictors);

  std::int32_t dataPoints = 0;
  if (!reader.readHeaderItem(key, dataPoints)) return headerProblem();
  merged.headerLine(key, dataPoints);
  if (dataPoints != moco.nrOfDataPoints) {
    return log.failed("", "Number of time points do not match.");
  }
  if (!added.none() && mergedPredictors >= dataPoints) {
    return log.failed(
        "",
        "The merged design would have %lld predictors (%zu of them spikes) for %i volumes: no "
        "volume is left to estimate them.",
        static_cast<long long>(mergedPredictors), added.names.size() - added.continuous,
        dataPoints);
  }

  std::int32_t includesConstant = 0;
  std::int32_t firstConfound = 0;
  if (!reader.readHeaderItem(key, includesConstant)) return headerProblem();
  merged.headerLine(key, includesConstant);
  if (!reader.readHeaderItem(key, firstConfound)) return headerProblem();
  merged.headerLine(key, firstConfound);
  merged.endLine();
  const bool hasConstant = includesConstant != 0;
  if (hasConstant && predictors == 0) return headerProblem();  // a constant that is not there
  // The design's predictors that stand before the motion predictors.
  const std::int32_t leading = hasConstant ? predictors - 1 : predictors;

  sdm::Colour constantColour{};
  for (std::int32_t p = 0; p < predictors; ++p) {
    sdm::Colour colour{};
    if (!reader.readColour(colour)) return mergeProblem();
    if (p < leading) {
      items.colour(colour);
    } else {
      constantColour = colour;
    }
  }
  for (const sdm::Colour& colour : moco.colors) items.colour(colour);
  for (const sdm::Colour& colour : added.colours) items.colour(colour);
  if (hasConstant) items.colour(constantColour);
  merged.endLine();

  // The names are taken from the ninth line as it stands.
  std::string_view nameLine;
  if (!reader.rewindAndSkipLines(8) || !reader.readLine(nameLine)) return mergeProblem();
  std::vector<std::string> names = sdm::takeQuotedNames(nameLine);
  if (names.size() != static_cast<std::size_t>(predictors)) {
    return log.failed(
        "", "Specified number of predictors does not match number of predictors read from file.");
  }
  for (std::int32_t p = 0; p < leading; ++p) items.name(names[static_cast<std::size_t>(p)]);
  for (const char* name : kMotionPredictorNames) items.name(name);
  for (const std::string& name : added.names) items.name(name);
  if (hasConstant) items.name(names.back());
  merged.endLine();

  // The motion predictors' values of every row are formatted before the rows
  // are read, in one run whose values do not wait on the design's.
  const std::size_t rows = static_cast<std::size_t>(dataPoints);
  sdm::TextBuilder motion(rows * (kMotionPredictorCount + added.values.size()) * 16);
  std::vector<std::size_t> motionEnds(rows + 1, 0);  // where each row's values end
  for (std::size_t row = 0; row < rows; ++row) {
    for (const std::vector<double>& column : moco.values) motion.value(column[row]);
    for (const std::vector<double>& column : added.values) motion.value(column[row]);
    motionEnds[row + 1] = motion.text().size();
  }

  for (std::int32_t row = 0; row < dataPoints; ++row) {
    double constant = 0.0;
    if (!items.valuesFrom(reader, static_cast<std::size_t>(leading))) return mergeProblem();
    if (hasConstant && !reader.readValue(constant)) return mergeProblem();
    const std::size_t first = motionEnds[static_cast<std::size_t>(row)];
    items.composed(
        motion.text().substr(first, motionEnds[static_cast<std::size_t>(row) + 1] - first));
    if (hasConstant && !items.constant(constant)) {
      return log.failed("", "The constant's value %g in row %i is too large to be written.",
                        constant, row + 1);
    }
    merged.endLine();
    if (!merged.good()) return mergeProblem();
  }
  if (!merged.finish()) return mergeProblem();
  return {};
}

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
  moco.centredOnly.clear();
  for (std::size_t k = 0; k < centred.size(); ++k) {
    if (centred[k]) {
      log.line("Motion predictor \"%s\" does not vary: it is centred, not scaled.",
               kMotionPredictorNames[k]);
      moco.centredOnly.push_back(kMotionPredictorNames[k]);
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

namespace {

// A merge that stops, with the line that said why.
MoCoMerge failedMerge(MoCoMerge result, Failure failure) {
  result.complete = false;
  result.problem = std::move(failure.reason);
  return result;
}

MoCoMerge mergeMotion(const std::string& designPath, MoCoSDM& moco, std::int32_t zTransform,
                      LogSink& log, AddedColumns& added);

}  // namespace

MoCoMerge addMoCoToSDM(const std::string& designPath, MoCoSDM& moco, std::int32_t zTransform,
                       LogSink& log, AddedColumns added) {
  return mergeMotion(designPath, moco, zTransform, log, added);
}

namespace {

MoCoMerge mergeMotion(const std::string& designPath, MoCoSDM& moco, std::int32_t zTransform,
                      LogSink& log, AddedColumns& added) {
  MoCoMerge result;
  if (!wellFormed(moco)) {
    return failedMerge(
        result, log.failed("", "The motion estimates were not read whole; they are not merged."));
  }
  for (const std::vector<double>& column : added.values) {
    if (column.size() != static_cast<std::size_t>(moco.nrOfDataPoints) ||
        added.values.size() != added.names.size() || added.colours.size() != added.names.size()) {
      return failedMerge(
          result,
          log.failed(
              "",
              "The added confound columns do not fit the motion estimates; they are not merged."));
    }
  }
  // Any failure inside, an exception included, gives one fixed line and what
  // was built: no merged file, and no temporary file left behind.
  try {
    if (zTransform != 0 && !zTransformMoCo(moco, log)) {
      log.text("Error while z-transforming motion correction predictors.");
    }
    if (moco.zTransformed) {
      for (std::size_t c = 0; c < added.continuous && c < added.values.size(); ++c) {
        zTransformColumn(added.values[c].data(), moco.nrOfDataPoints);
      }
    }
    std::string designText;
    const bool designRead = readFileBytes(designPath, designText).ok();
    result.mergedPath = insertFileSuffix(
        designPath, std::string(kMoCoSuffix) + added.tag + (moco.zTransformed ? "_z" : ""));
    log.lineLimited(kNewFileNameLimit, "New filename: %s", result.mergedPath.c_str());
    if (!designRead) {
      return failedMerge(result, log.failed("", "Unable to open the design matrix file."));
    }
    // Written through the file layer: the merged name holds nothing until the
    // whole file is on disk; a merge that stops removes its temporary file.
    ReplacingWriter out;
    if (!out.begin(result.mergedPath, TextMode::text).ok()) {
      return failedMerge(result, log.failed("", "Unable to open a file for writing."));
    }
    MergedText merged(out);
    if (Outcome written = mergeDesign(designText, merged, moco, added, log); !written.ok()) {
      return failedMerge(result, written.failure());
    }
    if (!out.commit().ok()) {
      return failedMerge(result, log.failed("", "Unable to open a file for writing."));
    }
    result.complete = true;
  } catch (...) {
    return failedMerge(result, log.failed("", "%s", kMergeProblem));
  }
  return result;
}

}  // namespace

}  // namespace ppi::confounds
