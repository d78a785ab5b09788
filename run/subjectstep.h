// The per-subject step of the analysis run: the subject's time course,
// protocol and region back in the host, its region signal, its design matrix
// assembled, checked, saved, merged with the motion predictors when asked, and
// recorded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/boundedtext.h"
#include "common/outcome.h"
#include "common/report.h"
#include "design/runsettings.h"
#include "model/subject.h"
#include "run/checkreport.h"
#include "run/runrecords.h"
#include "run/runset.h"

namespace ppi::analysis {

// The paths the run has saved to, and those that stand for its subjects.
struct RunOutputs {
  std::vector<PathText> savedThisRun;
  std::vector<PathText>& savedDesignFiles;
  RunRecorder& records;
  Report& report;
  GroupDesign group;  // the first subject's predictors
  std::size_t savedNotListed = 0;  // design matrices saved that have an error (dialog mode)
  RunSet* set = nullptr;  // the run's lock, earlier runs' files and manifest; none in tests
  // The subjects' motion samples by their checksum: the first subject and its file.
  struct MotionOwner {
    std::size_t subject;
    std::string where;
    std::string path;
  };
  std::map<std::uint64_t, MotionOwner> motionSamples;
};

// How a subject's step ended when the run goes on.
enum class SubjectOutcome {
  listed,  // its design matrix is saved and stands for it in "SDMFileList"
  failed,  // a check found an error: in multi-study mode nothing is saved, in
           // dialog mode the design matrix is saved; either way it is not listed
};

// Fails when the run must stop, with the reason of the step that stopped it
// (the line it logged).
Result<SubjectOutcome> runSubject(const model::Subject& subject, std::size_t number,
                                  const RunSettings& settings, RunOutputs& outputs);

}  // namespace ppi::analysis
