#pragma once
#include <cstdio>
#include <string>

#include "detector/quorvane.h"

// Prints one console line per event (objects in order, then regions in order)
// to out and returns the GBK caption of the last event, or "" when the frame
// has none.
std::string report_events(const qv_result &result, int region_count, std::FILE *out);
