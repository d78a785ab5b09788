// The plug-in's name and version, as the host lists it and as provenance
// records and the QC report name it.
#pragma once

namespace ppi {

constexpr char kPluginShortName[] = "PPI plugin";
constexpr char kPluginVersion[] = "1.30";

}  // namespace ppi
