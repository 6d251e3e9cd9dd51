// Sudden exposure changes (auto-exposure reacting to something bright, a cloud,
// lights): no blind spell, no false object or event, and the walkers keep their ids.
#include <gtest/gtest.h>

#include <map>

#include "tests/detector/moving_boxes.h"

namespace {

using qvt::Mover;

struct Step {
    float gain;
    int ramp; // frames
};

// Two walkers, one light and one dark, cross the frame while the exposure steps
// down by 40% and back up; the light one crosses a line after the first step.
void expect_unbroken(const Step &down, const Step &up)
{
    qvt::BoxScene scene;
    Mover light, dark;
    light.at(10, 40, 300).at(290, 600, 300);
    dark.at(10, 600, 420).at(290, 40, 420);
    dark.grey = 25;
    scene.add(light);
    scene.add(dark);
    scene.expose(100, down.gain, down.ramp);
    scene.expose(200, up.gain, up.ramp);
    qvt::Runner run(scene, {qvt::line_region(QV_REGION_LINE_TWO_WAY, {400, 200}, {400, 380})});
    run.run(290);
    const std::string what = "step to " + std::to_string(down.gain) + " over " + std::to_string(down.ramp) + " frames";

    // Each walker: the id it had before the step, seen again within three frames at any time.
    std::map<int, int> last_seen; // id -> frame
    std::map<int, int> ids;       // id -> frames reported
    for (int f = 60; f < 280; ++f) {
        const auto &objects = run.frames()[f];
        EXPECT_LE(objects.size(), 2u) << what << ": a false object at frame " << f;
        for (const qvt::Seen &s : objects) {
            ++ids[s.object.id];
            last_seen[s.object.id] = f;
        }
        for (const auto &[id, seen] : last_seen) {
            if (f < 275) {
                EXPECT_LE(f - seen, 3) << what << ": object " << id << " unseen since frame " << seen;
            }
        }
        if (f > 70) {
            for (auto it = last_seen.begin(); it != last_seen.end();)
                it = f - it->second > 10 ? last_seen.erase(it) : std::next(it);
        }
    }
    EXPECT_EQ(ids.size(), 2u) << what << ": one id per walker";
    const auto events = run.events(0);
    ASSERT_EQ(events.size(), 1u) << what;
    EXPECT_NEAR(events[0][0], 10 + (400 - 40) * 280 / 560, 4) << what;
}

TEST(Exposure, StepsOfFortyPercentLeaveNoBlindSpell)
{
    expect_unbroken({0.6f, 1}, {0.84f, 1});  // at once
    expect_unbroken({0.6f, 4}, {0.84f, 4});  // over a few frames
    expect_unbroken({1.4f, 3}, {1.0f, 3});   // brighter, the light walker clipped
    expect_unbroken({0.6f, 15}, {0.84f, 30}); // auto-exposure settling over half a second and a second
}

} // namespace
