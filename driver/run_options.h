#pragma once
#include <string>
#include <vector>

#include "detector/quorvane.h"

// Everything a run is configured with. The defaults are the program's
// behaviour when started without arguments.
struct RunOptions {
    std::string input = "../../data/test1.mp4";
    std::string output = "result_2019_9_23.avi";
    std::vector<qv_region> regions;   // filled with the default line when empty
    int max_frames = 2001;
    std::string json_path;            // empty: no JSON file
    std::string font_path;            // empty: look the caption font up
    bool show_window = true;          // false: never open the window
    bool pause_at_end = true;
};

// The region used when none is given: a two-way line at column 1200 from row 450 to 700.
qv_region default_region();
