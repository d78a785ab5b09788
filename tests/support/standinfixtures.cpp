#include "tests/support/standinfixtures.h"

#include <cstdlib>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include "tests/support/fakehost.h"

namespace testsupport {

standin::TimeCourse smallTimeCourse(int dataType) {
  standin::TimeCourse tc;
  tc.nrOfVolumes = 3;
  tc.xStart = 10;
  tc.xEnd = 16;  // 2 cells of 3
  tc.yStart = 20;
  tc.yEnd = 23;  // 1 cell
  tc.zStart = -6;
  tc.zEnd = 0;  // 2 cells
  tc.resolution = 3;
  tc.dataType = dataType;
  tc.repetitionTimeMs = 1500.5;
  for (int i = 0; i < 12; ++i) {
    if (dataType == 1) {
      tc.intSamples.push_back(static_cast<std::int16_t>(i * 1000 - 6000));
    } else {
      tc.floatSamples.push_back(static_cast<float>(i) * 0.25f - 1.0f);
    }
  }
  return tc;
}

HostRun runHost(const std::string& app, const std::string& folder, const std::string& arguments) {
  const std::string command =
      "cd '" + folder + "' && '" + app + "' " + arguments + " > host-output.txt 2>&1";
  const int raw = std::system(command.c_str());
  HostRun run;
#if defined(_WIN32)
  run.status = raw;
#else
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
  run.output = readFile(folder + "/host-output.txt");
  return run;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace testsupport
