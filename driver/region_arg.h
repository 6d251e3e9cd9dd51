#pragma once
#include <string>

#include "detector/quorvane.h"

// Parses "KIND:X1,Y1,X2,Y2[,X3,Y3...]" into a zero-filled region. Checks only
// the syntax (integers, pairs, 1..10 points); whether the detector can use the
// region is the detector's call. Returns an empty string on success, else why not.
std::string parse_region_arg(const std::string &arg, qv_region &region);
