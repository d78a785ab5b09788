// C prototypes of the host functions that the plug-in calls. A host includes
// this header and defines the functions with exactly these signatures, exported
// from its executable (on POSIX: linked with -rdynamic).
#pragma once

#include "host/hostfunctions.h"

#if defined(_WIN32)
#define PPI_HOST_API __declspec(dllexport)
#else
#define PPI_HOST_API __attribute__((visibility("default")))
#endif

#define PPI_HOST_PROTOTYPE_TYPED(name, result, parameters, arguments) \
  PPI_HOST_API result name parameters;
#define PPI_HOST_PROTOTYPE_UNTYPED(name)

#ifdef __cplusplus
extern "C" {
#endif
PPI_HOST_FUNCTIONS(PPI_HOST_PROTOTYPE_TYPED, PPI_HOST_PROTOTYPE_UNTYPED)
#ifdef __cplusplus
}
#endif

#undef PPI_HOST_PROTOTYPE_TYPED
#undef PPI_HOST_PROTOTYPE_UNTYPED
