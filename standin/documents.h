// The stand-in host's document files, in the project's own formats (described
// in docs/standin-formats.md):
//
//   time course (.vtc)  a short text header, then the samples as raw
//                       little-endian 16-bit integers or 32-bit floats;
//   protocol (.prt)     text: conditions with their intervals in volumes;
//   region file (.voi)  text: named regions with their voxel coordinates.
//
// The readers plug into the host model's loaders; the writers serve the demo
// study generator and the tests. A reader returns nothing for a file it cannot
// read whole, and says why in `error`.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "standin/hostmodel.h"

namespace standin {

std::optional<TimeCourse> readTimeCourseFile(const std::string& path, std::string* error = nullptr);
bool writeTimeCourseFile(const std::string& path, const TimeCourse& timeCourse,
                         std::string* error = nullptr);

std::optional<Protocol> readProtocolFile(const std::string& path, std::string* error = nullptr);
bool writeProtocolFile(const std::string& path, const Protocol& protocol,
                       std::string* error = nullptr);

std::optional<RegionFile> readRegionFile(const std::string& path, std::string* error = nullptr);
bool writeRegionFile(const std::string& path, const RegionFile& regions,
                     std::string* error = nullptr);

// Sets the model's loaders to read the files above, and NIfTI time courses
// (standin/nifti.h); every file that cannot be read is reported through
// `onProblem`, every warning about one that is read through `onWarning`.
void useDocumentFiles(HostModel& model,
                      std::function<void(const std::string&)> onProblem = nullptr,
                      std::function<void(const std::string&)> onWarning = nullptr);

}  // namespace standin
