// The host function table: one entry per host function name, in the order of
// host/hostfunctions.h, filled by the binding (host/binding.h). Only the typed
// host operations (host/hostapi.h) call through it.
#pragma once

#include <cstddef>

#include "host/hostfunctions.h"

namespace ppi::host {

// An untyped function address, as a module look-up returns it.
using RawFunction = void (*)();

enum class HostFunction : int {
#define PPI_HOST_ENUM_TYPED(name, result, parameters, arguments) name,
#define PPI_HOST_ENUM_UNTYPED(name) name,
  PPI_HOST_FUNCTIONS(PPI_HOST_ENUM_TYPED, PPI_HOST_ENUM_UNTYPED)
#undef PPI_HOST_ENUM_TYPED
#undef PPI_HOST_ENUM_UNTYPED
};

// The signatures of the entries that the plug-in calls, one alias per name.
namespace signature {
#define PPI_HOST_SIGNATURE_TYPED(name, result, parameters, arguments) \
  using name = result parameters;
#define PPI_HOST_SIGNATURE_UNTYPED(name)
PPI_HOST_FUNCTIONS(PPI_HOST_SIGNATURE_TYPED, PPI_HOST_SIGNATURE_UNTYPED)
#undef PPI_HOST_SIGNATURE_TYPED
#undef PPI_HOST_SIGNATURE_UNTYPED
}  // namespace signature

constexpr std::size_t kHostFunctionCount = 0
#define PPI_HOST_COUNT_TYPED(name, result, parameters, arguments) +1
#define PPI_HOST_COUNT_UNTYPED(name) +1
    PPI_HOST_FUNCTIONS(PPI_HOST_COUNT_TYPED, PPI_HOST_COUNT_UNTYPED);
#undef PPI_HOST_COUNT_TYPED
#undef PPI_HOST_COUNT_UNTYPED

static_assert(kHostFunctionCount == 190, "the host exports 190 functions");

// The exact export name of an entry.
const char* hostFunctionName(HostFunction function);

// The address bound for an entry, or null when the entry is empty.
RawFunction hostEntry(HostFunction function);

// Looks a name up in the host; returns null when the host does not export it.
using HostResolver = RawFunction (*)(void* context, const char* name);

// Fills the table through the resolver: the version function first (false, and
// nothing written, when it is missing), then every other name, found or empty.
bool bindHostTable(HostResolver resolve, void* context);

}  // namespace ppi::host
