#include "tests/analysis/studyfixture.h"

#include <algorithm>
#include <cmath>

#include "commands/subjectrecords.h"
#include "standin/hrf.h"

namespace analysistest {

standin::TimeCourse makeTimeCourse(const GridSetup& grid, const SampleFunction& sample) {
  standin::TimeCourse tc;
  tc.nrOfVolumes = grid.nrOfVolumes;
  tc.xStart = grid.xStart;
  tc.xEnd = grid.xStart + grid.dimX * grid.resolution;
  tc.yStart = grid.yStart;
  tc.yEnd = grid.yStart + grid.dimY * grid.resolution;
  tc.zStart = grid.zStart;
  tc.zEnd = grid.zStart + grid.dimZ * grid.resolution;
  tc.resolution = grid.resolution;
  tc.dataType = grid.dataType;
  for (int z = 0; z < grid.dimZ; ++z) {
    for (int y = 0; y < grid.dimY; ++y) {
      for (int x = 0; x < grid.dimX; ++x) {
        for (int t = 0; t < grid.nrOfVolumes; ++t) {
          double value = sample(x, y, z, t);
          if (grid.dataType == 1) {
            tc.intSamples.push_back(static_cast<std::int16_t>(std::lround(value)));
          } else {
            tc.floatSamples.push_back(static_cast<float>(value));
          }
        }
      }
    }
  }
  return tc;
}

double scatteredSample(int x, int y, int z, int t) {
  return 900.0 + 37.0 * x - 11.0 * y + 5.0 * z + 120.0 * std::sin(0.7 * t + x) +
         45.0 * std::cos(1.3 * t * (y + 1)) + 0.37 * ((x * 7 + y * 13 + z * 17 + t * 29) % 11);
}

standin::Protocol threeConditions(const std::string& a, const std::string& b,
                                  const std::string& c) {
  standin::Protocol protocol;
  protocol.conditions = {{a, {{3, 5}, {15, 17}}}, {b, {{7, 9}, {19, 21}}}, {c, {{11, 13}}}};
  return protocol;
}

standin::Region regionOfCells(const std::string& name, const GridSetup& grid,
                              const std::vector<std::array<int, 3>>& cells) {
  standin::Region region;
  region.name = name;
  for (const auto& cell : cells) {
    region.voxels.push_back({grid.xStart + cell[0] * grid.resolution,
                             grid.yStart + cell[1] * grid.resolution,
                             grid.zStart + cell[2] * grid.resolution});
  }
  return region;
}

void registerDocuments(standin::HostModel& model, const SubjectSetup& setup) {
  standin::TimeCourse tc = makeTimeCourse(setup.grid, setup.sample);
  const std::string protocolPath = setup.vtcPath + ".prt";
  tc.linkedProtocol = protocolPath;
  model.protocols[protocolPath] = setup.protocol;
  model.timeCourses[setup.vtcPath] = std::move(tc);
  standin::RegionFile regionFile;
  regionFile.coordinateSystem = setup.coordinateSystem;
  regionFile.regions = setup.regions;
  model.regionFiles[setup.voiPath] = regionFile;
}

void addSubject(testsupport::PluginHarness& harness, const SubjectSetup& setup) {
  standin::HostModel& model = harness.model;
  registerDocuments(model, setup);
  const standin::TimeCourse& tc = model.timeCourses[setup.vtcPath];

  SubjectRecord subject;
  using H = ppi::host::VTCHeaderRecord;
  subject.header.setIntAt(H::kNrOfVolumes, tc.nrOfVolumes);
  subject.header.setIntAt(H::kXStart, tc.xStart);
  subject.header.setIntAt(H::kXEnd, tc.xEnd);
  subject.header.setIntAt(H::kYStart, tc.yStart);
  subject.header.setIntAt(H::kYEnd, tc.yEnd);
  subject.header.setIntAt(H::kZStart, tc.zStart);
  subject.header.setIntAt(H::kZEnd, tc.zEnd);
  subject.header.setIntAt(H::kResolution, tc.resolution);
  subject.header.setIntAt(H::kDataType, tc.dataType);
  subject.header.setTextAt(H::kPath, H::kPathEnd, setup.vtcPath);
  subject.header.setIntAt(H::kProtocolLinkCount, 1);
  subject.protocol.setIntAt(ppi::host::ProtocolRecord::kNrOfConditions,
                            static_cast<std::int32_t>(setup.protocol.conditions.size()));
  subject.nrOfVolumes = tc.nrOfVolumes;

  SubjectVOIRecord subjectVOI;
  using S = ppi::host::VOISetRecord;
  subjectVOI.voiSet.setIntAt(S::kNrOfVOIs, static_cast<std::int32_t>(setup.regions.size()));
  subjectVOI.voiSet.setTextAt(S::kPath, S::kPathEnd, setup.voiPath);
  subjectVOI.voiSet.setIntAt(S::kCoordinateSystem, setup.coordinateSystem);
  if (setup.chosenVOI >= 0 && static_cast<std::size_t>(setup.chosenVOI) < setup.regions.size()) {
    const standin::Region& chosen = setup.regions[static_cast<std::size_t>(setup.chosenVOI)];
    using V = ppi::host::VOIRecord;
    subjectVOI.voi.setIntAt(V::kNrOfVoxels, static_cast<std::int32_t>(chosen.voxels.size()));
    subjectVOI.voi.setTextAt(V::kName, V::kNameEnd, chosen.name);
  }
  subjectVOI.chosenVOI = setup.chosenVOI;

  harness.plugin.subjects.push_back(subject);
  harness.plugin.subjectVOIs.push_back(subjectVOI);
  harness.plugin.subjectCount = static_cast<std::int32_t>(harness.plugin.subjects.size());

  std::string& list = model.stringParameters["VTCFileList"];
  if (!list.empty()) list += '\n';
  list += setup.vtcPath.substr(setup.vtcPath.rfind('/') + 1);
}

void openSubjectDocuments(testsupport::PluginHarness& harness, const SubjectSetup& setup) {
  harness.model.linkVTCToCurrentVMR(setup.vtcPath.c_str(), 1);
  harness.model.loadVOIs(setup.voiPath.c_str());
}

std::vector<float> plainRegionTimeCourse(const SubjectSetup& setup) {
  const GridSetup& g = setup.grid;
  const standin::TimeCourse tc = makeTimeCourse(g, setup.sample);
  const standin::Region& region = setup.regions[static_cast<std::size_t>(setup.chosenVOI)];
  std::vector<float> values;
  for (int t = 0; t < g.nrOfVolumes; ++t) {
    float sum = 0.0f;
    int inside = 0;
    for (const Voxel& v : region.voxels) {
      long a = v[0], b = v[1], c = v[2];
      if (setup.coordinateSystem == 3) {
        a = 128 - v[1];
        b = 128 - v[2];
        c = 128 - v[0];
      }
      float res = static_cast<float>(g.resolution);
      float qx = (static_cast<float>(a) - static_cast<float>(g.xStart)) / res;
      float qy = (static_cast<float>(b) - static_cast<float>(g.yStart)) / res;
      float qz = (static_cast<float>(c) - static_cast<float>(g.zStart)) / res;
      long x = static_cast<long>(std::floor(static_cast<double>(qx) + 0.5));
      long y = static_cast<long>(std::floor(static_cast<double>(qy) + 0.5));
      long z = static_cast<long>(std::floor(static_cast<double>(qz) + 0.5));
      if (x < 0 || y < 0 || z < 0 || x >= g.dimX || y >= g.dimY || z >= g.dimZ) continue;
      std::size_t index =
          static_cast<std::size_t>(((z * g.dimY + y) * g.dimX + x) * g.nrOfVolumes + t);
      sum += g.dataType == 1 ? static_cast<float>(tc.intSamples[index]) : tc.floatSamples[index];
      ++inside;
    }
    values.push_back(sum / static_cast<float>(inside));
  }
  float total = 0.0f;
  for (float v : values) total += v;
  float mean = total / static_cast<float>(values.size());
  float squares = 0.0f;
  for (float& v : values) {
    v = v - mean;
    squares += v * v;
  }
  float sd = std::sqrt(squares / static_cast<float>(values.size() - 1));
  for (float& v : values) v = v / sd;
  return values;
}

std::vector<float> convolvedBoxCar(const SubjectSetup& setup,
                                   const std::vector<float>& perCondition) {
  std::vector<float> values(static_cast<std::size_t>(setup.grid.nrOfVolumes), 0.0f);
  for (std::size_t c = 0; c < perCondition.size(); ++c) {
    if (perCondition[c] == 0.0f) continue;
    for (const auto& interval : setup.protocol.conditions[c].intervals) {
      for (int volume = interval.first; volume <= interval.second; ++volume) {
        values[static_cast<std::size_t>(volume - 1)] = perCondition[c];
      }
    }
  }
  standin::convolveCausal(values.data(), values.size(), standin::twoGammaKernel(2000.0));
  return values;
}

std::vector<std::string> predictorNames(const standin::HostModel& model) {
  std::vector<std::string> names;
  for (const standin::Predictor& p : model.designMatrix()) names.push_back(p.name);
  return names;
}

std::vector<float> predictorValues(const standin::HostModel& model, const std::string& name) {
  const standin::Predictor* p = model.predictor(name);
  return p != nullptr ? p->values.values() : std::vector<float>{};
}

bool logHas(const standin::HostModel& model, const std::string& line) {
  return std::find(model.log.begin(), model.log.end(), line) != model.log.end();
}

bool logHasPart(const standin::HostModel& model, const std::string& part) {
  return std::any_of(model.log.begin(), model.log.end(),
                     [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

}  // namespace analysistest
