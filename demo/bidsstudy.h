// A study of the plug-in made from a BIDS dataset and its fMRIPrep
// derivatives (docs/standin-formats.md, "From a BIDS dataset"): for every
// subject and run of a task, the time course (fMRIPrep's preprocessed run,
// else the raw one), its events converted to a protocol, its confounds
// converted to a motion-estimates file, and the seed region of a mask on its
// grid; then the list file and the session that runs the plug-in's dialog
// over them. Runs that cannot be read are listed with the reason; the others
// go on.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace demo {

struct BidsStudyOptions {
  std::string root;         // the BIDS dataset
  std::string derivatives;  // fMRIPrep's output; empty: root/derivatives/fmriprep
  std::string task;
  std::string space;        // fMRIPrep's space entity; empty: the only one there is
  std::string seed;         // mask or label image, in the time courses' space
  std::string seedLabel;    // its region: a label number or name; empty: the only one
  std::vector<std::string> conditions;  // the protocols' order; empty: as they appear
  std::vector<std::string> plus, minus;  // the contrast (weights +1 and -1)
  std::string out;          // the study folder (created)
  bool zTransformMotion = false;
};

struct BidsRun {
  std::string name;  // e.g. "sub-01 run-1", as the dataset names it
  std::string timeCourse, protocol, motion;  // paths relative to the study folder
  std::string reason;                        // why it is left out; empty: it is in
  std::vector<std::string> notes;            // what the conversions said
};

struct BidsStudy {
  std::vector<BidsRun> runs;  // in the order of the list file, left-out runs among them
  std::vector<std::string> conditions;
  int included() const;
};

// Writes out/study.ppi, out/study.session, out/skipped.txt (when runs are
// left out), each run's protocol and motion-estimates file under
// out/<subject>/ and an empty out/results/. False, with the reason in
// `error`, when the options are unusable or no run can be used.
bool makeBidsStudy(const BidsStudyOptions& options, BidsStudy& study, std::string* error);

void printBidsStudy(const BidsStudy& study, const BidsStudyOptions& options, std::ostream& out);

}  // namespace demo
