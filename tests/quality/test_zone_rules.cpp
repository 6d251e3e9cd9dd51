// Zones, loitering and left objects.
#include "tests/quality/judge.h"

#include "detector/quorvane.h"

#include <opencv2/imgproc.hpp>


using qvs::SceneKind;

// Enter and leave once per visit; region_flag is 1 while inside and on the leave frame.
TEST(ZoneRules, ZoneEnterLeaveAndFlag)
{
    const Judged j = judge(SceneKind::Zone);
    expect_sound_run(j);
    ASSERT_EQ(j.scene.events().size(), 4u);
    expect_exact_events(j);

    // The flag follows the object's own reference point: 1 on its enter and leave
    // frames, 1 well inside (10 px), 0 well outside; near the border either.
    const qvs::Region &zone = j.scene.regions().at(0);
    int disagreements = 0;
    std::string first;
    for (size_t f = 0; f < j.run.frames.size(); ++f) {
        for (const qvs::Reported &o : j.run.frames[f]) {
            const int ev = o.event.at(0), flag = o.flag.at(0);
            const double depth = cv::pointPolygonTest(zone.points, o.foot(), true);
            const bool bad = (ev != 0 && flag != 1) || (ev == 0 && depth > 10 && flag != 1) ||
                             (ev == 0 && depth < -10 && flag != 0);
            if (bad && disagreements++ == 0)
                first = "frame " + std::to_string(f) + " object " + std::to_string(o.id) + " flag " +
                        std::to_string(flag) + " event " + std::to_string(ev) + " depth " + std::to_string(depth);
        }
    }
    EXPECT_EQ(disagreements, 0) << "region_flag disagrees with the reference point, first at " << first;

    // A person well inside the zone (20 px from its border) is flagged.
    int unflagged = 0, deep = 0;
    for (int f = qvs::kWarmupFrames; f < j.scene.frame_count(); ++f) {
        for (const auto &pair : j.score.pairs[f]) {
            const cv::Point2f foot = j.scene.figure(pair.first).foot_at(f);
            if (cv::pointPolygonTest(zone.points, foot, true) < 20)
                continue;
            ++deep;
            for (const qvs::Reported &o : j.run.frames[f])
                if (o.id == pair.second && o.flag.at(0) != 1)
                    ++unflagged;
        }
    }
    EXPECT_GT(deep, 50);
    EXPECT_EQ(unflagged, 0) << "of " << deep << " matched frames well inside the zone";
}

// One person stays in the zone for about 400 frames, much of it standing still: one
// loiter event near frame 300 of the stay. Another passes through in about 90 frames.
TEST(ZoneRules, LoiterOnceAfterThreeHundredFramesNotForAPass)
{
    const Judged j = judge(SceneKind::Loiter);
    expect_sound_run(j);
    ASSERT_EQ(j.scene.events().size(), 1u);
    expect_exact_events(j);
}

// A person puts a bag down in the zone and walks away; someone else passes later.
// One left-object event, about 150 frames after the drop, reported at the bag.
TEST(ZoneRules, LeftObjectOnceAboutOneHundredFiftyFramesAfterTheDrop)
{
    const Judged j = judge(SceneKind::LeftObject);
    expect_sound_run(j);
    ASSERT_EQ(j.scene.events().size(), 1u);
    expect_exact_events(j);
    // The bag stays reported until the end.
    int bag = 0;
    for (const qvs::Figure &f : j.scene.figures())
        bag = f.kind == qvs::FigureKind::Bag ? int(&f - &j.scene.figures()[0]) + 1 : bag;
    ASSERT_GT(bag, 0);
    const int last = j.scene.frame_count() - 1;
    EXPECT_GE(j.score.matched_id(last, bag), 0) << "bag not reported on the last frame";
}
