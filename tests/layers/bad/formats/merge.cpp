#include "formats/merge.h"

#include <vector>

#include "run/step.h"
