// NIfTI images (NIfTI-1 and NIfTI-2, ".nii" or gzip-compressed ".nii.gz"),
// read and written through Debian's libnifti2, for the stand-in host:
//
//   a 4-D image is a time course: its voxel grid becomes the host's grid cell
//   for cell (voxel (i, j, k) is cell (i, j, k); XStart = YStart = ZStart = 0,
//   XEnd = nx, YEnd = ny, ZEnd = nz, resolution 1), so region coordinates are
//   voxel indices counted from 0, whatever the voxels' size in millimetres;
//   a 3-D image is a mask or label image (standin/bids.h makes regions of it).
//
// The repetition time of a time course comes from its BIDS sidecar (the same
// path with ".json" for ".nii" or ".nii.gz") when that has "RepetitionTime",
// else from the header's pixdim[4] in its time unit; when both are there and
// differ, the sidecar's is used and a warning names both.
//
// Without libnifti2 (the Windows cross build) the readers and writers exist
// but refuse every file, saying so; niftiSupported() tells which build it is.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "standin/hostmodel.h"

namespace standin {

bool niftiSupported();

// True for a path ending in ".nii" or ".nii.gz".
bool isNiftiPath(const std::string& path);

// The sidecar of an image: "x.nii.gz" and "x.nii" give "x.json".
std::string sidecarPath(const std::string& imagePath);

// Reads a 4-D image as a time course in the cell order the host hands out
// (all volumes of a cell together, x fastest, then y, then z). int16, int8 and
// uint8 samples without scaling stay 16-bit integers (header data type 1);
// every other type (uint16, int32, uint32, float32, float64) and every scaled
// image (scl_slope not 0 or 1, or scl_inter not 0) gives floats, with
// value = stored * scl_slope + scl_inter. Nothing, with the reason in `error`,
// for a missing, truncated, corrupt or non-NIfTI file, an image of other than
// four dimensions or of one volume, or an unsupported sample type. Warnings
// (the repetition time's) go to `warnings`.
std::optional<TimeCourse> readNiftiTimeCourse(const std::string& path, std::string* error = nullptr,
                                              std::vector<std::string>* warnings = nullptr);

// A 3-D image of whole numbers (a mask or a label image), its values in file
// order (x fastest, then y, then z), scaling applied.
struct LabelImage {
  std::array<std::int32_t, 3> dims{0, 0, 0};
  std::vector<double> voxelToWorld;  // 3 x 4, row after row
  std::vector<std::int64_t> labels;
};
std::optional<LabelImage> readNiftiLabels(const std::string& path, std::string* error = nullptr);

// What the writer writes: the demo study's images and the tests' inputs.
enum class NiftiSampleType { UInt8, Int16, UInt16, Int32, Float32, Float64 };
struct NiftiImage {
  int version = 1;                           // 1 or 2
  std::array<std::int64_t, 4> dims{1, 1, 1, 0};  // nx, ny, nz, nt (0: a 3-D image)
  std::array<double, 4> pixdim{1, 1, 1, 0};  // voxel size in mm; time between volumes
  bool timeInMilliseconds = false;           // pixdim[4]'s unit, else seconds
  NiftiSampleType type = NiftiSampleType::Float32;
  double slope = 0.0, inter = 0.0;           // scl_slope, scl_inter (0: no scaling)
  std::vector<double> voxelToWorld;          // 3 x 4; empty: the voxel sizes on the diagonal
  std::vector<double> stored;                // the stored values, in file order
};

// Writes through a temporary file beside `path` that is read back whole
// before it replaces `path`: a failure leaves no file and no old file changed.
bool writeNiftiImage(const std::string& path, const NiftiImage& image,
                     std::string* error = nullptr);

// A time course as a 4-D image: 16-bit samples as int16, others as float32;
// pixdim[4] the repetition time in seconds.
NiftiImage niftiFromTimeCourse(const TimeCourse& timeCourse);

}  // namespace standin
