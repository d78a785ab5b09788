#include "standin/nifti.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "standin/textutil.h"

#if STANDIN_HAVE_NIFTI
#include <nifti2_io.h>

#include <nlohmann/json.hpp>
#endif

namespace standin {
namespace {

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

bool isNiftiPath(const std::string& path) {
  return endsWith(path, ".nii") || endsWith(path, ".nii.gz");
}

std::string sidecarPath(const std::string& imagePath) {
  std::string base = imagePath;
  if (endsWith(base, ".gz")) base.resize(base.size() - 3);
  if (endsWith(base, ".nii")) base.resize(base.size() - 4);
  return base + ".json";
}

NiftiImage niftiFromTimeCourse(const TimeCourse& tc) {
  NiftiImage image;
  const std::int64_t nx = tc.dimX(), ny = tc.dimY(), nz = tc.dimZ(), nt = tc.nrOfVolumes;
  image.dims = {nx, ny, nz, nt};
  image.pixdim = {1.0, 1.0, 1.0, tc.repetitionTimeMs / 1000.0};
  image.type = tc.dataType == 1 ? NiftiSampleType::Int16 : NiftiSampleType::Float32;
  image.voxelToWorld = tc.voxelToWorld;
  image.stored.resize(static_cast<std::size_t>(nx * ny * nz * nt));
  const std::size_t cells = static_cast<std::size_t>(nx * ny * nz);
  for (std::size_t cell = 0; cell < cells; ++cell) {
    for (std::size_t t = 0; t < static_cast<std::size_t>(nt); ++t) {
      const std::size_t from = cell * static_cast<std::size_t>(nt) + t;
      image.stored[t * cells + cell] =
          tc.dataType == 1 ? tc.intSamples[from] : static_cast<double>(tc.floatSamples[from]);
    }
  }
  return image;
}

#if STANDIN_HAVE_NIFTI

namespace {

std::string number(double value) {
  std::ostringstream out;
  out.precision(6);
  out << value;
  return out.str();
}

struct ImageFree {
  void operator()(nifti_image* image) const { nifti_image_free(image); }
};
using ImagePointer = std::unique_ptr<nifti_image, ImageFree>;

// The library reports its own errors on standard error; the readers say why
// themselves, once, in their `error`.
void quietLibrary() { nifti_set_debug_level(0); }

// Reads the header, then the data: each failure with its own reason.
ImagePointer openImage(const std::string& path, std::string* error) {
  quietLibrary();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    fail(error, "cannot open " + path);
    return nullptr;
  }
  // The library finds "x.nii" when asked for "x.nii.gz" and the other way
  // round: with both there, which one it reads is not the caller's choice.
  const std::string base = path.substr(0, path.size() - (endsWith(path, ".gz") ? 7 : 4));
  if (isNiftiPath(path) && std::filesystem::exists(base + ".nii", ec) &&
      std::filesystem::exists(base + ".nii.gz", ec)) {
    fail(error, path + ": both " + base + ".nii and " + base +
                    ".nii.gz are there; remove one, the library cannot tell them apart");
    return nullptr;
  }
  ImagePointer image(nifti_image_read(path.c_str(), 0));
  if (!image) {
    fail(error, path +
                    ": not a NIfTI image, or its header cannot be read (truncated, or its "
                    "compression is corrupt)");
    return nullptr;
  }
  return image;
}

bool loadData(nifti_image* image, const std::string& path, std::string* error) {
  if (nifti_image_load(image) != 0 || image->data == nullptr) {
    return fail(error, path + ": the image data cannot be read whole (" +
                           std::to_string(image->nvox) + " values of " +
                           std::to_string(image->nbyper) +
                           " bytes expected): the file is truncated or its compression is corrupt");
  }
  return true;
}

bool supportedType(int datatype) {
  switch (datatype) {
    case NIFTI_TYPE_INT8: case NIFTI_TYPE_UINT8: case NIFTI_TYPE_INT16: case NIFTI_TYPE_UINT16:
    case NIFTI_TYPE_INT32: case NIFTI_TYPE_UINT32: case NIFTI_TYPE_FLOAT32: case NIFTI_TYPE_FLOAT64:
      return true;
    default:
      return false;
  }
}

// Value i of the image as stored (before scaling).
double storedValue(const nifti_image* image, std::size_t i) {
  const void* data = image->data;
  switch (image->datatype) {
    case NIFTI_TYPE_INT8: return static_cast<const std::int8_t*>(data)[i];
    case NIFTI_TYPE_UINT8: return static_cast<const std::uint8_t*>(data)[i];
    case NIFTI_TYPE_INT16: return static_cast<const std::int16_t*>(data)[i];
    case NIFTI_TYPE_UINT16: return static_cast<const std::uint16_t*>(data)[i];
    case NIFTI_TYPE_INT32: return static_cast<const std::int32_t*>(data)[i];
    case NIFTI_TYPE_UINT32: return static_cast<const std::uint32_t*>(data)[i];
    case NIFTI_TYPE_FLOAT32: return static_cast<const float*>(data)[i];
    default: return static_cast<const double*>(data)[i];
  }
}

// scl_slope 0 (or not finite) means no scaling, as the format has it.
bool scaled(const nifti_image* image) {
  const double slope = image->scl_slope;
  if (slope == 0.0 || !std::isfinite(slope)) return false;
  return slope != 1.0 || (std::isfinite(image->scl_inter) && image->scl_inter != 0.0);
}

double scaledValue(const nifti_image* image, std::size_t i) {
  const double stored = storedValue(image, i);
  if (!scaled(image)) return stored;
  const double inter = std::isfinite(image->scl_inter) ? image->scl_inter : 0.0;
  return stored * image->scl_slope + inter;
}

// The sform when the header has one, else the qform, else the voxel sizes.
std::vector<double> voxelToWorld(const nifti_image* image) {
  const nifti_dmat44& m = image->sform_code > 0 ? image->sto_xyz : image->qto_xyz;
  std::vector<double> matrix(12, 0.0);
  if (image->sform_code > 0 || image->qform_code > 0) {
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 4; ++c) matrix[static_cast<std::size_t>(r * 4 + c)] = m.m[r][c];
    }
  } else {
    matrix[0] = image->dx;
    matrix[5] = image->dy;
    matrix[10] = image->dz;
  }
  return matrix;
}

std::string dimsText(const nifti_image* image) {
  std::string text;
  for (int d = 1; d <= image->dim[0] && d <= 7; ++d) {
    text += (d > 1 ? " x " : "") + std::to_string(image->dim[d]);
  }
  return text;
}

// The header's time between volumes in milliseconds, or 0 when it has none.
// Read from the raw header: the library turns a pixdim of 0 into 1.
double headerRepetitionTimeMs(const std::string& path, bool& unitUnknown) {
  unitUnknown = false;
  int version = 0;
  void* raw = nifti_read_header(path.c_str(), &version, 1);
  if (raw == nullptr) return 0.0;
  double dt = 0.0;
  int units = 0;
  if (version == 2) {
    const auto* header = static_cast<const nifti_2_header*>(raw);
    dt = header->pixdim[4];
    units = header->xyzt_units;
  } else {
    const auto* header = static_cast<const nifti_1_header*>(raw);
    dt = header->pixdim[4];
    units = header->xyzt_units;
  }
  std::free(raw);
  if (!(dt > 0.0) || !std::isfinite(dt)) return 0.0;
  switch (XYZT_TO_TIME(units)) {
    case NIFTI_UNITS_MSEC: return dt;
    case NIFTI_UNITS_USEC: return dt / 1000.0;
    case NIFTI_UNITS_SEC: return dt * 1000.0;
    default: unitUnknown = true; return dt * 1000.0;  // taken as seconds
  }
}

// "RepetitionTime" of the sidecar in milliseconds; 0 when there is no sidecar
// or it has none; nothing when the sidecar cannot be read.
std::optional<double> sidecarRepetitionTimeMs(const std::string& sidecar, std::string* error) {
  std::error_code ec;
  if (!std::filesystem::exists(sidecar, ec)) return 0.0;
  std::ifstream in(sidecar, std::ios::binary);
  if (!in) return failed<double>(error, "cannot open the sidecar " + sidecar);
  nlohmann::json json = nlohmann::json::parse(in, nullptr, false);
  if (json.is_discarded() || !json.is_object()) {
    return failed<double>(error, sidecar + ": not a JSON object");
  }
  auto found = json.find("RepetitionTime");
  if (found == json.end()) return 0.0;
  if (!found->is_number() || !(found->get<double>() > 0.0) ||
      !std::isfinite(found->get<double>())) {
    return failed<double>(error, sidecar + ": \"RepetitionTime\" is not a positive number of seconds");
  }
  return found->get<double>() * 1000.0;
}

int niftiType(NiftiSampleType type) {
  switch (type) {
    case NiftiSampleType::UInt8: return NIFTI_TYPE_UINT8;
    case NiftiSampleType::Int16: return NIFTI_TYPE_INT16;
    case NiftiSampleType::UInt16: return NIFTI_TYPE_UINT16;
    case NiftiSampleType::Int32: return NIFTI_TYPE_INT32;
    case NiftiSampleType::Float32: return NIFTI_TYPE_FLOAT32;
    case NiftiSampleType::Float64: return NIFTI_TYPE_FLOAT64;
  }
  return NIFTI_TYPE_FLOAT32;
}

template <typename T>
void store(void* data, const std::vector<double>& values) {
  T* out = static_cast<T*>(data);
  for (std::size_t i = 0; i < values.size(); ++i) out[i] = static_cast<T>(values[i]);
}

}  // namespace

bool niftiSupported() { return true; }

std::optional<TimeCourse> readNiftiTimeCourse(const std::string& path, std::string* error,
                                              std::vector<std::string>* warnings) {
  ImagePointer image = openImage(path, error);
  if (!image) return std::nullopt;
  const nifti_image* im = image.get();
  if (im->dim[0] < 4 || im->nt < 1) {
    return failed<TimeCourse>(error, path + ": a " + std::to_string(im->dim[0]) + "-D image (" +
                                         dimsText(im) + "), not a time course of volumes");
  }
  if (im->dim[0] > 4 && (im->nu > 1 || im->nv > 1 || im->nw > 1)) {
    return failed<TimeCourse>(error, path + ": a " + std::to_string(im->dim[0]) + "-D image (" +
                                         dimsText(im) + "); a time course has four dimensions");
  }
  if (im->nt < 2) {
    return failed<TimeCourse>(error, path + ": a single volume (" + dimsText(im) +
                                         "), not a time course");
  }
  if (!supportedType(im->datatype)) {
    return failed<TimeCourse>(error, path + ": samples of type " +
                                         nifti_datatype_string(im->datatype) +
                                         " are not supported (int8, uint8, int16, uint16, int32, "
                                         "uint32, float32 or float64)");
  }
  const std::int64_t limit = 1 << 20;
  if (im->nx > limit || im->ny > limit || im->nz > limit || im->nt > limit ||
      static_cast<double>(im->nvox) > static_cast<double>(std::int64_t{1} << 31)) {
    return failed<TimeCourse>(error, path + ": the time course is too large (" + dimsText(im) + ")");
  }

  // The repetition time, before the data are read.
  std::string why;
  auto sidecar = sidecarRepetitionTimeMs(sidecarPath(path), &why);
  if (!sidecar) return failed<TimeCourse>(error, path + ": " + why);
  bool unitUnknown = false;
  const double header = headerRepetitionTimeMs(path, unitUnknown);
  TimeCourse tc;
  if (*sidecar > 0.0) {
    tc.repetitionTimeMs = *sidecar;
    if (header > 0.0 && std::fabs(header - *sidecar) > 1e-3 * *sidecar && warnings != nullptr) {
      warnings->push_back(path + ": the sidecar's RepetitionTime " + number(*sidecar / 1000.0) +
                          " s and the header's pixdim[4] " + number(header / 1000.0) +
                          " s disagree; the sidecar's " + number(*sidecar / 1000.0) +
                          " s is used");
    }
  } else if (header > 0.0) {
    tc.repetitionTimeMs = header;
    if (unitUnknown && warnings != nullptr) {
      warnings->push_back(path + ": the header gives no time unit; pixdim[4] " +
                          number(header / 1000.0) + " is taken as seconds");
    }
  } else {
    return failed<TimeCourse>(error, path +
                                         ": no repetition time: the sidecar has no "
                                         "\"RepetitionTime\" and the header's pixdim[4] is 0");
  }

  if (!loadData(image.get(), path, error)) return std::nullopt;
  tc.nrOfVolumes = static_cast<std::int32_t>(im->nt);
  tc.xStart = tc.yStart = tc.zStart = 0;
  tc.xEnd = static_cast<std::int32_t>(im->nx);
  tc.yEnd = static_cast<std::int32_t>(im->ny);
  tc.zEnd = static_cast<std::int32_t>(im->nz);
  tc.resolution = 1;
  tc.voxelToWorld = voxelToWorld(im);
  const bool int16 = !scaled(im) && (im->datatype == NIFTI_TYPE_INT16 ||
                                     im->datatype == NIFTI_TYPE_INT8 ||
                                     im->datatype == NIFTI_TYPE_UINT8);
  tc.dataType = int16 ? 1 : 2;
  const std::size_t cells = static_cast<std::size_t>(im->nx * im->ny * im->nz);
  const std::size_t volumes = static_cast<std::size_t>(im->nt);
  if (int16) {
    tc.intSamples.resize(cells * volumes);
  } else {
    tc.floatSamples.resize(cells * volumes);
  }
  // The file holds volume after volume; the host hands out cell after cell.
  for (std::size_t cell = 0; cell < cells; ++cell) {
    for (std::size_t t = 0; t < volumes; ++t) {
      const std::size_t from = t * cells + cell, to = cell * volumes + t;
      if (int16) {
        tc.intSamples[to] = static_cast<std::int16_t>(storedValue(im, from));
      } else {
        tc.floatSamples[to] = static_cast<float>(scaledValue(im, from));
      }
    }
  }
  return tc;
}

std::optional<LabelImage> readNiftiLabels(const std::string& path, std::string* error) {
  ImagePointer image = openImage(path, error);
  if (!image) return std::nullopt;
  const nifti_image* im = image.get();
  if (im->dim[0] > 3 && (im->nt > 1 || im->nu > 1 || im->nv > 1 || im->nw > 1)) {
    return failed<LabelImage>(error, path + ": a " + std::to_string(im->dim[0]) + "-D image (" +
                                         dimsText(im) + "), not a 3-D mask or label image");
  }
  if (!supportedType(im->datatype)) {
    return failed<LabelImage>(error, path + ": values of type " +
                                         nifti_datatype_string(im->datatype) +
                                         " are not supported in a mask or label image");
  }
  const std::int64_t limit = 1 << 16;
  if (im->nx > limit || im->ny > limit || im->nz > limit) {
    return failed<LabelImage>(error, path + ": the image is too large (" + dimsText(im) + ")");
  }
  if (!loadData(image.get(), path, error)) return std::nullopt;
  LabelImage labels;
  labels.dims = {static_cast<std::int32_t>(im->nx), static_cast<std::int32_t>(im->ny),
                 static_cast<std::int32_t>(im->nz)};
  labels.voxelToWorld = voxelToWorld(im);
  const std::size_t count = static_cast<std::size_t>(im->nx * im->ny * im->nz);
  labels.labels.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double value = scaledValue(im, i);
    if (!std::isfinite(value) || value != std::floor(value) || value < 0.0 || value > 2147483647.0) {
      const std::size_t x = i % static_cast<std::size_t>(im->nx);
      const std::size_t y = (i / static_cast<std::size_t>(im->nx)) % static_cast<std::size_t>(im->ny);
      const std::size_t z = i / static_cast<std::size_t>(im->nx * im->ny);
      return failed<LabelImage>(error, path + ": voxel (" + std::to_string(x) + ", " +
                                           std::to_string(y) + ", " + std::to_string(z) +
                                           ") holds " + number(value) +
                                           "; a mask or label image holds whole numbers from 0");
    }
    labels.labels[i] = static_cast<std::int64_t>(value);
  }
  return labels;
}

bool writeNiftiImage(const std::string& path, const NiftiImage& in, std::string* error) {
  quietLibrary();
  if (!isNiftiPath(path)) return fail(error, path + ": a NIfTI file name ends in .nii or .nii.gz");
  const bool fourD = in.dims[3] > 0;
  std::int64_t total = in.dims[0] * in.dims[1] * in.dims[2] * (fourD ? in.dims[3] : 1);
  if (in.dims[0] < 1 || in.dims[1] < 1 || in.dims[2] < 1 || total != static_cast<std::int64_t>(in.stored.size())) {
    return fail(error, path + ": the values do not fill the image's dimensions");
  }
  if (in.version != 1 && in.version != 2) return fail(error, path + ": NIfTI version 1 or 2");
  std::int64_t dims[8] = {fourD ? 4 : 3, in.dims[0], in.dims[1], in.dims[2],
                          fourD ? in.dims[3] : 1, 1, 1, 1};
  ImagePointer image(nifti_make_new_nim(dims, niftiType(in.type), 1));
  if (!image) return fail(error, path + ": cannot make the image");
  nifti_image* im = image.get();
  im->pixdim[1] = im->dx = in.pixdim[0];
  im->pixdim[2] = im->dy = in.pixdim[1];
  im->pixdim[3] = im->dz = in.pixdim[2];
  im->pixdim[4] = im->dt = fourD ? in.pixdim[3] : 0.0;
  im->xyz_units = NIFTI_UNITS_MM;
  im->time_units = in.timeInMilliseconds ? NIFTI_UNITS_MSEC : NIFTI_UNITS_SEC;
  im->scl_slope = in.slope;
  im->scl_inter = in.inter;
  std::vector<double> matrix = in.voxelToWorld;
  if (matrix.size() != 12) {
    matrix.assign(12, 0.0);
    matrix[0] = in.pixdim[0];
    matrix[5] = in.pixdim[1];
    matrix[10] = in.pixdim[2];
  }
  nifti_dmat44 m{};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 4; ++c) m.m[r][c] = matrix[static_cast<std::size_t>(r * 4 + c)];
  }
  m.m[3][3] = 1.0;
  im->sform_code = NIFTI_XFORM_SCANNER_ANAT;
  im->sto_xyz = m;
  im->sto_ijk = nifti_dmat44_inverse(m);
  im->qform_code = 0;
  switch (in.type) {
    case NiftiSampleType::UInt8: store<std::uint8_t>(im->data, in.stored); break;
    case NiftiSampleType::Int16: store<std::int16_t>(im->data, in.stored); break;
    case NiftiSampleType::UInt16: store<std::uint16_t>(im->data, in.stored); break;
    case NiftiSampleType::Int32: store<std::int32_t>(im->data, in.stored); break;
    case NiftiSampleType::Float32: store<float>(im->data, in.stored); break;
    case NiftiSampleType::Float64: store<double>(im->data, in.stored); break;
  }
  im->nifti_type = in.version == 2 ? NIFTI_FTYPE_NIFTI2_1 : NIFTI_FTYPE_NIFTI1_1;

  // The temporary file keeps the extension, which chooses the compression.
  namespace fs = std::filesystem;
  const fs::path target(path);
  const std::string extension = endsWith(path, ".nii.gz") ? ".nii.gz" : ".nii";
  const std::string name = target.filename().string();
  const fs::path temporary = target.parent_path() /
                             (".writing-" + name.substr(0, name.size() - extension.size()) + extension);
  if (nifti_set_filenames(im, temporary.string().c_str(), 0, 1) != 0) {
    return fail(error, path + ": cannot name the temporary file");
  }
  nifti_image_write(im);
  // The library does not say whether it wrote the file: read it back whole.
  std::string why;
  ImagePointer back(nifti_image_read(temporary.string().c_str(), 1));
  std::error_code ec;
  if (!back || back->nvox != im->nvox || back->datatype != im->datatype) {
    fs::remove(temporary, ec);
    return fail(error, "cannot write " + path);
  }
  fs::rename(temporary, target, ec);
  if (ec) {
    fs::remove(temporary, ec);
    return fail(error, "cannot write " + path + ": " + ec.message());
  }
  return true;
}

#else  // no libnifti2 in this build

namespace {
const char* const kNoNifti = ": this build of the stand-in host reads no NIfTI files (built without libnifti2)";
}

bool niftiSupported() { return false; }

std::optional<TimeCourse> readNiftiTimeCourse(const std::string& path, std::string* error,
                                              std::vector<std::string>*) {
  return failed<TimeCourse>(error, path + kNoNifti);
}

std::optional<LabelImage> readNiftiLabels(const std::string& path, std::string* error) {
  return failed<LabelImage>(error, path + kNoNifti);
}

bool writeNiftiImage(const std::string& path, const NiftiImage&, std::string* error) {
  return fail(error, path + kNoNifti);
}

#endif

}  // namespace standin
