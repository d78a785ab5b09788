// One subject of the list: its time course with the protocol, and its region.
// Plain values, copied whole; a subject enters the list only once both parts
// are settled.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/boundedtext.h"
#include "host/hostrecords.h"

namespace ppi::model {

// A path as the host reports it in a record, unless the record's field cut it
// short: then the path as chosen, whole.
inline std::string wholePath(const std::string& reported, const PathText& chosen) {
  const bool cut = reported.size() < chosen.size() &&
                   chosen.view().substr(0, reported.size()) == std::string_view(reported);
  return cut ? chosen.str() : reported;
}

// The time course and its protocol, as the host reported them when the
// subject was added.
struct SubjectRecord {
  host::VTCHeaderRecord header;   // as the host reported it for the subject's VTC
  host::ProtocolRecord protocol;  // as the host reported it once the protocol was in place
  std::int32_t nrOfVolumes = 0;   // copy of the header's number of volumes
  // The protocol file chosen for a time course that brings none of its own
  // (empty when it does): the run loads it again, since the host's current
  // protocol may by then be another subject's.
  PathText protocolPath;
  PathText vtcPath;  // the time-course path exactly as chosen or listed
  // The protocol's condition names when the subject was added, one for each of
  // its conditions: the run checks that the protocol still has them.
  std::vector<std::string> conditionNames;

  std::string timeCoursePath() const { return wholePath(header.vtcPath(), vtcPath); }
};

// The region: the VOI file as loaded and the region chosen from it.
struct SubjectVOIRecord {
  host::VOISetRecord voiSet;    // the subject's VOI file
  host::VOIRecord voi;          // the chosen region
  std::int32_t chosenVOI = -1;  // its index within the VOI file, from 0
  PathText voiPath;             // the VOI file's path exactly as chosen or listed

  std::string regionFilePath() const { return wholePath(voiSet.voiPath(), voiPath); }
};

struct Subject {
  SubjectRecord timeCourse;
  SubjectVOIRecord region;
  // The subject's motion-estimates file, from its list line; empty when the
  // line had none (a run with the motion merge then asks for it).
  PathText motionPath;
};

}  // namespace ppi::model
