// The field's text formats beside the host's own (docs/standin-formats.md):
//
//   events (BIDS "_events.tsv")      -> a protocol in volumes;
//   mask or label image (NIfTI) and its label table (BIDS-style ".tsv")
//                                    -> regions, on the time course's grid;
//   confounds (fMRIPrep "_desc-confounds_timeseries.tsv")
//                                    -> a motion-estimates design matrix.
//
// Each returns nothing, with the reason in `error`, for a file it cannot
// convert whole; what the conversion changed is said in `notes`.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "standin/designfile.h"
#include "standin/hostmodel.h"
#include "standin/nifti.h"

namespace standin {

// A tab-separated table with a header line (LF or CR LF line ends; blank
// lines at the end ignored); every row has as many fields as the header.
struct TsvTable {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
  int column(const std::string& name) const;  // -1 when absent
};
std::optional<TsvTable> readTsvFile(const std::string& path, std::string* error = nullptr);

// Events to a protocol. Volume v (from 1) covers [(v - 1) TR, v TR); an event
// [onset, onset + duration) covers every volume it overlaps by at least half a
// volume, and at least the one it overlaps most (the first of equals; for a
// duration of 0 or "n/a", the volume of its onset). Conditions are the
// trial_type values, in order of first appearance, or in `order` when that is
// given (then every trial_type must be listed; a listed one without events is
// an empty condition). Rows whose trial_type is "n/a" are no condition.
// Refused: no onset, duration or trial_type column, an onset that is "n/a",
// negative or not a number, a negative duration, an event that starts at or
// after the run's end. An event that ends after it is cut there.
struct EventsProtocol {
  Protocol protocol;
  std::vector<std::string> notes;  // short events, cut events, "n/a" rows
};
std::optional<EventsProtocol> protocolFromEvents(const std::string& path,
                                                 double repetitionTimeMs, int volumes,
                                                 const std::vector<std::string>& order = {},
                                                 std::string* error = nullptr);

// The label table beside a label image: "x.nii.gz" and "x.nii" give "x.tsv".
std::string labelTablePath(const std::string& imagePath);

// Regions of a mask or label image: one region per non-zero label, in the
// order of the labels, named from the label table (columns "index" and
// "name") when there is one, else "label N". The image must lie on the time
// course's grid: the same dimensions and, for a NIfTI time course, the same
// voxel-to-world matrix (within 0.001 mm). Voxel (i, j, k) is stored as
// (XStart + i R, YStart + j R, ZStart + k R), coordinate system 1, so that
// the host places it in cell (i, j, k).
// `labelValues`, when given, receives each region's label.
std::optional<RegionFile> regionsFromLabelImage(const std::string& path,
                                                const TimeCourse* timeCourse,
                                                std::string* error = nullptr,
                                                std::vector<std::int64_t>* labelValues = nullptr);

// The six motion columns of a confounds table (trans_x, trans_y, trans_z in
// mm; rot_x, rot_y, rot_z in radians, written in degrees) as the six
// predictors of a motion-estimates design matrix without a constant. Refused:
// a missing column, a value in them that is "n/a", empty or not a number, a
// row count other than `volumes`. Other columns (the derivatives with "n/a"
// in their first row among them) are not read.
std::optional<DesignMatrixFile> motionFromConfounds(const std::string& path, int volumes,
                                                    std::string* error = nullptr);

// The motion predictors' names, as the plug-in names them in its merge.
extern const char* const kMotionEstimateNames[6];

}  // namespace standin
