// Fixtures of the stand-in host's and the demo's tests: a small time course,
// and the built host application run in a folder.
#pragma once

#include <string>

#include "standin/hostmodel.h"

namespace testsupport {

// Three volumes on a grid of 2 x 1 x 2 cells of 3 from (10, 20, -6). The
// samples are in storage order (cell after cell, volumes of a cell together):
// sample i is i * 1000 - 6000 (dataType 1, 16-bit) or i * 0.25 - 1 (floats).
standin::TimeCourse smallTimeCourse(int dataType);

struct HostRun {
  int status = -1;
  std::string output;
};

// Runs the host application `app` in `folder` with the given arguments (its
// output goes to folder/host-output.txt as well).
HostRun runHost(const std::string& app, const std::string& folder, const std::string& arguments);

bool contains(const std::string& text, const std::string& part);

}  // namespace testsupport
