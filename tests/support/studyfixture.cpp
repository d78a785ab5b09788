#include "tests/support/studyfixture.h"

#include <gtest/gtest.h>

#include <cmath>

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

SubjectSetup numberedSubject(int i, const Names& names) {
  SubjectSetup setup;
  const std::string folder = "/data/s0" + std::to_string(i) + "/";
  setup.vtcPath = folder + "run" + std::to_string(i) + ".vtc";
  setup.voiPath = folder + "FFA.voi";
  setup.grid.dataType = i % 2 == 0 ? 1 : 2;
  setup.sample = [i](int x, int y, int z, int t) {
    return 900.0 + 37.0 * (x + i) - 11.0 * y + 5.0 * z + 120.0 * std::sin(0.7 * t * i + x + i) +
           45.0 * std::cos(1.3 * t * i * (y + 1)) +
           0.37 * ((x * 7 + y * 13 + z * 17 + t * 29) % 11);
  };
  setup.protocol.conditions = {
      {names[0], {{3, 5}, {15, 17}}}, {names[1], {{7, 9}, {19, 21}}}, {names[2], {{11, 13}}}};
  setup.regions = {{"FFA", {{100, 90, 110}, {106, 93, 113}, {109, 96, 110}}}};
  return setup;
}

void addSubject(testsupport::PluginHarness& harness, const SubjectSetup& setup) {
  standin::HostModel& model = harness.model;
  standin::TimeCourse tc = makeTimeCourse(setup);
  const bool linked = setup.protocolPath.empty();
  const std::string protocolPath = linked ? setup.vtcPath + ".prt" : setup.protocolPath;
  if (linked) tc.linkedProtocol = protocolPath;
  model.protocols[protocolPath] = setup.protocol;
  model.timeCourses[setup.vtcPath] = std::move(tc);
  model.regionFiles[setup.voiPath] = standin::RegionFile{setup.coordinateSystem, setup.regions};
  model.openFileAnswers.push_back({true, setup.vtcPath});
  if (!linked) model.openFileAnswers.push_back({true, protocolPath});
  model.openFileAnswers.push_back({true, setup.voiPath});
  if (setup.regions.size() > 1) model.integerAnswers.push_back(setup.chosenVOI);
  const std::size_t before = harness.plugin.state.subjects.size();
  EXPECT_TRUE(harness.run("AddSubject") && harness.plugin.state.subjects.size() == before + 1);
  model.log.clear();
  model.calls.clear();
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

std::vector<float> convolvedBoxCar(const SubjectSetup& setup, const std::vector<float>& values,
                                   const std::vector<float>& factor) {
  std::vector<float> boxCar(static_cast<std::size_t>(setup.grid.nrOfVolumes), 0.0f);
  for (std::size_t c = 0; c < values.size(); ++c) {
    if (values[c] == 0.0f) continue;
    for (const auto& [first, last] : setup.protocol.conditions[c].intervals) {
      for (int v = first; v <= last; ++v) boxCar[static_cast<std::size_t>(v - 1)] = values[c];
    }
  }
  standin::convolveCausal(boxCar.data(), boxCar.size(), standin::twoGammaKernel(2000.0));
  for (std::size_t t = 0; t < factor.size(); ++t) boxCar[t] *= factor[t];
  return boxCar;
}

std::vector<float> predictorValues(const standin::HostModel& model, const std::string& name) {
  const standin::Predictor* p = model.predictor(name);
  return p != nullptr ? p->values.values() : std::vector<float>{};
}

}  // namespace analysistest
