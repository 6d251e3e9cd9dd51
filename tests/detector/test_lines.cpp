// Line crossings: the segment and not its extension, the one-way direction, wobble,
// a box coasting blind.
#include <gtest/gtest.h>

#include "tests/detector/moving_boxes.h"

namespace {

using qvt::Mover;

// Left to right along y = 300 (frames 10..150, foot at x = 320 near frame 80),
// then back (at x = 320 near frame 220).
Mover there_and_back()
{
    Mover m;
    m.at(10, 40, 300).at(150, 600, 300).at(290, 40, 300);
    return m;
}

void expect_near(const cv::Vec3i &event, int frame, int code)
{
    EXPECT_NEAR(event[0], frame, 8) << "event code " << event[2];
    EXPECT_EQ(event[2], code);
}

TEST(Lines, TwoWayFiresOncePerCrossingInEachDirection)
{
    qvt::BoxScene scene;
    scene.add(there_and_back());
    qvt::Runner run(scene, {qvt::line_region(QV_REGION_LINE_TWO_WAY, {320, 200}, {320, 400})});
    run.run(300);
    const auto events = run.events(0);
    ASSERT_EQ(events.size(), 2u);
    expect_near(events[0], 80, QV_EVENT_CROSS_TWO_WAY);
    expect_near(events[1], 220, QV_EVENT_CROSS_TWO_WAY);
    EXPECT_EQ(events[0][1], events[1][1]) << "one object, one id";
}

TEST(Lines, CrossingTheExtensionIsNoEvent)
{
    qvt::BoxScene scene;
    scene.add(there_and_back());
    // The path at y = 300 passes below the first segment's end and above the
    // second's start; a slanted third one is met only on its extension too.
    qvt::Runner run(scene, {qvt::line_region(QV_REGION_LINE_TWO_WAY, {320, 100}, {320, 270}),
                            qvt::line_region(QV_REGION_LINE_TWO_WAY, {320, 330}, {320, 470}),
                            qvt::line_region(QV_REGION_LINE_ONE_WAY, {100, 100}, {200, 200})});
    run.run(300);
    EXPECT_TRUE(run.events(0).empty());
    EXPECT_TRUE(run.events(1).empty());
    EXPECT_TRUE(run.events(2).empty());
}

TEST(Lines, OneWayFiresOnlyFromPositiveToNegativeSide)
{
    qvt::BoxScene scene;
    scene.add(there_and_back());
    // s(p) = d.x * (p.y - p0.y) - d.y * (p.x - p0.x): with d pointing down (+y),
    // s > 0 left of x = 320; with d pointing up, s > 0 right of it.
    qvt::Runner run(scene, {qvt::line_region(QV_REGION_LINE_ONE_WAY, {320, 200}, {320, 400}),
                            qvt::line_region(QV_REGION_LINE_ONE_WAY, {320, 400}, {320, 200})});
    run.run(300);
    const auto down = run.events(0), up = run.events(1);
    ASSERT_EQ(down.size(), 1u);
    expect_near(down[0], 80, QV_EVENT_CROSS_ONE_WAY);
    ASSERT_EQ(up.size(), 1u);
    expect_near(up[0], 220, QV_EVENT_CROSS_ONE_WAY);
}

TEST(Lines, WobbleOnTheLineIsOneCrossing)
{
    qvt::BoxScene scene;
    Mover m;
    m.at(10, 40, 300).at(80, 320, 300);
    // Stands on the line shifting three pixels either way, then walks on.
    for (int f = 85; f <= 185; f += 5)
        m.at(f, (f / 5) % 2 ? 317.0f : 323.0f, 300);
    m.at(260, 600, 300);
    scene.add(m);
    qvt::Runner run(scene, {qvt::line_region(QV_REGION_LINE_TWO_WAY, {320, 200}, {320, 400}),
                            qvt::line_region(QV_REGION_LINE_ONE_WAY, {320, 400}, {320, 200})});
    run.run(280);
    EXPECT_EQ(run.events(0).size(), 1u);
    EXPECT_TRUE(run.events(1).empty()) << "never crossed right to left";
}

// The event comes on the frame the feet pass the line or at most two frames
// later, for slow and fast walkers, tall and short ones, in either direction.
TEST(Lines, CrossingIsReportedWithinThreeFrames)
{
    struct Walk {
        float from, to;
        int frames;
        cv::Size size;
    };
    const Walk walks[] = {{40, 600, 280, {24, 64}},  // 2 px a frame
                          {600, 40, 70, {24, 64}},   // 8 px a frame, right to left
                          {40, 600, 112, {40, 160}}, // 5 px a frame, a tall figure: a wide dead band
                          {600, 40, 140, {16, 40}}};
    for (const Walk &w : walks) {
        qvt::BoxScene scene;
        Mover m;
        m.size = w.size;
        m.at(5, w.from, 400).at(5 + w.frames, w.to, 400);
        scene.add(m);
        qvt::Runner run(scene, {qvt::line_region(QV_REGION_LINE_TWO_WAY, {321, 300}, {321, 470})});
        run.run(w.frames + 20);
        // First frame whose feet are past x = 321.
        int passed = 5;
        while ((m.foot(passed).x - 321) * (w.from - 321) > 0)
            ++passed;
        const auto events = run.events(0);
        ASSERT_EQ(events.size(), 1u) << "walk from " << w.from << " over " << w.frames << " frames";
        EXPECT_GE(events[0][0], passed) << "walk from " << w.from << " over " << w.frames << " frames";
        EXPECT_LE(events[0][0], passed + 2) << "walk from " << w.from << " over " << w.frames << " frames";
    }
}

TEST(Lines, ABoxCoastingBlindOverTheLineIsNoCrossing)
{
    // A walker stepping out of sight (a doorway, behind a van) just short of the line:
    // the box goes on a few frames and may pass it, but nobody crossed.
    for (float gap : {6.0f, 12.0f, 20.0f}) {
        qvt::BoxScene scene;
        Mover m;
        m.at(10, 40, 300).at(10 + int((320 - gap - 40) / 6), 320 - gap, 300);
        scene.add(m);
        qvt::Runner run(scene, {qvt::line_region(QV_REGION_LINE_TWO_WAY, {320, 200}, {320, 400})});
        run.run(120);
        EXPECT_TRUE(run.events(0).empty()) << "gone " << gap << " px short of the line";
    }
    // Out of sight for four frames as they pass the line (a pillar on it): the crossing
    // is told once they are seen beyond it.
    qvt::BoxScene scene;
    Mover before, after;
    before.at(10, 40, 300).at(55, 310, 300);
    after.at(60, 340, 300).at(100, 580, 300);
    scene.add(before);
    scene.add(after);
    qvt::Runner run(scene, {qvt::line_region(QV_REGION_LINE_TWO_WAY, {320, 200}, {320, 400})});
    run.run(120);
    const auto events = run.events(0);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_NEAR(events[0][0], 60, 3);
}

} // namespace
