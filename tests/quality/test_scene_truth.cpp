// The scene generator's own truth: rendering is deterministic and the true boxes and
// events are what the quality tests take them to be.
#include "tests/scenes/scene.h"

#include "detector/quorvane.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

using qvs::Figure;
using qvs::Scene;

namespace {

// A quiet 320x240 scene with one rule region and no noise.
Scene quiet_scene(int kind, std::vector<cv::Point> points, int frames = 300)
{
    Scene s("test", 320, 240, frames, 7);
    s.effects().noise_sigma = 0;
    s.add_region(kind, std::move(points));
    return s;
}

Figure walker(cv::Point2f from, cv::Point2f to, int start = 5, float speed = 2)
{
    Figure f;
    f.height = 60;
    f.head = 20, f.torso = 230, f.legs = 10, f.shoes = 240;
    f.path.push_back({start, from});
    f.walk_to(to, speed);
    return f;
}

std::vector<int> codes(const Scene &s)
{
    std::vector<int> out;
    for (const qvs::TruthEvent &e : s.events())
        out.push_back(e.code);
    return out;
}

}  // namespace

TEST(SceneTruth, RenderingIsAPureFunctionOfSeedAndFrame)
{
    const Scene a = qvs::make_scene(qvs::SceneKind::Nuisance, 3);
    const Scene b = qvs::make_scene(qvs::SceneKind::Nuisance, 3);
    const Scene c = qvs::make_scene(qvs::SceneKind::Nuisance, 4);
    cv::Mat fa, fb, fc, again;
    a.render(200, fa);
    a.render(10, again);  // another frame in between must not matter
    b.render(200, fb);
    c.render(200, fc);
    EXPECT_EQ(cv::norm(fa, fb, cv::NORM_INF), 0);
    EXPECT_GT(cv::norm(fa, fc, cv::NORM_L1), 0);

    // A caller's non-continuous view is replaced by a continuous frame of the right size.
    cv::Mat big(400, 700, CV_8U), view = big(cv::Rect(5, 5, 640, 360));
    a.render(200, view);
    EXPECT_TRUE(view.isContinuous());
    EXPECT_EQ(view.type(), CV_8UC1);
    EXPECT_EQ(view.size(), cv::Size(640, 360));
    EXPECT_EQ(cv::norm(view, fa, cv::NORM_INF), 0);
}

TEST(SceneTruth, TrueBoxIsThePaintedExtentAndItsBottomCentreTheFeet)
{
    Scene s = quiet_scene(3, {{10, 10}, {300, 10}});
    s.add_figure(walker({40, 150}, {280, 160}));
    cv::Mat empty, frame;
    s.render(0, empty);  // the figure is not there yet
    for (int f : {20, 37, 60, 91}) {
        s.render(f, frame);
        cv::Mat diff;
        cv::absdiff(frame, empty, diff);
        const cv::Rect painted = cv::boundingRect(diff > 0);
        const cv::Rect truth = s.figure_box(1, f);
        EXPECT_EQ(painted, truth) << "frame " << f << " painted " << painted << " truth " << truth;
        const cv::Point2f foot = s.figure(1).foot_at(f);
        EXPECT_NEAR(truth.x + truth.width / 2.0, foot.x, 2.0) << "frame " << f;
        EXPECT_NEAR(truth.y + truth.height, foot.y, 1.5) << "frame " << f;
        ASSERT_EQ(s.truth(f).size(), 1u);
        EXPECT_TRUE(s.truth(f)[0].visible);
    }
}

TEST(SceneTruth, OneWayLineEventsFollowTheSideRule)
{
    // d = (0, 160) points down: s > 0 on the left, so only left-to-right alarms.
    Scene s = quiet_scene(QV_REGION_LINE_ONE_WAY, {{160, 40}, {160, 200}});
    s.add_figure(walker({60, 150}, {260, 150}));       // left to right: event
    s.add_figure(walker({260, 120}, {60, 120}));       // right to left: none
    s.add_figure(walker({60, 30}, {260, 30}));         // above the end: none
    s.add_figure(walker({60, 215}, {260, 225}, 100));  // below the end: none
    const std::vector<qvs::TruthEvent> ev = s.events();
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].code, QV_EVENT_CROSS_ONE_WAY);
    EXPECT_EQ(ev[0].figure, 1);
    EXPECT_EQ(ev[0].frame, 5 + 51);  // on the line after 100 px at 2 px a frame, across one frame later
}

TEST(SceneTruth, TwoWayLineCountsEveryCrossingInTheBand)
{
    Scene s = quiet_scene(QV_REGION_LINE_TWO_WAY, {{160, 40}, {160, 200}});
    Figure back = walker({60, 150}, {260, 150});
    back.walk_to({60, 140}, 2);  // and back again: two crossings
    s.add_figure(back);
    s.add_figure(walker({60, 30}, {260, 30}));
    EXPECT_EQ(codes(s), (std::vector<int>{QV_EVENT_CROSS_TWO_WAY, QV_EVENT_CROSS_TWO_WAY}));
}

TEST(SceneTruth, ZoneEnterAndLeaveOnTheFramesTheFeetCrossItsBorder)
{
    Scene s = quiet_scene(QV_REGION_ZONE, {{100, 100}, {220, 100}, {220, 220}, {100, 220}});
    s.add_figure(walker({20, 160}, {300, 160}));
    const std::vector<qvs::TruthEvent> ev = s.events();
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(ev[0].code, QV_EVENT_ENTER);
    EXPECT_EQ(ev[0].frame, 5 + 41);  // x passes 100 between 100 and 102
    EXPECT_EQ(ev[1].code, QV_EVENT_LEAVE);
    EXPECT_EQ(ev[1].frame, 5 + 100);  // x reaches 220
}

TEST(SceneTruth, LoiterAfterThreeHundredFramesInsideNotForAShortStay)
{
    Scene s = quiet_scene(QV_REGION_LOITER, {{100, 100}, {220, 100}, {220, 220}, {100, 220}}, 700);
    Figure stay = walker({20, 160}, {160, 160});
    stay.stand(320);
    s.add_figure(stay);
    Figure pass = walker({20, 200}, {160, 200}, 400);
    pass.stand(60);
    pass.walk_to({300, 200}, 2);
    s.add_figure(pass);
    const std::vector<qvs::TruthEvent> ev = s.events();
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].code, QV_EVENT_LOITER);
    EXPECT_EQ(ev[0].figure, 1);
    EXPECT_EQ(ev[0].frame, 5 + 41 + qvs::kLoiterFrames - 1);
}

TEST(SceneTruth, LeftObjectOnlyForABagLyingStillInside)
{
    Scene s = quiet_scene(QV_REGION_LEFT_OBJECT, {{100, 100}, {220, 100}, {220, 220}, {100, 220}}, 500);
    Figure bag;
    bag.kind = qvs::FigureKind::Bag;
    bag.height = 16;
    bag.path = {{50, {150, 180}}, {450, {150, 180}}};
    s.add_figure(bag);
    Figure outside = bag;
    outside.path = {{50, {40, 180}}, {450, {40, 180}}};
    s.add_figure(outside);
    Figure person = walker({20, 150}, {160, 150});
    person.stand(300);  // a person standing still is not a left object
    s.add_figure(person);
    const std::vector<qvs::TruthEvent> ev = s.events();
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].code, QV_EVENT_LEFT_OBJECT);
    EXPECT_EQ(ev[0].figure, 1);
    EXPECT_EQ(ev[0].frame, 50 + qvs::kLeftObjectFrames - 1);
}

TEST(SceneTruth, EveryPresetHasPeopleInsideTheFrameAndRegionsInsideIt)
{
    for (qvs::SceneKind kind : qvs::all_scene_kinds()) {
        const cv::Size size = qvs::standard_size(kind);
        const Scene s = qvs::make_scene(kind, 1, size.width, size.height);
        for (const qvs::Region &r : s.regions())
            for (const cv::Point &p : r.points)
                EXPECT_TRUE(cv::Rect(0, 0, size.width, size.height).contains(p)) << s.name();
        int visible = 0;
        for (int f = 0; f < s.frame_count(); f += 10)
            for (const qvs::TruthObject &t : s.truth(f))
                visible += t.visible;
        if (kind == qvs::SceneKind::Nuisance)
            EXPECT_EQ(visible, 0);
        else
            EXPECT_GT(visible, 10) << s.name();
        for (const Figure &f : s.figures()) {  // a left bag is still there at the end
            if (f.kind == qvs::FigureKind::Bag) {
                EXPECT_TRUE(f.present(s.frame_count() - 1)) << s.name();
            }
        }
    }
}
