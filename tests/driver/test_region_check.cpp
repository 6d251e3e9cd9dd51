// Regions are judged whole before any file is touched: shape at parse time, frame fit after the first frame.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "driver/region_arg.h"
#include "driver/region_check.h"

namespace {

// The shape verdict for a --region text that parses.
std::string shape(const std::string &arg)
{
    qv_region region;
    const std::string syntax = parse_region_arg(arg, region);
    EXPECT_EQ(syntax, "") << arg;
    return check_region_shape(region);
}

} // namespace

TEST(RegionShape, UsableRegionsPass)
{
    for (const char *arg : {"3:1200,450,1200,700", "2:0,0,1,0", "1:0,0,100,0,100,100",
                            "4:0,0,100,0,100,100,50,20,0,100",   // concave
                            "5:10,10,10,10,60,10,60,60",         // a corner given twice in a row
                            "1:0,0,2147483647,0,2147483647,2147483647,-2147483648,2147483647"})
        EXPECT_EQ(shape(arg), "") << arg;
}

TEST(RegionShape, EachFaultIsNamed)
{
    struct Case {
        const char *arg;
        const char *says;
    };
    for (const Case &c : std::vector<Case>{
             {"0:1,1,2,2", "kind 0 is not 1-5"},
             {"6:1,1,2,2", "kind 6 is not 1-5"},
             {"3:1,1,2,2,3,3", "exactly 2 points, got 3"},
             {"2:5,5", "exactly 2 points, got 1"},
             {"1:1,1,2,2", "3 to 10 points, got 2"},
             {"3:7,9,7,9", "two end points are the same"},
             {"1:0,0,10,10,20,20", "no area"},
             {"4:5,5,5,5,5,5", "no area"},
             {"1:0,0,100,100,100,0,0,100", "crosses itself: its edges 1 and 3 cross"},  // a bow tie
             {"5:0,0,100,0,50,0,50,50", "folds back"},                                  // a spike along an edge
             {"1:0,0,100,0,100,100,0,100,50,0", "crosses itself"},                      // touches its own edge
             {"1:0,0,-2147483648,2147483647,2147483647,2147483647,-2147483648,0", "crosses itself"}}) {
        const std::string verdict = shape(c.arg);
        EXPECT_NE(verdict.find(c.says), std::string::npos) << c.arg << " -> " << verdict;
    }
}

TEST(RegionShape, FramePointsAreCheckedAgainstTheProbedSize)
{
    qv_region line, zone;
    ASSERT_EQ(parse_region_arg("3:0,0,639,479", line), "");
    ASSERT_EQ(parse_region_arg("1:10,10,100,10,640,300", zone), "");
    EXPECT_EQ(check_regions_in_frame({line}, cv::Size(640, 480)), "");
    EXPECT_EQ(check_regions_in_frame({line, zone}, cv::Size(640, 480)),
              "region 2 point 3 (640,300) lies outside the 640x480 frame (x 0-639, y 0-479)");
    EXPECT_NE(check_regions_in_frame({line}, cv::Size(639, 480)).find("region 1 point 2 (639,479)"),
              std::string::npos);
}
