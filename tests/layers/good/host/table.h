#pragma once

#include "common/text.h"
