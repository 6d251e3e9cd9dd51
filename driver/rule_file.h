#pragma once
#include <string>
#include <vector>

#include "detector/quorvane.h"

// Reads rule regions from a YAML file:
//
//   regions:
//     - name: shop door
//       kind: two_way_line        # or 1-5, or zone, one_way_line, loiter_zone, left_object_zone
//       points: [[1200, 450], [1200, 700]]
//
// Each region is checked like one given with --region. Returns "" and fills
// regions and names (same order), or one line naming the file and the line
// where the trouble is.
std::string read_rule_file(const std::string &path, std::vector<qv_region> &regions,
                           std::vector<std::string> &names);
