// A pure folder: its own files and common/ only.
#pragma once

#include "common/text.h"
#include "design/names.h"
