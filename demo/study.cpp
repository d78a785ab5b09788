#include "demo/study.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "demo/regionmean.h"
#include "standin/designfile.h"
#include "standin/documents.h"
#include "standin/hrf.h"
#include "standin/bids.h"
#include "standin/nifti.h"

namespace demo {
namespace {

namespace fs = std::filesystem;

using standin::Condition;
using standin::DesignMatrixFile;
using standin::Protocol;
using standin::Region;
using standin::RegionFile;
using standin::TimeCourse;

// Grid of every subject's time course: 8 x 8 x 8 cells of 3 units from 100.
constexpr int kGridStart = 100;
constexpr int kResolution = 3;
constexpr int kCells = 8;
constexpr double kBaseline = 1000.0;

const char* const kMotionNames[6] = {"Translation X [mm]", "Translation Y [mm]",
                                     "Translation Z [mm]", "Rotation X [deg]",
                                     "Rotation Y [deg]",   "Rotation Z [deg]"};

// A small deterministic generator (SplitMix64) with normal deviates by the
// Box-Muller transform, so that a study is the same on every platform.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  double uniform() {  // in (0, 1)
    return (static_cast<double>(next() >> 11) + 0.5) / 9007199254740992.0;
  }
  double normal() {
    const double u = uniform(), v = uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
  }

 private:
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint64_t state_;
};

using Series = std::vector<double>;

Series convolved(const Series& input, double repetitionTimeMs) {
  std::vector<float> values(input.begin(), input.end());
  standin::convolveCausal(values.data(), values.size(), standin::twoGammaKernel(repetitionTimeMs));
  return Series(values.begin(), values.end());
}

// Centred and divided by the sample standard deviation, as the plug-in does.
Series zNormalised(Series values) {
  double mean = 0.0;
  for (double v : values) mean += v;
  mean /= static_cast<double>(values.size());
  double squares = 0.0;
  for (double& v : values) {
    v -= mean;
    squares += v * v;
  }
  const double sd = std::sqrt(squares / static_cast<double>(values.size() - 1));
  for (double& v : values) v /= sd;
  return values;
}

std::string subjectId(int s) {
  char id[16];
  std::snprintf(id, sizeof id, "sub-%02d", s + 1);
  return id;
}

// Regions as boxes of 2 x 2 x 2 cells; every cell is covered by 3 x 3 x 3
// voxels of one unit, as a region drawn on the anatomy is.
struct RegionBox {
  const char* name;
  int x, y, z;  // first cell
};
const RegionBox kRegions[3] = {{"Seed", 1, 1, 1}, {"Target", 5, 1, 1}, {"Null", 1, 5, 5}};

Region regionVoxels(const RegionBox& box, int coordinateSystem) {
  Region region{box.name, {}};
  for (int cz = box.z; cz < box.z + 2; ++cz) {
    for (int cy = box.y; cy < box.y + 2; ++cy) {
      for (int cx = box.x; cx < box.x + 2; ++cx) {
        for (int dz = -1; dz <= 1; ++dz) {
          for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
              const int a = kGridStart + cx * kResolution + dx;
              const int b = kGridStart + cy * kResolution + dy;
              const int c = kGridStart + cz * kResolution + dz;
              // Code 3 stores (c0, c1, c2) that the host turns into
              // (128 - c1, 128 - c2, 128 - c0).
              if (coordinateSystem == 3) {
                region.voxels.push_back({128 - c, 128 - a, 128 - b});
              } else {
                region.voxels.push_back({a, b, c});
              }
            }
          }
        }
      }
    }
  }
  return region;
}

bool inBox(const RegionBox& box, int x, int y, int z) {
  return x >= box.x && x < box.x + 2 && y >= box.y && y < box.y + 2 && z >= box.z && z < box.z + 2;
}

// Conditions Rest, Attend, Passive; blocks of Rest alternate with task blocks,
// and the task blocks alternate Attend and Passive (odd subjects start with
// Passive).
Protocol blockProtocol(int subject, const StudyOptions& options) {
  Protocol protocol{{{"Rest", {}}, {"Attend", {}}, {"Passive", {}}}};
  int task = 0;
  for (int first = 1, block = 0; first <= options.volumes; first += options.blockLength, ++block) {
    const int last = std::min(first + options.blockLength - 1, options.volumes);
    int condition = 0;
    if (block % 2 == 1) condition = 1 + ((task++ + subject) % 2);
    protocol.conditions[static_cast<std::size_t>(condition)].intervals.emplace_back(first, last);
  }
  return protocol;
}

Series boxcar(const Condition& condition, int volumes) {
  Series values(static_cast<std::size_t>(volumes), 0.0);
  for (const auto& interval : condition.intervals) {
    for (int v = interval.first; v <= interval.second && v <= volumes; ++v) {
      values[static_cast<std::size_t>(v - 1)] = 1.0;
    }
  }
  return values;
}

// Six slow drifts (three in mm, three in degrees) with one sudden shift.
std::array<Series, 6> motionSeries(Random& random, int volumes) {
  std::array<Series, 6> motion;
  const int jump = volumes / 3 + static_cast<int>(random.uniform() * volumes / 3);
  for (int k = 0; k < 6; ++k) {
    motion[static_cast<std::size_t>(k)].resize(static_cast<std::size_t>(volumes));
    double value = 0.0;
    const double step = k < 3 ? 0.12 : 0.1;
    for (int t = 0; t < volumes; ++t) {
      value = 0.97 * value + step * random.normal();
      if (k == 2 && t == jump) value += 0.6;
      motion[static_cast<std::size_t>(k)][static_cast<std::size_t>(t)] = value;
    }
  }
  return motion;
}

bool writeText(const std::string& path, const std::string& text, std::string* error) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  if (!out && error != nullptr) *error = "cannot write " + path;
  return static_cast<bool>(out);
}

std::string exact(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

// The voxels of the BIDS layout: 3 mm, voxel (0, 0, 0) at (100, 100, 100) mm,
// where the cell of the project's own grid is.
std::vector<double> bidsVoxelToWorld() {
  return {3, 0, 0, kGridStart, 0, 3, 0, kGridStart, 0, 0, 3, kGridStart};
}

// One subject's run as a BIDS dataset holds it, with fMRIPrep's derivatives.
bool writeBidsSubject(const std::string& folder, const std::string& id, TimeCourse tc,
                      const Protocol& protocol, const std::array<Series, 6>& motion,
                      const StudyOptions& options, std::string* error) {
  const std::string func = folder + "/" + id + "/func";
  const std::string derived = folder + "/derivatives/fmriprep/" + id + "/func";
  fs::create_directories(func);
  fs::create_directories(derived);
  const std::string run = id + "_task-demo";
  tc.voxelToWorld = bidsVoxelToWorld();
  standin::NiftiImage image = standin::niftiFromTimeCourse(tc);
  image.pixdim[0] = image.pixdim[1] = image.pixdim[2] = 3.0;
  const std::string sidecar = "{\n  \"RepetitionTime\": " + exact(options.repetitionTimeMs / 1000.0) +
                              ",\n  \"TaskName\": \"demo\"\n}\n";
  if (!standin::writeNiftiImage(func + "/" + run + "_bold.nii.gz", image, error) ||
      !writeText(func + "/" + run + "_bold.json", sidecar, error) ||
      !standin::writeNiftiImage(derived + "/" + run + "_space-demo_desc-preproc_bold.nii.gz", image,
                                error) ||
      !writeText(derived + "/" + run + "_space-demo_desc-preproc_bold.json", sidecar, error)) {
    return false;
  }
  // Every block an event, 0.2 s after its first volume begins and ending
  // 0.1 s into the volume after its last (the run's last block ending with
  // the run): the rule gives back the blocks.
  const double tr = options.repetitionTimeMs / 1000.0;
  struct Event {
    double onset, duration;
    std::string type;
  };
  std::vector<Event> events;
  for (const Condition& condition : protocol.conditions) {
    for (const auto& interval : condition.intervals) {
      const double late = interval.second == options.volumes ? 0.2 : 0.1;
      events.push_back({(interval.first - 1) * tr + 0.2,
                        (interval.second - interval.first + 1) * tr - late, condition.name});
    }
  }
  std::sort(events.begin(), events.end(),
            [](const Event& a, const Event& b) { return a.onset < b.onset; });
  std::string tsv = "onset\tduration\ttrial_type\n";
  for (const Event& e : events) {
    char line[128];
    std::snprintf(line, sizeof line, "%.10g\t%.10g\t", e.onset, e.duration);
    tsv += line + e.type + "\n";
  }
  // fMRIPrep's confounds: more columns than the motion, derivatives with
  // "n/a" in the first row, rotations in radians.
  std::string confounds =
      "global_signal\ttrans_x\ttrans_x_derivative1\ttrans_y\ttrans_z\trot_x\trot_y\trot_z\t"
      "framewise_displacement\n";
  const double toRadians = 3.14159265358979323846 / 180.0;
  for (int t = 0; t < tc.nrOfVolumes; ++t) {
    const std::size_t i = static_cast<std::size_t>(t);
    confounds += exact(kBaseline) + "\t" + exact(motion[0][i]) + "\t" +
                 (t == 0 ? std::string("n/a") : exact(motion[0][i] - motion[0][i - 1])) + "\t" +
                 exact(motion[1][i]) + "\t" + exact(motion[2][i]) + "\t" +
                 exact(motion[3][i] * toRadians) + "\t" + exact(motion[4][i] * toRadians) + "\t" +
                 exact(motion[5][i] * toRadians) + "\t" + (t == 0 ? "n/a" : "0.1") + "\n";
  }
  return writeText(func + "/" + run + "_events.tsv", tsv, error) &&
         writeText(derived + "/" + run + "_desc-confounds_timeseries.tsv", confounds, error);
}

// The three regions' boxes as a label image on the time course's voxels,
// with its label table.
bool writeBidsRegions(const std::string& folder, std::string* error);

bool writeSubject(const std::string& folder, int s, const StudyOptions& options,
                  const RegionFile& regions, std::string* error) {
  const std::string id = subjectId(s);
  const int volumes = options.volumes;
  Random random(options.seed + 7919 * static_cast<std::uint64_t>(s + 1));
  const Protocol protocol = blockProtocol(s, options);
  const Series attend =
      convolved(boxcar(protocol.conditions[1], volumes), options.repetitionTimeMs);
  const Series passive =
      convolved(boxcar(protocol.conditions[2], volumes), options.repetitionTimeMs);
  const std::array<Series, 6> motion = motionSeries(random, volumes);

  // The seed's own fluctuation: slow noise through the response, scaled to unit
  // spread, plus a response to both tasks.
  Series fluctuation(static_cast<std::size_t>(volumes));
  double state = 0.0;
  for (double& value : fluctuation) value = state = 0.8 * state + random.normal();
  fluctuation = zNormalised(convolved(fluctuation, options.repetitionTimeMs));

  TimeCourse tc;
  tc.nrOfVolumes = volumes;
  tc.xStart = tc.yStart = tc.zStart = kGridStart;
  tc.xEnd = tc.yEnd = tc.zEnd = kGridStart + kCells * kResolution;
  tc.resolution = kResolution;
  tc.dataType = s % 4 == 3 ? 2 : 1;  // every fourth subject has float samples
  tc.repetitionTimeMs = options.repetitionTimeMs;
  tc.linkedProtocol = "./" + id + "/" + id + "_task.prt";
  const std::size_t total = static_cast<std::size_t>(kCells * kCells * kCells * volumes);
  if (tc.dataType == 1) {
    tc.intSamples.resize(total);
  } else {
    tc.floatSamples.resize(total);
  }

  auto motionAt = [&](int t) {
    double sum = 0.0;
    for (std::size_t k = 0; k < 6; ++k) {
      sum += kPlantedMotionWeights[k] * motion[k][static_cast<std::size_t>(t)];
    }
    return sum;
  };
  // Fills every cell for which `signal` gives a value, with noise of `noise`.
  auto fill = [&](const auto& signal, double noise, bool (*select)(int, int, int)) {
    for (int z = 0; z < kCells; ++z) {
      for (int y = 0; y < kCells; ++y) {
        for (int x = 0; x < kCells; ++x) {
          if (!select(x, y, z)) continue;
          const std::size_t cell = static_cast<std::size_t>((z * kCells + y) * kCells + x);
          for (int t = 0; t < volumes; ++t) {
            const double value = signal(t) + motionAt(t) + noise * random.normal();
            const std::size_t i =
                cell * static_cast<std::size_t>(volumes) + static_cast<std::size_t>(t);
            if (tc.dataType == 1) {
              tc.intSamples[i] = static_cast<std::int16_t>(std::lround(value));
            } else {
              tc.floatSamples[i] = static_cast<float>(value);
            }
          }
        }
      }
    }
  };
  auto at = [](const Series& series, int t) { return series[static_cast<std::size_t>(t)]; };

  fill(
      [&](int t) {
        return kBaseline + 15.0 * at(fluctuation, t) + 4.0 * (at(attend, t) + at(passive, t));
      },
      6.0, [](int x, int y, int z) { return inBox(kRegions[0], x, y, z); });

  // The physiological signal as the plug-in will see it: the seed's mean over
  // its voxels in the stored samples, z-normalised.
  auto seedMean = regionMeanTimeCourse(tc, regions.regions[0], regions.coordinateSystem);
  if (!seedMean) {
    if (error != nullptr) *error = "the seed region lies outside the grid";
    return false;
  }
  const Series seed = zNormalised(*seedMean);
  Series ppi(static_cast<std::size_t>(volumes));
  for (int t = 0; t < volumes; ++t) {
    ppi[static_cast<std::size_t>(t)] = (at(attend, t) - at(passive, t)) * at(seed, t);
  }

  fill(
      [&](int t) {
        return kBaseline + 8.0 * at(attend, t) + 3.0 * at(passive, t) + 5.0 * at(seed, t) +
               options.ppiEffect * at(ppi, t);
      },
      6.0, [](int x, int y, int z) { return inBox(kRegions[1], x, y, z); });
  fill(
      [&](int t) { return kBaseline + 6.0 * (at(attend, t) + at(passive, t)) + 5.0 * at(seed, t); },
      6.0, [](int x, int y, int z) { return inBox(kRegions[2], x, y, z); });
  fill([&](int) { return kBaseline; }, 12.0,
       [](int x, int y, int z) {
         return !inBox(kRegions[0], x, y, z) && !inBox(kRegions[1], x, y, z) &&
                !inBox(kRegions[2], x, y, z);
       });

  DesignMatrixFile motionFile;
  motionFile.firstConfound = 1;
  for (std::size_t k = 0; k < 6; ++k) {
    motionFile.names.push_back(kMotionNames[k]);
    motionFile.colours.push_back({k < 3 ? 255 : 0, static_cast<int>(40 * k), k < 3 ? 0 : 255});
    motionFile.columns.push_back(motion[k]);
  }

  if (options.bids) return writeBidsSubject(folder, id, tc, protocol, motion, options, error);
  const std::string base = folder + "/" + id + "/" + id + "_task";
  fs::create_directories(folder + "/" + id);
  if (!standin::writeTimeCourseFile(base + ".vtc", tc, error) ||
      !standin::writeProtocolFile(base + ".prt", protocol, error)) {
    return false;
  }
  if (!standin::writeDesignMatrixFile(base + "_3DMC.sdm", motionFile)) {
    if (error != nullptr) *error = "cannot write " + base + "_3DMC.sdm";
    return false;
  }
  return true;
}

// The multi-study file the plug-in's dialog writes after the run: each
// subject's time course with its merged design matrix, in list order, as a
// session step writes it (line feeds as \\n).
std::string expectedMultiStudyFile(const StudyOptions& options) {
  std::string text = "FileVersion: 1\\nNrOfStudies: " + std::to_string(options.subjects) + "\\n\\n";
  const std::string suffix = options.zTransformMotion != 0 ? "_3DMC_z" : "_3DMC";
  for (int i = 0; i < options.subjects; ++i) {
    const std::string id = subjectId(i);
    text += "\"./" + id + "/" + id + "_task.vtc\" \"./results/standPPI_" + id + "_task_regions" +
            suffix + ".sdm\"\\n";
  }
  return text;
}

std::string sessionText(const StudyOptions& options) {
  std::ostringstream s;
  s << "# The demo study's session, as a user works in the plug-in's dialog: load\n"
       "# the subject list, set the contrast, run the PPI analysis in multi-study\n"
       "# mode with the motion predictors merged; the dialog then writes the\n"
       "# multi-study file.\n"
       "vmr open\n"
       "gui open\n"
       "say Loading the subject list study.ppi\n"
       "open-file ./study.ppi\n"
       "gui click loadList\n"
       "expect-int NrOfConditions 3\n"
       "\n"
       "say Contrast: Attend against Passive, Rest as baseline\n"
       "gui move list2 Attend\n"
       "gui move list0 Passive\n"
       "gui tick saveMDM\n"
       "gui tick addMoCo\n";
  if (options.zTransformMotion != 0) s << "gui tick zMC\n";
  s << "gui show\n"
       "\n"
       "say Running the analysis\n"
       "save-file ./results/Multistudy_PPI.mdm\n";
  if (options.subjects > 1) s << "answer yes\n";
  for (int i = 0; i < options.subjects; ++i) {
    const std::string id = subjectId(i);
    s << "open-file ./" << id << "/" << id << "_task_3DMC.sdm\n";
  }
  s << "gui click start\n"
    << "gui show\n"
    << "expect-int nr_subs " << options.subjects << "\n"
    << "expect-string mdmFileName ./results/Multistudy_PPI.mdm\n"
    << "expect-string CondID-1 Attend\\tlist2\n"
    << "expect-file ./results/Multistudy_PPI.mdm " << expectedMultiStudyFile(options) << "\n"
    << "write-string SDMFileList ./results/sdm-files.txt\n";
  return s.str();
}

bool writeBidsRegions(const std::string& folder, std::string* error) {
  standin::NiftiImage labels;
  labels.dims = {kCells, kCells, kCells, 0};
  labels.pixdim = {3, 3, 3, 0};
  labels.voxelToWorld = bidsVoxelToWorld();
  labels.type = standin::NiftiSampleType::UInt8;
  labels.stored.assign(kCells * kCells * kCells, 0.0);
  std::string table = "index\tname\n";
  for (int r = 0; r < 3; ++r) {
    for (int z = 0; z < kCells; ++z) {
      for (int y = 0; y < kCells; ++y) {
        for (int x = 0; x < kCells; ++x) {
          if (inBox(kRegions[r], x, y, z)) {
            labels.stored[static_cast<std::size_t>((z * kCells + y) * kCells + x)] = r + 1;
          }
        }
      }
    }
    table += std::to_string(r + 1) + "\t" + kRegions[r].name + "\n";
  }
  fs::create_directories(folder + "/derivatives/rois");
  const std::string image = folder + "/" + kBidsRegionsImage;
  return standin::writeNiftiImage(image, labels, error) &&
         writeText(standin::labelTablePath(image), table, error);
}

}  // namespace

bool generateStudy(const std::string& folder, const StudyOptions& options, std::string* error) {
  if (options.subjects < 1 || options.volumes < 2 * options.blockLength ||
      options.blockLength < 1) {
    if (error != nullptr) *error = "a study needs a subject and two blocks of volumes";
    return false;
  }
  std::error_code ec;
  fs::create_directories(options.bids ? folder : folder + "/results", ec);
  if (ec) {
    if (error != nullptr) *error = "cannot create " + folder + ": " + ec.message();
    return false;
  }
  RegionFile regions;
  regions.coordinateSystem = options.coordinateSystem;
  for (const RegionBox& box : kRegions) {
    regions.regions.push_back(regionVoxels(box, options.coordinateSystem));
  }
  if (options.bids) {
    if (!standin::niftiSupported()) {
      if (error != nullptr) *error = "this build writes no NIfTI files (built without libnifti2)";
      return false;
    }
    const std::string description =
        "{\n  \"Name\": \"PPI demo study\",\n  \"BIDSVersion\": \"1.8.0\",\n"
        "  \"DatasetType\": \"raw\"\n}\n";
    const std::string derived =
        "{\n  \"Name\": \"PPI demo study, preprocessed\",\n  \"BIDSVersion\": \"1.8.0\",\n"
        "  \"DatasetType\": \"derivative\",\n  \"GeneratedBy\": [{\"Name\": \"ppidemo\"}]\n}\n";
    fs::create_directories(folder + "/derivatives/fmriprep");
    if (!writeText(folder + "/dataset_description.json", description, error) ||
        !writeText(folder + "/derivatives/fmriprep/dataset_description.json", derived, error) ||
        !writeBidsRegions(folder, error)) {
      return false;
    }
    for (int s = 0; s < options.subjects; ++s) {
      if (!writeSubject(folder, s, options, regions, error)) return false;
    }
    return true;
  }
  if (!standin::writeRegionFile(folder + "/regions.voi", regions, error)) return false;
  std::string list;
  for (int s = 0; s < options.subjects; ++s) {
    if (!writeSubject(folder, s, options, regions, error)) return false;
    const std::string id = subjectId(s);
    list += "./" + id + "/" + id + "_task.vtc\t./regions.voi\t0\n";
  }
  std::ostringstream planted;
  planted << "# Effects planted in the demo study (signal units)\n"
          << "ppi-target " << options.ppiEffect << "\nppi-null 0\nmotion-weights";
  for (double w : kPlantedMotionWeights) planted << ' ' << w;
  planted << "\nsubjects " << options.subjects << "\nvolumes " << options.volumes << "\n";
  return writeText(folder + "/study.ppi", list, error) &&
         writeText(folder + "/demo.session", sessionText(options), error) &&
         writeText(folder + "/planted.txt", planted.str(), error);
}

}  // namespace demo
