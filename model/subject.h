// One subject of the list: its time course with the protocol, and its region.
// Plain values, copied whole; a subject enters the list only once both parts
// are settled.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/boundedtext.h"
#include "host/hostrecords.h"

namespace ppi::model {

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
};

// The region: the VOI file as loaded and the region chosen from it.
struct SubjectVOIRecord {
  host::VOISetRecord voiSet;    // the subject's VOI file
  host::VOIRecord voi;          // the chosen region
  std::int32_t chosenVOI = -1;  // its index within the VOI file, from 0
  PathText voiPath;             // the VOI file's path exactly as chosen or listed
};

struct Subject {
  SubjectRecord timeCourse;
  SubjectVOIRecord region;
};

}  // namespace ppi::model
