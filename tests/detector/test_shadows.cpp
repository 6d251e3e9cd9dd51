// Cast shadows: a shadow reaching over a line is not a crossing, dark clothing is not
// taken for a shadow, and shade cast in from outside the frame is no object.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "tests/detector/moving_boxes.h"

namespace {

using qvt::Mover;

// How far the reported feet lay from the true ones, over the frames the mover was
// followed well inside the frame: the median and the share within `near` pixels.
struct FootError {
    float median = 1e9f;
    float share_near = 0;
};

FootError foot_error(const qvt::Runner &run, const Mover &m, int from, int to, float near)
{
    std::vector<float> errors;
    for (int f = from; f < to; ++f) {
        const cv::Point2f truth = m.foot(f);
        for (const qvt::Seen &s : run.frames()[f]) {
            const qv_rect &b = s.object.box;
            if (std::abs(b.x + b.width / 2.0f - truth.x) < m.size.width)
                errors.push_back(std::abs(float(b.y + b.height) - truth.y));
        }
    }
    FootError e;
    if (errors.empty())
        return e;
    std::nth_element(errors.begin(), errors.begin() + errors.size() / 2, errors.end());
    e.median = errors[errors.size() / 2];
    e.share_near = float(std::count_if(errors.begin(), errors.end(), [&](float v) { return v <= near; })) /
                   float(errors.size());
    return e;
}

// A walker along y = 260 whose shadow falls 80 px towards the camera, over a line at y = 300.
Mover shadowed_walker(float shadow)
{
    Mover m;
    m.at(10, 40, 260).at(250, 600, 260);
    m.shadow = shadow;
    m.shadow_size = {22, 80};
    m.shadow_offset = {-11, 0};
    return m;
}

TEST(Shadows, AShadowOverTheLineIsNoCrossingAndLeavesTheFeetWhereTheyAre)
{
    for (float shadow : {0.45f, 0.7f}) {
        SCOPED_TRACE(testing::Message() << "shadow keeps " << shadow << " of the light");
        qvt::BoxScene scene;
        const Mover m = shadowed_walker(shadow);
        scene.add(m);
        qvt::Runner run(scene, {qvt::line_region(QV_REGION_LINE_TWO_WAY, {60, 300}, {580, 300})});
        run.run(260);
        EXPECT_TRUE(run.events(0).empty());
        const FootError e = foot_error(run, m, 60, 220, 8);
        EXPECT_LE(e.median, 4.0f);
        EXPECT_GE(e.share_near, 0.9f);
    }
}

TEST(Shadows, DarkClothingOfAShadowsShadeIsStillAnObject)
{
    // Half the ground's brightness, like a shadow, but one flat shade: the ground's
    // texture does not show through it.
    qvt::BoxScene scene;
    Mover m;
    m.grey = 52;
    m.at(10, 40, 300).at(150, 600, 300);
    scene.add(m);
    qvt::Runner run(scene, {qvt::line_region(QV_REGION_LINE_TWO_WAY, {320, 200}, {320, 400})});
    run.run(160);
    ASSERT_EQ(run.events(0).size(), 1u);
    EXPECT_NEAR(run.events(0)[0][0], 80, 8);
    const FootError e = foot_error(run, m, 30, 140, 6);
    EXPECT_LE(e.median, 4.0f);
}

// Something dark and low led at the walker's side keeps its place beside the feet as
// a shadow's far end would, but is flat dark paint over the ground's texture: it
// stays an object of its own, and crosses the line too.
TEST(Shadows, SomethingDarkLedBesideAWalkerIsNoShadow)
{
    qvt::BoxScene scene;
    Mover walker;
    walker.at(10, 40, 300).at(150, 600, 300);
    Mover led;
    led.size = {36, 18};
    led.grey = 52;
    led.at(10, 110, 300).at(150, 670, 300);
    scene.add(walker);
    scene.add(led);
    qvt::Runner run(scene, {qvt::line_region(QV_REGION_LINE_TWO_WAY, {320, 200}, {320, 400})});
    run.run(160);
    std::set<int> ids;
    for (const cv::Vec3i &e : run.events(0))
        ids.insert(e[1]);
    EXPECT_EQ(run.events(0).size(), 2u);
    EXPECT_EQ(ids.size(), 2u);
    int seen_led = 0;
    for (int f = 60; f < 120; ++f)
        for (const qvt::Seen &s : run.frames()[f])
            seen_led += std::abs(s.object.box.x + s.object.box.width / 2.0f - led.foot(f).x) < 12 &&
                        s.object.box.height < 40;
    EXPECT_GE(seen_led, 54) << "frames of 60 the led thing was reported";
}

// Someone walking along y = 200 from x = from_x, 440 px in 140 frames, whose shadow
// falls flat to the right: it teaches the detector the side the shadows fall to.
Mover sunlit_walker(float from_x)
{
    Mover m;
    m.at(10, from_x, 200).at(150, from_x + 440, 200);
    m.shadow = 0.5f;
    m.shadow_size = {70, 14};
    m.shadow_offset = {4, -10};
    return m;
}

// With a low sun, someone standing just outside the frame lays their shadow in over
// the edge the shadows point away from: it is no object, until they walk in.
TEST(Shadows, ShadeReachingInFromOutsideIsNoObjectUntilSomeoneComesIn)
{
    qvt::BoxScene scene;
    scene.pave({0, 300, 160, 140}, 110);
    const Mover sunlit = sunlit_walker(120);
    Mover outside = sunlit;
    outside.keys.clear();
    outside.shadow_size = {54, 24};
    outside.shadow_offset = {-2, -16};
    outside.at(60, -18, 330).at(220, -18, 410).at(280, 220, 410);
    scene.add(sunlit);
    scene.add(outside);
    qvt::Runner run(scene, {});
    run.run(290);
    int shade = 0, walker = 0;
    for (int f = 100; f < 220; ++f)
        for (const qvt::Seen &s : run.frames()[f])
            shade += s.object.box.x < 40 && s.object.box.y > 300;
    for (int f = 240; f < 280; ++f)
        walker += std::any_of(run.frames()[f].begin(), run.frames()[f].end(), [&](const qvt::Seen &s) {
            return std::abs(s.object.box.x + s.object.box.width / 2.0f - outside.foot(f).x) < 16;
        });
    EXPECT_LE(shade, 10) << "frames of 120 the shade was reported";
    EXPECT_GE(walker, 36) << "frames of 40 the walker coming in was reported";
}

// Once the shadows are known to fall to the right, someone comes in at the top edge
// with the far end of their shadow lying apart, on even paving: while the body is cut
// by the edge it is no upright caster, and the shade must not be reported meanwhile,
// nor later while it is proven to keep its place beside them.
TEST(Shadows, TheFarEndOfAShadowComingInIsNoObject)
{
    qvt::BoxScene scene;
    scene.pave({190, 0, 140, 480}, 110);
    const Mover sunlit = sunlit_walker(360);
    Mover coming;
    coming.at(160, 200, -6).at(330, 200, 420);
    coming.shadow = 0.5f;
    coming.shadow_size = {60, 14};
    coming.shadow_offset = {30, -14};
    scene.add(sunlit);
    scene.add(coming);
    qvt::Runner run(scene, {});
    run.run(330);
    int shade = 0, walker = 0;
    for (int f = 160; f < 330; ++f)
        for (const qvt::Seen &s : run.frames()[f]) {
            const float x = s.object.box.x + s.object.box.width / 2.0f;
            shade += x > coming.foot(f).x + 30;
            walker += f >= 200 && std::abs(x - coming.foot(f).x) < 16;
        }
    EXPECT_LE(shade, 5) << "frames of 170 the shade was reported";
    EXPECT_GE(walker, 120) << "frames of 130 the walker was reported";
}

} // namespace
