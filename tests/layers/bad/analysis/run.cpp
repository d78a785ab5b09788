#include "analysis/run.h"

#include "confounds/merge.h"
