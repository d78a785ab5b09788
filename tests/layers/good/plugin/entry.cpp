#include "plugin/entry.h"

#include <string>

#include "commands/run.h"
#include "common/text.h"
