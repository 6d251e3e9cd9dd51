#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "detector/quorvane.h"

// What has happened at one region so far.
struct RegionCount {
    int64_t positive_to_negative = 0;  // lines: crossings from s > 0 to s < 0
    int64_t negative_to_positive = 0;  // lines: the other way
    int64_t entries = 0;               // zones: objects that came in
    std::vector<int32_t> inside;       // zones: ids inside on the latest frame
};

// Counts line crossings per direction and zone entries, and keeps who is in
// each zone now. Forbidden zones follow the detector's own enter and leave
// events; loiter and left-object zones, for which the detector reports no
// entry, are judged on the objects' reference points: an entry is an object
// seen outside and then inside.
class Counters {
public:
    explicit Counters(std::vector<qv_region> regions);

    // Takes one frame's result.
    void update(const qv_result &result);

    const std::vector<RegionCount> &counts() const { return counts_; }

    // Short text for beside region r on the frame: "+ to - 3   - to + 1" or "in 4  now 2".
    std::string label(size_t r) const;

    // One console line for region r: "counts: region 1 door (two_way_line): ...".
    std::string summary(size_t r, const std::string &name) const;

    // The JSON object holding every region's counts, without a newline.
    std::string json(const std::vector<std::string> &names, int64_t frames) const;

private:
    std::vector<qv_region> regions_;
    std::vector<RegionCount> counts_;
    std::vector<std::map<int32_t, bool>> was_inside_;  // per geometric zone: id -> inside on its last frame
};
