// Text helpers; they never #include "plugin/entry.h".
#pragma once

// #include "host/table.h"
#include <cstring>
