// Figures seen in pieces: legs the shade of the ground, a hand apart from the
// body, and a walker passing through another's shadow.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "tests/detector/moving_boxes.h"

namespace {

using qvt::Mover;

std::set<int> ids(const qvt::Runner &run)
{
    std::set<int> out;
    for (const auto &frame : run.frames())
        for (const qvt::Seen &s : frame)
            out.insert(s.object.id);
    return out;
}

TEST(Figures, ShoesBelowLegsTheShadeOfTheGroundAreTheFigures)
{
    // Coming up into the frame from below, 2 px a frame: the feet reach y = 300 at
    // frame 140. Only a sliver of the legs shows; the shoes are seen apart from the body.
    qvt::BoxScene scene;
    Mover m;
    m.size = {30, 100};
    m.patches = {{{0, 0.55f, 1, 0.37f}, 105}};
    m.at(10, 320, 560).at(200, 320, 180);
    scene.add(m);
    qvt::Runner run(scene, {qvt::line_region(QV_REGION_LINE_TWO_WAY, {100, 300}, {540, 300})});
    run.run(210);
    const auto events = run.events(0);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_NEAR(events[0][0], 140, 8) << "a box ending at the knees crosses about 22 frames early";
    int near_feet = 0, seen = 0;
    for (int f = 80; f < 190; ++f)
        for (const qvt::Seen &s : run.frames()[f]) {
            ++seen;
            near_feet += std::abs(s.object.box.y + s.object.box.height - m.foot(f).y) <= 8;
        }
    EXPECT_GE(near_feet, seen * 9 / 10) << near_feet << " of " << seen;
}

TEST(Figures, AHandBesideTheBodyIsNoObjectOfItsOwn)
{
    qvt::BoxScene scene;
    Mover m;
    m.size = {30, 90};
    // At the back of each swing the hand shows apart from the body for 20 frames,
    // then is hidden behind it for 20.
    m.patches = {{{-0.6f, 0.4f, 0.35f, 0.2f}, 230, 40}};
    m.at(10, 40, 300).at(150, 600, 300);
    scene.add(m);
    qvt::Runner run(scene, {qvt::line_region(QV_REGION_LINE_TWO_WAY, {320, 200}, {320, 400})});
    run.run(160);
    EXPECT_EQ(ids(run).size(), 1u);
    ASSERT_EQ(run.events(0).size(), 1u);
    EXPECT_NEAR(run.events(0)[0][0], 80, 8);
}

TEST(Figures, ADarkCoatWhereAShadowPassedIsStillSeenWhole)
{
    // The first walker's shadow falls towards the camera; a second one in dark
    // clothes meets it there going the other way (x = 320 at frame 130), and walks
    // on over ground the shadow crossed 40 frames before (x = 250 at frame 160),
    // over lines that only its feet reach.
    qvt::BoxScene scene;
    Mover lit, dark;
    lit.at(10, 40, 260).at(250, 600, 260);
    lit.shadow = 0.5f;
    lit.shadow_size = {22, 80};
    lit.shadow_offset = {-11, 0};
    dark.grey = 75;
    dark.size = {26, 84};
    dark.at(10, 600, 320).at(250, 40, 320);
    scene.add(lit);
    scene.add(dark);
    qvt::Runner run(scene, {qvt::line_region(QV_REGION_LINE_TWO_WAY, {320, 300}, {320, 400}),
                            qvt::line_region(QV_REGION_LINE_TWO_WAY, {250, 300}, {250, 400})});
    run.run(260);
    const auto met = run.events(0), after = run.events(1);
    ASSERT_EQ(met.size(), 1u);
    EXPECT_NEAR(met[0][0], 130, 8);
    ASSERT_EQ(after.size(), 1u) << "the feet were lost where the shadow had been";
    EXPECT_NEAR(after[0][0], 160, 8);
}

} // namespace
