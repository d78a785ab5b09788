#include "run/step.h"

#include "formats/merge.h"
