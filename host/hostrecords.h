// The records that the host fills into storage the plug-in provides. They are
// raw bytes whose layout belongs to the host; the plug-in reads (and a host
// writes) only the fields named here, at their byte offsets. Integers are
// 32-bit signed little-endian, texts zero-terminated 8-bit strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace ppi::host {

template <std::size_t Size>
struct HostRecord {
  static constexpr std::size_t kSize = Size;
  alignas(4) unsigned char bytes[Size] = {};

  std::int32_t intAt(std::size_t offset) const {
    std::int32_t value = 0;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
  }
  void setIntAt(std::size_t offset, std::int32_t value) {
    std::memcpy(bytes + offset, &value, sizeof value);
  }
  // The text at the offset, up to its terminator or the end of the field.
  std::string textAt(std::size_t offset, std::size_t fieldEnd) const {
    const auto* begin = reinterpret_cast<const char*>(bytes + offset);
    std::size_t room = fieldEnd - offset;
    const void* terminator = std::memchr(begin, '\0', room);
    std::size_t length =
        terminator != nullptr ? static_cast<const char*>(terminator) - begin : room;
    return std::string(begin, length);
  }
  // Writes a text into its field, cut to leave room for the terminator.
  void setTextAt(std::size_t offset, std::size_t fieldEnd, const std::string& text) {
    std::size_t room = fieldEnd - offset;
    std::size_t length = text.size() < room ? text.size() : room - 1;
    std::memcpy(bytes + offset, text.data(), length);
    bytes[offset + length] = '\0';
  }
  void* data() { return bytes; }
};

// Time-course header, filled by nkGetHeaderOfVTCOfCurrentVMR.
struct VTCHeaderRecord : HostRecord<848> {
  static constexpr std::size_t kNrOfVolumes = 4, kXStart = 20, kXEnd = 24, kYStart = 28, kYEnd = 32,
                               kZStart = 36, kZEnd = 40, kResolution = 44, kDataType = 48,
                               kPath = 56, kPathEnd = 320, kProtocolLinkCount = 320;
  std::int32_t nrOfVolumes() const { return intAt(kNrOfVolumes); }
  std::int32_t xStart() const { return intAt(kXStart); }
  std::int32_t xEnd() const { return intAt(kXEnd); }
  std::int32_t yStart() const { return intAt(kYStart); }
  std::int32_t yEnd() const { return intAt(kYEnd); }
  std::int32_t zStart() const { return intAt(kZStart); }
  std::int32_t zEnd() const { return intAt(kZEnd); }
  std::int32_t resolution() const { return intAt(kResolution); }
  std::int32_t dataType() const { return intAt(kDataType); }
  // Samples are 16-bit signed integers for this data type, 32-bit floats for any other.
  static constexpr std::int32_t kSixteenBitDataType = 1;
  bool hasSixteenBitSamples() const { return dataType() == kSixteenBitDataType; }
  std::string vtcPath() const { return textAt(kPath, kPathEnd); }
  std::int32_t protocolLinkCount() const { return intAt(kProtocolLinkCount); }
};

// Protocol, filled by nkGetProtocol.
struct ProtocolRecord : HostRecord<596> {
  static constexpr std::size_t kNrOfConditions = 0;
  std::int32_t nrOfConditions() const { return intAt(kNrOfConditions); }
};

// One protocol condition, filled by nkGetProtocolCondition.
struct ConditionRecord : HostRecord<288> {
  static constexpr std::size_t kName = 0, kNameEnd = 288;
  std::string name() const { return textAt(kName, kNameEnd); }
};

// The loaded VOI file, filled by nkGetVOIs.
struct VOISetRecord : HostRecord<312> {
  static constexpr std::size_t kNrOfVOIs = 0, kPath = 8, kPathEnd = 272, kCoordinateSystem = 272;
  std::int32_t nrOfVOIs() const { return intAt(kNrOfVOIs); }
  std::string voiPath() const { return textAt(kPath, kPathEnd); }
  std::int32_t coordinateSystem() const { return intAt(kCoordinateSystem); }
  // Regions stored in this coordinate system hold triples (c0, c1, c2) that
  // stand for the grid coordinates (kCoordinateOffset - c1, kCoordinateOffset -
  // c2, kCoordinateOffset - c0).
  static constexpr std::int32_t kMirroredCoordinateSystem = 3;
  static constexpr std::int64_t kCoordinateOffset = 128;
  bool hasMirroredCoordinates() const { return coordinateSystem() == kMirroredCoordinateSystem; }
};

// One region, filled by nkGetVOI.
struct VOIRecord : HostRecord<268> {
  static constexpr std::size_t kNrOfVoxels = 0, kName = 4, kNameEnd = 268;
  std::int32_t nrOfVoxels() const { return intAt(kNrOfVoxels); }
  std::string name() const { return textAt(kName, kNameEnd); }
};

static_assert(sizeof(VTCHeaderRecord) == 848 && sizeof(ProtocolRecord) == 596 &&
                  sizeof(ConditionRecord) == 288 && sizeof(VOISetRecord) == 312 &&
                  sizeof(VOIRecord) == 268,
              "host records have the host's sizes");

}  // namespace ppi::host
