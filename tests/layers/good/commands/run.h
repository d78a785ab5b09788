#pragma once

#include "../common/text.h"
#include "host/table.h"
#include "run/step.h"
