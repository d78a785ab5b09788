// Formats text.
#include "common/text.h"
#include "host/table.h"
