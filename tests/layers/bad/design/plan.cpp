// A pure folder that reaches into the host: planted on purpose.
#include "design/plan.h"

#include "host/table.h"
