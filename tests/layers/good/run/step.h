#pragma once

#include "design/plan.h"
#include "host/table.h"
