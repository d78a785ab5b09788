// The demo study: a small fMRI study generated deterministically, with a
// planted psychophysiological interaction, and the check a researcher makes
// of the plug-in's design matrices on it.
//
// Each subject has a block design of two task conditions ("Attend" and
// "Passive", between "Rest" blocks), a time course on a small grid, and six
// head-motion series. Three regions are shared by all subjects ("regions.voi"):
//
//   Seed    its signal is the physiological signal;
//   Target  couples to the seed more strongly in "Attend" than in "Passive":
//           it holds ppiEffect times the PPI regressor (the convolved contrast
//           Attend - Passive times the z-normalised seed mean);
//   Null    couples to the seed equally in both conditions (no interaction).
//
// All regions also carry the motion series with known weights.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace demo {

struct StudyOptions {
  int subjects = 4;
  int volumes = 160;
  int blockLength = 10;  // volumes per block
  double repetitionTimeMs = 2000.0;
  double ppiEffect = 4.0;    // planted in Target, signal units per unit of PPI regressor
  int coordinateSystem = 1;  // of the region file (3: the converted triple)
  int zTransformMotion = 0;  // the session's "zMC"
  std::uint64_t seed = 20240611;
  // Write the study as a BIDS dataset with fMRIPrep-style derivatives instead
  // (the same subjects, samples, blocks and motion): see generateStudy.
  bool bids = false;
};

// Motion weights planted in every region, signal units per mm or degree.
constexpr std::array<double, 6> kPlantedMotionWeights{2.5, -1.5, 3.0, 1.5, -2.0, 1.0};

// Writes the study into `folder` (created; the files it writes are replaced):
// sub-NN/ with a time course, protocol and motion-estimates file per subject,
// regions.voi, study.ppi, demo.session, planted.txt and an empty results/.
// The session runs in `folder` as its working directory.
//
// With `bids`, `folder` becomes a BIDS dataset of the task "demo" instead:
// sub-NN/func/ with the run (NIfTI, 16-bit or float as above, on a grid of
// 3 mm voxels), its sidecar and its events (blocks of Rest, Attend and
// Passive, onsets 0.2 s late, so that the half-volume rule has to round);
// derivatives/fmriprep/sub-NN/func/ with the preprocessed run (the same
// samples, space "demo") and its confounds (the motion in mm and radians);
// derivatives/rois/ with the label image of the three regions and its label
// table. Run through ppistudy it is the same study as the one of the
// project's own formats.
bool generateStudy(const std::string& folder, const StudyOptions& options,
                   std::string* error = nullptr);

// One subject's fit of its final design matrix.
struct SubjectFit {
  std::string subject;
  std::string designFile;
  bool withMotion = false;  // the design matrix carries the six motion predictors
  int rows = 0;
  int predictors = 0;
  double targetEstimate = 0.0, targetT = 0.0;
  double nullEstimate = 0.0, nullT = 0.0;
};

struct StudyCheck {
  double plantedEffect = 0.0;
  std::vector<SubjectFit> subjects;
  // Null's PPI estimates over subjects: their one-sample t and the two-sided
  // 5 % critical value for its degrees of freedom (no test with one subject).
  double nullGroupT = 0.0;
  double nullGroupCritical = 0.0;
  // Every Target t > 3 with the planted sign, and Null's group t within the
  // critical value: a single subject's Null t beyond 3 happens by chance.
  bool recovered = false;
};

// Fits every design matrix listed in results/sdm-files.txt (the session's
// "SDMFileList") to the Target and Null regions' mean time courses. Nothing,
// with the reason in `error`, when the study or a design matrix cannot be read.
std::optional<StudyCheck> checkStudy(const std::string& folder, std::string* error = nullptr);

// Prints the check as one table, with the group means.
void printStudyCheck(const StudyCheck& check, std::ostream& out);

// Draws the first subject's psychological, physiological and PPI regressors
// and its motion predictors over time, with the task blocks shaded.
// The label image of the BIDS layout (relative to its folder).
constexpr const char* kBidsRegionsImage = "derivatives/rois/space-demo_desc-regions_dseg.nii.gz";

bool writeRegressorFigure(const std::string& folder, const std::string& svgPath,
                          std::string* error = nullptr);

}  // namespace demo
