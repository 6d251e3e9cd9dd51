#pragma once
#include <string>
#include <vector>

#include "detector/quorvane.h"
#include "driver/mqtt_target.h"

// Everything a run is configured with. The defaults are the program's
// behaviour when started without arguments.
struct RunOptions {
    std::string input = "../../data/test1.mp4";
    std::string output = "result_2019_9_23.avi";
    std::vector<qv_region> regions;   // filled with the default line when empty
    std::vector<std::string> region_names;  // one per region from --rules; empty for --region
    int max_frames = 2001;            // 0: no limit
    std::string json_path;            // empty: no JSON file
    std::string font_path;            // empty: look the caption font up
    bool show_window = true;          // false: never open the window
    bool pause_at_end = true;

    std::string events_path;          // empty: no event log
    std::string snapshots_dir;        // empty: no snapshots
    std::string preview_path;         // set: write the first frame with the regions as PNG and stop
    bool draw_counters = false;       // counts drawn beside each region
    bool quiet = false;               // no per-frame "detect time" lines
    bool no_video = false;            // no output video at all
    double caption_hold_s = 0.0;      // keep the last caption this long; 0: its own frame only

    double segment_minutes = 0.0;     // > 0: a new recording file every this many minutes of video
    int keep_segments = 0;            // > 0: only the newest this many segments stay on disk

    bool reconnect = false;           // reopen a lost stream or camera with backoff
    MqttTarget mqtt;                  // host empty: no MQTT; password read from --mqtt-password-file
};

// The region used when none is given: a two-way line at column 1200 from row 450 to 700.
qv_region default_region();
