#include "confounds/merge.h"

#include <vector>

#include "analysis/run.h"
