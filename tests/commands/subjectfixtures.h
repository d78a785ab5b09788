// Builders for the documents a subject is made of, registered in the stand-in
// host model by path, and for the answers the user gives to its dialogs.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "standin/hostmodel.h"

namespace subjectfixtures {

// A time course of nrOfVolumes volumes on a 2 × 2 × 2 grid of float samples
// (all zero), coming with the protocol at linkedProtocol when that is not empty.
inline standin::TimeCourse makeTimeCourse(int nrOfVolumes, const std::string& linkedProtocol = {}) {
  standin::TimeCourse timeCourse;
  timeCourse.nrOfVolumes = nrOfVolumes;
  timeCourse.resolution = 3;
  timeCourse.xStart = timeCourse.yStart = timeCourse.zStart = 0;
  timeCourse.xEnd = timeCourse.yEnd = timeCourse.zEnd = 6;
  timeCourse.dataType = 2;
  timeCourse.floatSamples.assign(8 * static_cast<std::size_t>(nrOfVolumes > 0 ? nrOfVolumes : 0),
                                 0.0f);
  timeCourse.linkedProtocol = linkedProtocol;
  return timeCourse;
}

// A protocol with the named conditions, each without intervals.
inline standin::Protocol makeProtocol(const std::vector<std::string>& conditionNames) {
  standin::Protocol protocol;
  for (const std::string& name : conditionNames) protocol.conditions.push_back({name, {}});
  return protocol;
}

// A VOI file with the named regions, region i holding the one voxel (i, i, i).
inline standin::RegionFile makeRegionFile(const std::vector<std::string>& regionNames) {
  standin::RegionFile file;
  for (std::size_t i = 0; i < regionNames.size(); ++i) {
    const auto c = static_cast<std::int32_t>(i);
    file.regions.push_back({regionNames[i], {{c, c, c}}});
  }
  return file;
}

inline void addTimeCourse(standin::HostModel& model, const std::string& path, int nrOfVolumes,
                          const std::string& linkedProtocol = {}) {
  model.timeCourses[path] = makeTimeCourse(nrOfVolumes, linkedProtocol);
}

inline void addProtocol(standin::HostModel& model, const std::string& path,
                        const std::vector<std::string>& conditionNames) {
  model.protocols[path] = makeProtocol(conditionNames);
}

inline void addRegionFile(standin::HostModel& model, const std::string& path,
                          const std::vector<std::string>& regionNames) {
  model.regionFiles[path] = makeRegionFile(regionNames);
}

// The user picks `path` in the next open-file dialog (an empty queue cancels).
inline void chooseFile(standin::HostModel& model, const std::string& path) {
  model.openFileAnswers.push_back({true, path});
}

// The user cancels the next open-file dialog.
inline void cancelFile(standin::HostModel& model) { model.openFileAnswers.push_back({false, {}}); }

// The user picks `path` in the next save-file dialog.
inline void chooseSaveFile(standin::HostModel& model, const std::string& path) {
  model.saveFileAnswers.push_back({true, path});
}

// Queues the answers that one interactive "AddSubject" needs: the time course,
// the protocol when `protocolPath` is not empty (for a time course without
// one), the VOI file, and the region when `region` is 0 or more.
inline void answerAddSubject(standin::HostModel& model, const std::string& vtcPath,
                             const std::string& voiPath, const std::string& protocolPath = {},
                             int region = -1) {
  chooseFile(model, vtcPath);
  if (!protocolPath.empty()) chooseFile(model, protocolPath);
  chooseFile(model, voiPath);
  if (region >= 0) model.integerAnswers.push_back(region);
}

// A small study: /d/a.vtc (30 volumes) and /d/b.vtc (40) come with a.prt
// (RestA, TaskA) and b.prt (RestB, TaskB, OtherB); /d/c.vtc (50) needs c.prt
// (OnlyC). /d/three.voi holds R0, R1, R2, /d/one.voi Only, /d/none.voi nothing.
inline void registerStudy(standin::HostModel& model) {
  addProtocol(model, "a.prt", {"RestA", "TaskA"});
  addProtocol(model, "b.prt", {"RestB", "TaskB", "OtherB"});
  addProtocol(model, "c.prt", {"OnlyC"});
  addTimeCourse(model, "/d/a.vtc", 30, "a.prt");
  addTimeCourse(model, "/d/b.vtc", 40, "b.prt");
  addTimeCourse(model, "/d/c.vtc", 50);
  addRegionFile(model, "/d/three.voi", {"R0", "R1", "R2"});
  addRegionFile(model, "/d/one.voi", {"Only"});
  addRegionFile(model, "/d/none.voi", {});
}

// The file dialogs shown, in order, as "title|start|filter".
inline std::vector<std::string> fileDialogs(const standin::HostModel& model) {
  std::vector<std::string> shown;
  for (const standin::HostCall& call : model.calls) {
    if (call.function == "nkGetOpenFileName" || call.function == "nkGetSaveFileName") {
      shown.push_back(call.arguments.at(0) + "|" + call.arguments.at(1) + "|" +
                      call.arguments.at(2));
    }
  }
  return shown;
}

}  // namespace subjectfixtures
