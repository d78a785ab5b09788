// Not a library folder: may include anything.
#include "plugin/entry.h"
