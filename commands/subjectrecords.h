// The two per-subject records of the subject list: plain values copied whole.
#pragma once

#include <cstdint>

#include "common/boundedtext.h"
#include "host/hostrecords.h"

struct SubjectRecord {
  ppi::host::VTCHeaderRecord header;   // as the host reported it for the subject's VTC
  ppi::host::ProtocolRecord protocol;  // as the host reported it once the protocol was in place
  std::int32_t nrOfVolumes = 0;        // copy of the header's number of volumes
  // The protocol file chosen for a time course that brings none of its own
  // (empty when it does): the run loads it again, since the host's current
  // protocol may by then be another subject's.
  ppi::PathText protocolPath;
  ppi::PathText vtcPath;  // the time-course path exactly as chosen or listed
};

struct SubjectVOIRecord {
  ppi::host::VOISetRecord voiSet;  // the subject's VOI file
  ppi::host::VOIRecord voi;        // the chosen region
  std::int32_t chosenVOI = -1;     // its index within the VOI file, from 0
  ppi::PathText voiPath;           // the VOI file's path exactly as chosen or listed
};
