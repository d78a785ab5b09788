// Subjects added through "AddSubject", and the region signal and box-cars
// computed plainly from the same data.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "standin/hostmodel.h"
#include "tests/support/fakehost.h"

namespace analysistest {

using Names = std::vector<std::string>;

struct GridSetup {
  std::int32_t xStart = 100, yStart = 90, zStart = 110;
  std::int32_t dimX = 4, dimY = 3, dimZ = 2;
  std::int32_t resolution = 3;
  std::int32_t nrOfVolumes = 24;
  std::int32_t dataType = 2;  // 1: 16-bit samples
};

struct SubjectSetup {
  std::string vtcPath, voiPath;
  std::string protocolPath;  // empty: the protocol is linked to the time course
  GridSetup grid;
  std::function<double(int x, int y, int z, int t)> sample;
  standin::Protocol protocol;
  std::int32_t coordinateSystem = 1;
  std::vector<standin::Region> regions;
  int chosenVOI = 0;
};

// Subject i (from 1): /data/s0i/runi.vtc (16-bit samples for even i) with the
// region FFA of /data/s0i/FFA.voi and the conditions `names`.
SubjectSetup numberedSubject(int i, const Names& names = {"Faces", "Houses", "Rest"});

// Places the documents and runs "AddSubject"; clears the log and the calls.
void addSubject(testsupport::PluginHarness& harness, const SubjectSetup& setup);

// The z-normalised region mean, volume by volume and voxel by voxel.
std::vector<float> plainRegionTimeCourse(const SubjectSetup& setup);
// The box-car of the conditions with their values, convolved, times `factor`.
std::vector<float> convolvedBoxCar(const SubjectSetup& setup, const std::vector<float>& values,
                                   const std::vector<float>& factor = {});

std::vector<float> predictorValues(const standin::HostModel& model, const std::string& name);

}  // namespace analysistest
