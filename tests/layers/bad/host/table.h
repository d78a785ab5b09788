#pragma once

#include "common/text.h"
#include "../plugin/entry.h"
