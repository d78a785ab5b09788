// Builders for analysis tests: subjects placed straight into the plug-in's
// list, with their documents registered in the host model and their time
// courses named in "VTCFileList", as the subject-list commands would leave them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "standin/hostmodel.h"
#include "tests/support/fakehost.h"

namespace analysistest {

using Voxel = std::array<std::int32_t, 3>;

// A time course over a grid given by its starts, cell counts and resolution,
// each sample from `sample(x, y, z, t)`.
struct GridSetup {
  std::int32_t xStart = 100, yStart = 90, zStart = 110;
  std::int32_t dimX = 5, dimY = 4, dimZ = 3;
  std::int32_t resolution = 2;
  std::int32_t nrOfVolumes = 24;
  std::int32_t dataType = 2;  // 1: 16-bit samples
};
using SampleFunction = std::function<double(int x, int y, int z, int t)>;
standin::TimeCourse makeTimeCourse(const GridSetup& grid, const SampleFunction& sample);

// A reproducible, varied sample value for any cell and volume.
double scatteredSample(int x, int y, int z, int t);

struct SubjectSetup {
  std::string vtcPath = "/data/s01/run1.vtc";
  std::string voiPath = "/data/s01/FFA.voi";
  GridSetup grid;
  SampleFunction sample = &scatteredSample;
  standin::Protocol protocol;
  std::int32_t coordinateSystem = 1;
  std::vector<standin::Region> regions;
  std::int32_t chosenVOI = 0;
};

// Three conditions over 24 volumes, each with two blocks.
standin::Protocol threeConditions(const std::string& a = "Faces", const std::string& b = "Houses",
                                  const std::string& c = "Rest");

// A region of grid cells given as cell indices, written in the time course's
// own coordinates (coordinate-system code other than 3).
standin::Region regionOfCells(const std::string& name, const GridSetup& grid,
                              const std::vector<std::array<int, 3>>& cells);

// Registers the subject's time course (with its protocol) and VOI file in the
// host model, as files the user can pick.
void registerDocuments(standin::HostModel& model, const SubjectSetup& setup);

// Registers the documents, appends the two records and the VTC file name.
void addSubject(testsupport::PluginHarness& harness, const SubjectSetup& setup);

// Links the subject's time course and loads its VOI file in the host, as the
// run does before it computes a region signal.
void openSubjectDocuments(testsupport::PluginHarness& harness, const SubjectSetup& setup);

// The region mean and its z-normalisation written out plainly, volume by
// volume, voxel by voxel, as the host's data defines them.
std::vector<float> plainRegionTimeCourse(const SubjectSetup& setup);

// The host's box-car of the conditions with their values, convolved.
std::vector<float> convolvedBoxCar(const SubjectSetup& setup,
                                   const std::vector<float>& perCondition);

// Names of the host's current design matrix, in order.
std::vector<std::string> predictorNames(const standin::HostModel& model);
std::vector<float> predictorValues(const standin::HostModel& model, const std::string& name);

bool logHas(const standin::HostModel& model, const std::string& line);
bool logHasPart(const standin::HostModel& model, const std::string& part);

}  // namespace analysistest
