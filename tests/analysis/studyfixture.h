// Builders for the analysis tests: subjects placed straight into the plug-in's
// list with their documents in the host model, and the region signal and
// box-cars written out plainly from the host's data.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "standin/hostmodel.h"
#include "tests/support/fakehost.h"

namespace analysistest {

using Names = std::vector<std::string>;
using Cell = std::array<int, 3>;

struct GridSetup {
  std::int32_t xStart = 100, yStart = 90, zStart = 110;
  std::int32_t dimX = 4, dimY = 3, dimZ = 2;
  std::int32_t resolution = 3;
  std::int32_t nrOfVolumes = 24;
  std::int32_t dataType = 2;  // 1: 16-bit samples
};

// A reproducible, varied sample for any cell and volume.
double scatteredSample(int x, int y, int z, int t);

struct SubjectSetup {
  std::string vtcPath, voiPath;
  GridSetup grid;
  std::function<double(int x, int y, int z, int t)> sample = &scatteredSample;
  standin::Protocol protocol;  // linked to the time course
  std::int32_t coordinateSystem = 1;
  std::vector<standin::Region> regions;
  std::int32_t chosenVOI = 0;
};

// A region of grid cells, in the time course's own coordinates.
standin::Region regionOfCells(const std::string& name, const GridSetup& grid,
                              const std::vector<Cell>& cells);

// Subject i (from 1): /data/s0i/runi.vtc (16-bit samples for even i) with the
// region FFA of /data/s0i/FFA.voi and the conditions `names`.
SubjectSetup numberedSubject(int i, const Names& names = {"Faces", "Houses", "Rest"});

// Registers the time course (its protocol linked) and the VOI file in the host.
void registerDocuments(standin::HostModel& model, const SubjectSetup& setup);
// Registers the documents, appends the subject's records and its VTC file name
// to "VTCFileList", as "AddSubject" would.
void addSubject(testsupport::PluginHarness& harness, const SubjectSetup& setup);

// The z-normalised region mean, volume by volume and voxel by voxel.
std::vector<float> plainRegionTimeCourse(const SubjectSetup& setup);
// The box-car of the conditions with their values, convolved.
std::vector<float> convolvedBoxCar(const SubjectSetup& setup, const std::vector<float>& values);
std::vector<float> times(std::vector<float> values, const std::vector<float>& factor);

Names predictorNames(const standin::HostModel& model);
std::vector<float> predictorValues(const standin::HostModel& model, const std::string& name);
// Whether a log line holds `part`.
bool logHas(const standin::HostModel& model, const std::string& part);

}  // namespace analysistest
