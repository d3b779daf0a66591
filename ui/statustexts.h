// SPDX-License-Identifier: MIT
#pragma once
// The status texts live beside the unit session; the windows still include them from here.
#include "link/statustexts.h"
