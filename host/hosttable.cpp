#include "host/hosttable.h"

namespace ppi::host {
namespace {

const char* const kNames[kHostFunctionCount] = {
#define PPI_HOST_NAME_TYPED(name, result, parameters, arguments) #name,
#define PPI_HOST_NAME_UNTYPED(name) #name,
    PPI_HOST_FUNCTIONS(PPI_HOST_NAME_TYPED, PPI_HOST_NAME_UNTYPED)
#undef PPI_HOST_NAME_TYPED
#undef PPI_HOST_NAME_UNTYPED
};

// One table for the whole library, empty until the first binding.
RawFunction gEntries[kHostFunctionCount] = {};

constexpr auto kVersionIndex = static_cast<std::size_t>(HostFunction::nkGetVersionOfTessarayNK);

}  // namespace

const char* hostFunctionName(HostFunction function) {
  return kNames[static_cast<std::size_t>(function)];
}

RawFunction hostEntry(HostFunction function) {
  return gEntries[static_cast<std::size_t>(function)];
}

bool bindHostTable(HostResolver resolve, void* context) {
  if (resolve == nullptr) return false;
  RawFunction version = resolve(context, kNames[kVersionIndex]);
  if (version == nullptr) return false;
  gEntries[kVersionIndex] = version;
  for (std::size_t index = 0; index < kHostFunctionCount; ++index) {
    if (index != kVersionIndex) gEntries[index] = resolve(context, kNames[index]);
  }
  return true;
}

}  // namespace ppi::host
