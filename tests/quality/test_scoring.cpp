// The scoring that qv_eval's figures and the quality tests rest on, fed hand-made runs.
#include "tests/scenes/evaluation.h"

#include "detector/quorvane.h"

#include <gtest/gtest.h>

namespace {

// One walker crossing a two-way line at frame 56 (see the scene truth tests).
qvs::Scene crossing_scene()
{
    qvs::Scene s("scoring", 320, 240, 120, 7);
    s.add_region(QV_REGION_LINE_TWO_WAY, {{160, 40}, {160, 200}});
    qvs::Figure f;
    f.height = 60;
    f.path = {{0, {60, 150}}};
    f.walk_to({260, 150}, 2);
    s.add_figure(f);
    return s;
}

// A run that reports the true box of figure 1 under `id(frame)` while it is there.
template <class Id>
qvs::Run perfect_run(const qvs::Scene &s, Id id)
{
    qvs::Run run;
    run.created = run.regions_accepted = true;
    run.frames.resize(s.frame_count());
    for (int f = 0; f < s.frame_count(); ++f)
        if (s.figure(1).present(f))
            run.frames[f].push_back({id(f), s.figure_box(1, f), 0, {}, {0}, {0}});
    return run;
}

}  // namespace

TEST(Scoring, TrueBoxesAndTheTrueEventScorePerfectly)
{
    const qvs::Scene s = crossing_scene();
    ASSERT_EQ(s.events().size(), 1u);
    qvs::Run run = perfect_run(s, [](int) { return 1; });
    run.frames[s.events()[0].frame + 3][0].event[0] = QV_EVENT_CROSS_TWO_WAY;
    const qvs::Score score = qvs::score(s, run);
    EXPECT_EQ(score.false_pos, 0);
    EXPECT_EQ(score.false_neg, 0);
    EXPECT_EQ(score.true_pos, s.figure(1).last_frame() + 1 - qvs::kWarmupFrames);
    EXPECT_EQ(score.id_switches, 0);
    EXPECT_EQ(score.matched.size(), 1u);
    EXPECT_TRUE(score.missed.empty() && score.spurious.empty());
}

TEST(Scoring, IdChangeLateEventAndWrongPlaceAreCounted)
{
    const qvs::Scene s = crossing_scene();
    const int cross = s.events()[0].frame;
    qvs::Run run = perfect_run(s, [](int f) { return f < 80 ? 1 : 2; });
    run.frames[cross + 9][0].event[0] = QV_EVENT_CROSS_TWO_WAY;  // outside the window
    const qvs::Score late = qvs::score(s, run);
    EXPECT_EQ(late.id_switches, 1);
    EXPECT_EQ(late.missed.size(), 1u);
    EXPECT_EQ(late.spurious.size(), 1u);

    // An event in time, but from an object far from the walker, does not count.
    run.frames[cross + 9][0].event[0] = 0;
    run.frames[cross].push_back({7, {0, 0, 20, 40}, 0, {}, {0}, {QV_EVENT_CROSS_TWO_WAY}});
    const qvs::Score elsewhere = qvs::score(s, run);
    EXPECT_EQ(elsewhere.missed.size(), 1u);
    EXPECT_EQ(elsewhere.spurious.size(), 1u);
    EXPECT_EQ(elsewhere.false_pos, 1);  // the stray box itself
}

TEST(Scoring, BoxesBelowTheIoUThresholdAreMissesAndFalseAlarms)
{
    const qvs::Scene s = crossing_scene();
    qvs::Run run = perfect_run(s, [](int) { return 1; });
    for (auto &frame : run.frames)
        for (qvs::Reported &o : frame)
            o.box.height /= 4;  // head only: IoU 0.25
    const qvs::Score score = qvs::score(s, run);
    EXPECT_EQ(score.true_pos, 0);
    EXPECT_EQ(score.false_pos, score.false_neg);
    EXPECT_EQ(score.recall(), 0.0);
}
