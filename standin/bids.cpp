#include "standin/bids.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

#include "standin/textutil.h"

namespace standin {

const char* const kMotionEstimateNames[6] = {
    "Translation TY-X [mm]", "Translation TY-Y [mm]", "Translation TY-Z [mm]",
    "Rotation TY-X [deg]",   "Rotation TY-Y [deg]",   "Rotation TY-Z [deg]",
};

namespace {

constexpr double kPi = 3.14159265358979323846;

std::string number(double value) {
  std::ostringstream out;
  out.precision(6);
  out << value;
  return out.str();
}

bool isNotAvailable(const std::string& field) { return field == "n/a" || field.empty(); }

bool parseNumber(const std::string& text, double& value) {
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  if (begin != end && *begin == '+') ++begin;
  auto result = std::from_chars(begin, end, value);
  return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string stripImageExtension(const std::string& path) {
  std::string base = path;
  if (base.size() >= 3 && base.compare(base.size() - 3, 3, ".gz") == 0) base.resize(base.size() - 3);
  if (base.size() >= 4 && base.compare(base.size() - 4, 4, ".nii") == 0) base.resize(base.size() - 4);
  return base;
}

}  // namespace

int TsvTable::column(const std::string& name) const {
  auto found = std::find(columns.begin(), columns.end(), name);
  return found == columns.end() ? -1 : static_cast<int>(found - columns.begin());
}

std::optional<TsvTable> readTsvFile(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return failed<TsvTable>(error, "cannot open " + path);
  TsvTable table;
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  while (!lines.empty() && lines.back().find_first_not_of(" \t") == std::string::npos) {
    lines.pop_back();
  }
  if (lines.empty()) return failed<TsvTable>(error, path + ": empty, no header line");
  table.columns = splitTabs(lines[0]);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::vector<std::string> fields = splitTabs(lines[i]);
    if (fields.size() != table.columns.size()) {
      return failed<TsvTable>(error, path + " line " + std::to_string(i + 1) + ": " +
                                         std::to_string(fields.size()) + " fields for " +
                                         std::to_string(table.columns.size()) + " columns");
    }
    table.rows.push_back(std::move(fields));
  }
  return table;
}

// --- events ------------------------------------------------------------------

std::optional<EventsProtocol> protocolFromEvents(const std::string& path, double repetitionTimeMs,
                                                 int volumes, const std::vector<std::string>& order,
                                                 std::string* error) {
  if (!(repetitionTimeMs > 0.0) || volumes < 1) {
    return failed<EventsProtocol>(error, path + ": no time course to convert the events in");
  }
  auto table = readTsvFile(path, error);
  if (!table) return std::nullopt;
  const int onsetColumn = table->column("onset");
  const int durationColumn = table->column("duration");
  const int typeColumn = table->column("trial_type");
  if (onsetColumn < 0 || durationColumn < 0 || typeColumn < 0) {
    return failed<EventsProtocol>(
        error, path + ": an events file needs the columns onset, duration and trial_type");
  }
  const double tr = repetitionTimeMs / 1000.0;
  const double runEnd = volumes * tr;
  const double tolerance = 1e-9 * tr;

  std::vector<std::string> names = order;
  std::vector<std::vector<bool>> covered(names.size(), std::vector<bool>(volumes, false));
  struct Short {
    int count = 0;
    double shortest = 0.0;
  };
  std::map<std::string, Short> shortEvents;
  int notAvailableTypes = 0, notAvailableDurations = 0, cut = 0;

  for (std::size_t r = 0; r < table->rows.size(); ++r) {
    const auto& row = table->rows[r];
    const std::string where = path + " line " + std::to_string(r + 2) + ": ";
    const std::string& type = row[static_cast<std::size_t>(typeColumn)];
    if (isNotAvailable(type)) {
      ++notAvailableTypes;
      continue;
    }
    double onset = 0.0, duration = 0.0;
    if (!parseNumber(row[static_cast<std::size_t>(onsetColumn)], onset) || onset < 0.0) {
      return failed<EventsProtocol>(error, where + "the onset " +
                                               quoted(row[static_cast<std::size_t>(onsetColumn)]) +
                                               " is not a number of seconds from 0");
    }
    const std::string& durationText = row[static_cast<std::size_t>(durationColumn)];
    if (isNotAvailable(durationText)) {
      ++notAvailableDurations;
    } else if (!parseNumber(durationText, duration) || duration < 0.0) {
      return failed<EventsProtocol>(error, where + "the duration " + quoted(durationText) +
                                               " is not a number of seconds from 0");
    }
    if (onset >= runEnd - tolerance) {
      return failed<EventsProtocol>(
          error, where + "the event " + quoted(type) + " at " + number(onset) +
                     " s starts after the run's end (" + std::to_string(volumes) +
                     " volumes of " + number(tr) + " s end at " + number(runEnd) + " s)");
    }
    auto found = std::find(names.begin(), names.end(), type);
    if (found == names.end()) {
      if (!order.empty()) {
        return failed<EventsProtocol>(error, where + "the trial_type " + quoted(type) +
                                                 " is not among the conditions listed");
      }
      names.push_back(type);
      covered.emplace_back(volumes, false);
      found = names.end() - 1;
    }
    std::vector<bool>& marks = covered[static_cast<std::size_t>(found - names.begin())];
    double end = onset + duration;
    if (end > runEnd + tolerance) {
      ++cut;
      end = runEnd;
    }
    if (duration < tr - tolerance && !isNotAvailable(durationText)) {
      Short& s = shortEvents[type];
      s.shortest = s.count == 0 ? duration : std::min(s.shortest, duration);
      ++s.count;
    }
    const int first = static_cast<int>(std::floor(onset / tr + 1e-9)) + 1;
    const int last = std::min(volumes, std::max(first, static_cast<int>(std::ceil(end / tr - 1e-9))));
    int best = first;
    double bestOverlap = -1.0;
    bool any = false;
    for (int v = first; v <= last; ++v) {
      const double overlap = std::min(end, v * tr) - std::max(onset, (v - 1) * tr);
      if (overlap >= tr / 2 - tolerance) {
        marks[static_cast<std::size_t>(v - 1)] = true;
        any = true;
      }
      if (overlap > bestOverlap + tolerance) {
        bestOverlap = overlap;
        best = v;
      }
    }
    if (!any) marks[static_cast<std::size_t>(best - 1)] = true;
  }

  EventsProtocol result;
  for (std::size_t c = 0; c < names.size(); ++c) {
    Condition condition{names[c], {}};
    for (int v = 1; v <= volumes; ++v) {
      if (!covered[c][static_cast<std::size_t>(v - 1)]) continue;
      if (!condition.intervals.empty() && condition.intervals.back().second == v - 1) {
        condition.intervals.back().second = v;
      } else {
        condition.intervals.emplace_back(v, v);
      }
    }
    if (condition.intervals.empty()) {
      result.notes.push_back(path + ": condition " + quoted(names[c]) + " has no events");
    }
    result.protocol.conditions.push_back(std::move(condition));
  }
  for (const auto& entry : shortEvents) {
    result.notes.push_back(path + ": " + std::to_string(entry.second.count) + " events of " +
                           quoted(entry.first) + " are shorter than a volume (" + number(tr) +
                           " s; the shortest " + number(entry.second.shortest) +
                           " s): each covers the volume it overlaps most");
  }
  if (notAvailableDurations > 0) {
    result.notes.push_back(path + ": " + std::to_string(notAvailableDurations) +
                           " events have the duration n/a: each covers the volume of its onset");
  }
  if (cut > 0) {
    result.notes.push_back(path + ": " + std::to_string(cut) + " events end after the run's end (" +
                           number(runEnd) + " s) and are cut there");
  }
  if (notAvailableTypes > 0) {
    result.notes.push_back(path + ": " + std::to_string(notAvailableTypes) +
                           " rows with the trial_type n/a are no condition");
  }
  return result;
}

// --- regions -----------------------------------------------------------------

std::string labelTablePath(const std::string& imagePath) {
  return stripImageExtension(imagePath) + ".tsv";
}

std::optional<RegionFile> regionsFromLabelImage(const std::string& path,
                                                const TimeCourse* timeCourse, std::string* error,
                                                std::vector<std::int64_t>* labelValues) {
  if (timeCourse == nullptr) {
    return failed<RegionFile>(error, path +
                                         ": a mask is read on the time course's grid; link the "
                                         "time course first");
  }
  auto image = readNiftiLabels(path, error);
  if (!image) return std::nullopt;
  const std::array<std::int32_t, 3> grid{timeCourse->dimX(), timeCourse->dimY(),
                                         timeCourse->dimZ()};
  auto dims = [](const std::array<std::int32_t, 3>& d) {
    return std::to_string(d[0]) + " x " + std::to_string(d[1]) + " x " + std::to_string(d[2]);
  };
  if (image->dims != grid) {
    return failed<RegionFile>(error, path + ": the mask's grid (" + dims(image->dims) +
                                         ") is not the time course's (" + dims(grid) +
                                         "): a mask must be in the time course's space");
  }
  if (timeCourse->voxelToWorld.size() == 12 && image->voxelToWorld.size() == 12) {
    double largest = 0.0;
    for (std::size_t i = 0; i < 12; ++i) {
      largest = std::max(largest, std::fabs(image->voxelToWorld[i] - timeCourse->voxelToWorld[i]));
    }
    if (largest > 1e-3) {
      return failed<RegionFile>(error, path +
                                           ": the mask's voxel-to-world matrix is not the time "
                                           "course's (they differ by up to " +
                                           number(largest) +
                                           " mm): a mask must be in the time course's space");
    }
  }

  std::map<std::int64_t, std::string> names;
  const std::string tablePath = labelTablePath(path);
  if (std::ifstream(tablePath)) {
    auto table = readTsvFile(tablePath, error);
    if (!table) return std::nullopt;
    const int index = table->column("index"), name = table->column("name");
    if (index < 0 || name < 0) {
      return failed<RegionFile>(error, tablePath + ": a label table needs the columns index and name");
    }
    for (std::size_t r = 0; r < table->rows.size(); ++r) {
      double value = 0.0;
      const auto& row = table->rows[r];
      const std::string& label = row[static_cast<std::size_t>(name)];
      if (!parseNumber(row[static_cast<std::size_t>(index)], value) || value != std::floor(value) ||
          label.empty() || label.find('"') != std::string::npos) {
        return failed<RegionFile>(error, tablePath + " line " + std::to_string(r + 2) +
                                             ": expected a whole index and a name without quotes");
      }
      names[static_cast<std::int64_t>(value)] = label;
    }
  }

  std::map<std::int64_t, Region> byLabel;
  const std::int32_t r = timeCourse->resolution;
  for (std::int32_t k = 0, i = 0; k < grid[2]; ++k) {
    for (std::int32_t y = 0; y < grid[1]; ++y) {
      for (std::int32_t x = 0; x < grid[0]; ++x, ++i) {
        const std::int64_t label = image->labels[static_cast<std::size_t>(i)];
        if (label == 0) continue;
        Region& region = byLabel[label];
        region.voxels.push_back({timeCourse->xStart + x * r, timeCourse->yStart + y * r,
                                 timeCourse->zStart + k * r});
      }
    }
  }
  if (byLabel.empty()) return failed<RegionFile>(error, path + ": the mask holds no non-zero voxel");
  RegionFile regions;
  regions.coordinateSystem = 1;
  if (labelValues != nullptr) labelValues->clear();
  for (auto& entry : byLabel) {
    if (labelValues != nullptr) labelValues->push_back(entry.first);
    auto named = names.find(entry.first);
    entry.second.name =
        named != names.end() ? named->second : "label " + std::to_string(entry.first);
    regions.regions.push_back(std::move(entry.second));
  }
  return regions;
}

// --- motion estimates --------------------------------------------------------

std::optional<DesignMatrixFile> motionFromConfounds(const std::string& path, int volumes,
                                                    std::string* error) {
  auto table = readTsvFile(path, error);
  if (!table) return std::nullopt;
  const char* const columns[6] = {"trans_x", "trans_y", "trans_z", "rot_x", "rot_y", "rot_z"};
  int index[6];
  std::string missing;
  for (int k = 0; k < 6; ++k) {
    index[k] = table->column(columns[k]);
    if (index[k] < 0) missing += std::string(missing.empty() ? "" : ", ") + columns[k];
  }
  if (!missing.empty()) {
    return failed<DesignMatrixFile>(error, path + ": the confounds lack the columns " + missing);
  }
  if (static_cast<int>(table->rows.size()) != volumes) {
    return failed<DesignMatrixFile>(error, path + ": " + std::to_string(table->rows.size()) +
                                               " rows of confounds for a time course of " +
                                               std::to_string(volumes) + " volumes");
  }
  DesignMatrixFile motion;
  motion.firstConfound = 1;
  for (std::size_t k = 0; k < 6; ++k) {
    motion.names.push_back(kMotionEstimateNames[k]);
    motion.colours.push_back({k < 3 ? 255 : 0, static_cast<int>(40 * k), k < 3 ? 0 : 255});
    motion.columns.emplace_back();
  }
  for (std::size_t r = 0; r < table->rows.size(); ++r) {
    for (std::size_t k = 0; k < 6; ++k) {
      const std::string& field = table->rows[r][static_cast<std::size_t>(index[k])];
      double value = 0.0;
      if (!parseNumber(field, value)) {
        return failed<DesignMatrixFile>(error, path + " line " + std::to_string(r + 2) + ": " +
                                                   columns[k] + " is " + quoted(field) +
                                                   ", not a number");
      }
      motion.columns[k].push_back(k < 3 ? value : value * 180.0 / kPi);
    }
  }
  return motion;
}

}  // namespace standin
