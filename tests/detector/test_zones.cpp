// Zones: enter and leave with the flag, loitering, an object left behind.
#include <gtest/gtest.h>

#include <map>

#include "tests/detector/moving_boxes.h"

namespace {

using qvt::Mover;

const std::vector<cv::Point> kSquare = {{250, 200}, {450, 200}, {450, 400}, {250, 400}};

// The id of the object reported nearest to a foot position in a frame, or -1.
int id_near(const qvt::Runner &run, int frame, cv::Point2f foot, float reach = 30)
{
    int best = -1;
    float best_d = reach;
    for (const qvt::Seen &s : run.frames()[frame]) {
        const qv_rect &b = s.object.box;
        const cv::Point2f f(b.x + b.width / 2.0f, static_cast<float>(b.y + b.height));
        const float d = static_cast<float>(cv::norm(f - foot));
        if (d < best_d) {
            best_d = d;
            best = s.object.id;
        }
    }
    return best;
}

const qv_object *find(const qvt::Runner &run, int frame, int id)
{
    for (const qvt::Seen &s : run.frames()[frame])
        if (s.object.id == id)
            return &s.object;
    return nullptr;
}

TEST(Zones, EnterAndLeaveWithTheFlagInBetween)
{
    qvt::BoxScene scene;
    Mover m;
    m.at(10, 40, 300).at(150, 600, 300); // edge x = 250 near frame 62, x = 450 near frame 112
    scene.add(m);
    qvt::Runner run(scene, {qvt::polygon_region(QV_REGION_ZONE, kSquare)});
    run.run(170);
    const auto events = run.events(0);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0][2], QV_EVENT_ENTER);
    EXPECT_NEAR(events[0][0], 62, 8);
    EXPECT_EQ(events[1][2], QV_EVENT_LEAVE);
    EXPECT_NEAR(events[1][0], 112, 8);
    const int id = events[0][1];
    for (int f = 0; f < 170; ++f) {
        const qv_object *o = find(run, f, id);
        if (o == nullptr)
            continue;
        const bool inside = f >= events[0][0] && f <= events[1][0];
        EXPECT_EQ(o->region_flag[0], inside ? 1 : 0) << "frame " << f;
    }
}

TEST(Zones, LoiterFiresOnceAfterThreeHundredFramesInside)
{
    qvt::BoxScene scene;
    Mover m;
    m.at(10, 40, 300).at(88, 350, 300).at(418, 350, 300).at(480, 600, 300); // inside from about frame 63
    scene.add(m);
    qvt::Runner run(scene, {qvt::polygon_region(QV_REGION_LOITER, kSquare)});
    run.run(490);
    const auto events = run.events(0);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0][2], QV_EVENT_LOITER);
    EXPECT_NEAR(events[0][0], 63 + 300, 10);
    // Standing still for 330 frames it never melted into the background.
    const int id = events[0][1];
    for (int f = 100; f < 418; ++f)
        EXPECT_NE(find(run, f, id), nullptr) << "lost at frame " << f;
}

TEST(Zones, APassingObjectDoesNotLoiter)
{
    qvt::BoxScene scene;
    Mover m;
    m.at(10, 100, 300).at(190, 600, 300); // about 90 frames inside the square
    scene.add(m);
    qvt::Runner run(scene, {qvt::polygon_region(QV_REGION_LOITER, kSquare)});
    run.run(200);
    EXPECT_TRUE(run.events(0).empty());
}

TEST(Zones, AnObjectLyingStillFiresOnce)
{
    qvt::BoxScene scene;
    Mover m;
    m.at(10, 40, 300).at(88, 350, 300).at(330, 350, 300); // still from frame 88
    scene.add(m);
    qvt::Runner run(scene, {qvt::polygon_region(QV_REGION_LEFT_OBJECT, kSquare)});
    run.run(330);
    const auto events = run.events(0);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0][2], QV_EVENT_LEFT_OBJECT);
    EXPECT_NEAR(events[0][0], 88 + 150, 10);
}

TEST(Zones, ABagPutDownBecomesItsOwnObjectAndFiresOnce)
{
    qvt::BoxScene scene;
    Mover person, bag;
    person.at(10, 40, 300).at(100, 300, 300).at(110, 300, 300).at(190, 620, 300);
    bag.size = cv::Size(26, 16);
    bag.grey = 30;
    bag.at(10, 60, 300).at(100, 320, 300).at(400, 320, 300); // carried beside the feet, put down at frame 100
    scene.add(person);
    scene.add(bag);
    qvt::Runner run(scene, {qvt::polygon_region(QV_REGION_LEFT_OBJECT, kSquare)});
    run.run(400);
    const auto events = run.events(0);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0][2], QV_EVENT_LEFT_OBJECT);
    // It can only be told apart once its owner has stepped away.
    EXPECT_GE(events[0][0], 100 + 150);
    EXPECT_LE(events[0][0], 100 + 200);
    EXPECT_EQ(id_near(run, events[0][0], {320, 300}), events[0][1]);
    EXPECT_NE(id_near(run, 399, {320, 300}), -1) << "the bag stays reported";
}

} // namespace

namespace {

// Entering the picture inside a zone that reaches the frame's edge is an entry;
// appearing in its middle (out from cover, a piece of something) is not, but leaving is.
TEST(Zones, FirstSeenInsideEntersOnlyFromTheFrameEdge)
{
    qvt::BoxScene scene;
    Mover from_edge, from_cover;
    from_edge.at(10, -20, 200).at(100, 340, 200);
    from_cover.at(10, 120, 380).at(100, 480, 380);
    scene.add(from_edge);
    scene.add(from_cover);
    qvt::Runner run(scene, {qvt::polygon_region(QV_REGION_ZONE, {{0, 100}, {300, 100}, {300, 460}, {0, 460}})});
    run.run(110);
    std::vector<int> codes_top, codes_bottom;
    for (const cv::Vec3i &e : run.events(0)) {
        const int edge_id = id_near(run, e[0], from_edge.foot(e[0]), 40);
        (e[1] == edge_id ? codes_top : codes_bottom).push_back(e[2]);
    }
    EXPECT_EQ(codes_top, (std::vector<int>{QV_EVENT_ENTER, QV_EVENT_LEAVE}));
    EXPECT_EQ(codes_bottom, (std::vector<int>{QV_EVENT_LEAVE}));
}

} // namespace
