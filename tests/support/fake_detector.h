#pragma once
#include <functional>
#include <vector>

#include "detector/quorvane.h"

// A scripted stand-in for the detector library: it counts calls, remembers
// what it was given and returns prepared results.
namespace fake {

struct Calls {
    int init = 0;
    int init_region = 0;
    int detect = 0;
    int init_before_detect = 0;        // qv_init calls made before the first qv_detect
    qv_config config{};                // as received by the last qv_init
    int32_t region_count = 0;          // as received by qv_init_region
    int32_t region_reserved = -1;      // its fourth argument
    std::vector<qv_region> regions;    // copied at qv_init_region
    const qv_region *region_address = nullptr;
    bool same_region_address = true;   // every qv_detect got the installed array
    bool same_image_size = true;       // every qv_detect image matched qv_init's
};

// Clears the script, the failure switches and the counters.
void reset();
// Result k is returned by detect call k; the last one repeats; none: count 0.
void set_results(std::vector<qv_result> results);
void fail_init(bool fail);
void reject_regions(bool reject);
// Raises the signal inside detect call k (counting from 0), as a user's Ctrl-C would arrive mid-frame.
void raise_during_detect(int k, int signal_number);
// Called inside every detect call with its number (from 0) and the image given,
// e.g. to read a numbered frame or to make the work slow.
void on_detect(std::function<void(int, const qv_image &)> hook);
const Calls &calls();

// An all-zero result with count objects, ids 0..count-1 and a small box each.
qv_result make_result(int count);

} // namespace fake
