// The host functions, served by the current host model. A host executable that
// links this file (with -rdynamic) exports them under their C names.
#include <cstdio>

#include "host/hostprototypes.h"
#include "standin/hostmodel.h"

namespace {

using standin::HostModel;

// A host function that calls `method` on the current model; with no model it
// does nothing and answers zero (or null).
template <typename Result, typename... Parameters>
auto onCurrentModel(Result (HostModel::*method)(Parameters...)) {
  return [method](Parameters... arguments) -> Result {
    HostModel* model = standin::currentHostModel();
    if (model == nullptr) return Result();
    return (model->*method)(arguments...);
  };
}

}  // namespace

// The host exports every function of its interface. The stand-in serves those
// the plug-in calls from the model; the others say so when called.
#define STANDIN_SERVED(name, result, parameters, arguments) \
  extern "C" result name parameters { return onCurrentModel(&HostModel::name) arguments; }
#define STANDIN_NOT_SERVED(name)                                                   \
  extern "C" PPI_HOST_API void name(void) {                                        \
    std::fprintf(stderr, "[host] %s is not served by the stand-in host\n", #name); \
  }
PPI_HOST_FUNCTIONS(STANDIN_SERVED, STANDIN_NOT_SERVED)
#undef STANDIN_SERVED
#undef STANDIN_NOT_SERVED
