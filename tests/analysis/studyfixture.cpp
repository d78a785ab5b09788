#include "tests/analysis/studyfixture.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "commands/subjectrecords.h"
#include "standin/hrf.h"

namespace analysistest {
namespace {

standin::TimeCourse makeTimeCourse(const SubjectSetup& setup) {
  const GridSetup& g = setup.grid;
  standin::TimeCourse tc;
  tc.nrOfVolumes = g.nrOfVolumes;
  tc.xStart = g.xStart;
  tc.xEnd = g.xStart + g.dimX * g.resolution;
  tc.yStart = g.yStart;
  tc.yEnd = g.yStart + g.dimY * g.resolution;
  tc.zStart = g.zStart;
  tc.zEnd = g.zStart + g.dimZ * g.resolution;
  tc.resolution = g.resolution;
  tc.dataType = g.dataType;
  for (int z = 0; z < g.dimZ; ++z)
    for (int y = 0; y < g.dimY; ++y)
      for (int x = 0; x < g.dimX; ++x)
        for (int t = 0; t < g.nrOfVolumes; ++t) {
          const double value = setup.sample(x, y, z, t);
          if (g.dataType == 1) {
            tc.intSamples.push_back(static_cast<std::int16_t>(std::lround(value)));
          } else {
            tc.floatSamples.push_back(static_cast<float>(value));
          }
        }
  return tc;
}

}  // namespace

double scatteredSample(int x, int y, int z, int t) {
  return 900.0 + 37.0 * x - 11.0 * y + 5.0 * z + 120.0 * std::sin(0.7 * t + x) +
         45.0 * std::cos(1.3 * t * (y + 1)) + 0.37 * ((x * 7 + y * 13 + z * 17 + t * 29) % 11);
}

standin::Region regionOfCells(const std::string& name, const GridSetup& grid,
                              const std::vector<Cell>& cells) {
  standin::Region region{name, {}};
  for (const Cell& c : cells) {
    region.voxels.push_back({grid.xStart + c[0] * grid.resolution,
                             grid.yStart + c[1] * grid.resolution,
                             grid.zStart + c[2] * grid.resolution});
  }
  return region;
}

SubjectSetup numberedSubject(int i, const Names& names) {
  SubjectSetup setup;
  const std::string folder = "/data/s0" + std::to_string(i) + "/";
  setup.vtcPath = folder + "run" + std::to_string(i) + ".vtc";
  setup.voiPath = folder + "FFA.voi";
  setup.grid.dataType = i % 2 == 0 ? 1 : 2;
  setup.sample = [i](int x, int y, int z, int t) { return scatteredSample(x + i, y, z, t * i); };
  setup.protocol.conditions = {
      {names[0], {{3, 5}, {15, 17}}}, {names[1], {{7, 9}, {19, 21}}}, {names[2], {{11, 13}}}};
  setup.regions = {regionOfCells("FFA", setup.grid, {{0, 0, 0}, {2, 1, 1}, {3, 2, 0}})};
  return setup;
}

void registerDocuments(standin::HostModel& model, const SubjectSetup& setup) {
  standin::TimeCourse tc = makeTimeCourse(setup);
  tc.linkedProtocol = setup.vtcPath + ".prt";
  model.protocols[tc.linkedProtocol] = setup.protocol;
  model.timeCourses[setup.vtcPath] = std::move(tc);
  model.regionFiles[setup.voiPath] = standin::RegionFile{setup.coordinateSystem, setup.regions};
}

void addSubject(testsupport::PluginHarness& harness, const SubjectSetup& setup) {
  registerDocuments(harness.model, setup);
  const standin::TimeCourse& tc = harness.model.timeCourses[setup.vtcPath];
  SubjectRecord subject;
  using H = ppi::host::VTCHeaderRecord;
  const std::pair<std::size_t, std::int32_t> header[] = {{H::kNrOfVolumes, tc.nrOfVolumes},
                                                         {H::kXStart, tc.xStart},
                                                         {H::kXEnd, tc.xEnd},
                                                         {H::kYStart, tc.yStart},
                                                         {H::kYEnd, tc.yEnd},
                                                         {H::kZStart, tc.zStart},
                                                         {H::kZEnd, tc.zEnd},
                                                         {H::kResolution, tc.resolution},
                                                         {H::kDataType, tc.dataType},
                                                         {H::kProtocolLinkCount, 1}};
  for (const auto& [at, value] : header) subject.header.setIntAt(at, value);
  subject.header.setTextAt(H::kPath, H::kPathEnd, setup.vtcPath);
  subject.protocol.setIntAt(ppi::host::ProtocolRecord::kNrOfConditions,
                            static_cast<std::int32_t>(setup.protocol.conditions.size()));
  subject.nrOfVolumes = tc.nrOfVolumes;

  SubjectVOIRecord subjectVOI;
  using S = ppi::host::VOISetRecord;
  subjectVOI.voiSet.setIntAt(S::kNrOfVOIs, static_cast<std::int32_t>(setup.regions.size()));
  subjectVOI.voiSet.setTextAt(S::kPath, S::kPathEnd, setup.voiPath);
  subjectVOI.voiSet.setIntAt(S::kCoordinateSystem, setup.coordinateSystem);
  subjectVOI.chosenVOI = setup.chosenVOI;

  ppiplugin& plugin = harness.plugin;
  plugin.subjects.push_back(subject);
  plugin.subjectVOIs.push_back(subjectVOI);
  plugin.subjectCount = static_cast<std::int32_t>(plugin.subjects.size());
  std::string& list = harness.model.stringParameters["VTCFileList"];
  list += (list.empty() ? "" : "\n") + setup.vtcPath.substr(setup.vtcPath.rfind('/') + 1);
}

std::vector<float> plainRegionTimeCourse(const SubjectSetup& setup) {
  const GridSetup& g = setup.grid;
  const standin::TimeCourse tc = makeTimeCourse(setup);
  auto index = [&g](long coordinate, std::int32_t start) {
    const float q = (static_cast<float>(coordinate) - static_cast<float>(start)) /
                    static_cast<float>(g.resolution);
    return static_cast<long>(std::floor(static_cast<double>(q) + 0.5));
  };
  std::vector<float> values;
  for (int t = 0; t < g.nrOfVolumes; ++t) {
    float sum = 0.0f;
    int inside = 0;
    for (const auto& v : setup.regions[static_cast<std::size_t>(setup.chosenVOI)].voxels) {
      const bool code3 = setup.coordinateSystem == 3;
      const long x = index(code3 ? 128 - v[1] : v[0], g.xStart);
      const long y = index(code3 ? 128 - v[2] : v[1], g.yStart);
      const long z = index(code3 ? 128 - v[0] : v[2], g.zStart);
      if (x < 0 || y < 0 || z < 0 || x >= g.dimX || y >= g.dimY || z >= g.dimZ) continue;
      const auto at = static_cast<std::size_t>(((z * g.dimY + y) * g.dimX + x) * g.nrOfVolumes + t);
      sum += g.dataType == 1 ? static_cast<float>(tc.intSamples[at]) : tc.floatSamples[at];
      ++inside;
    }
    values.push_back(sum / static_cast<float>(inside));
  }
  float total = 0.0f, squares = 0.0f;
  for (float v : values) total += v;
  const float mean = total / static_cast<float>(values.size());
  for (float& v : values) {
    v -= mean;
    squares += v * v;
  }
  const float sd = std::sqrt(squares / static_cast<float>(values.size() - 1));
  for (float& v : values) v /= sd;
  return values;
}

std::vector<float> convolvedBoxCar(const SubjectSetup& setup, const std::vector<float>& values) {
  std::vector<float> boxCar(static_cast<std::size_t>(setup.grid.nrOfVolumes), 0.0f);
  for (std::size_t c = 0; c < values.size(); ++c) {
    if (values[c] == 0.0f) continue;
    for (const auto& [first, last] : setup.protocol.conditions[c].intervals) {
      for (int v = first; v <= last; ++v) boxCar[static_cast<std::size_t>(v - 1)] = values[c];
    }
  }
  standin::convolveCausal(boxCar.data(), boxCar.size(), standin::twoGammaKernel(2000.0));
  return boxCar;
}

std::vector<float> times(std::vector<float> values, const std::vector<float>& factor) {
  for (std::size_t t = 0; t < values.size(); ++t) values[t] *= factor[t];
  return values;
}

Names predictorNames(const standin::HostModel& model) {
  Names names;
  for (const standin::Predictor& p : model.designMatrix()) names.push_back(p.name);
  return names;
}

std::vector<float> predictorValues(const standin::HostModel& model, const std::string& name) {
  const standin::Predictor* p = model.predictor(name);
  return p != nullptr ? p->values.values() : std::vector<float>{};
}

bool logHas(const standin::HostModel& model, const std::string& part) {
  return std::any_of(model.log.begin(), model.log.end(),
                     [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

}  // namespace analysistest
