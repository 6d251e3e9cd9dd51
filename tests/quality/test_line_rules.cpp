// Line crossings judged on the reference point (bottom centre of the box).
#include "tests/quality/judge.h"

#include "detector/quorvane.h"

using qvs::SceneKind;

namespace {

int count_code(const std::vector<qvs::TruthEvent> &events, int code)
{
    int n = 0;
    for (const qvs::TruthEvent &e : events)
        n += e.code == code;
    return n;
}

}  // namespace

// Four crossings in the band (one person turns back: two crossings), two people
// crossing the line's extensions beyond either end, one walking parallel to it.
TEST(LineRules, TwoWayLineCountsEachCrossingOnceAndIgnoresTheExtension)
{
    const Judged j = judge(SceneKind::TwoWayLine);
    expect_sound_run(j);
    ASSERT_EQ(count_code(j.scene.events(), QV_EVENT_CROSS_TWO_WAY), 4);
    expect_exact_events(j);
    // Plain conditions: people are found, and little else is reported.
    EXPECT_GE(j.score.recall(), 0.8);
    EXPECT_GE(j.score.precision(), 0.8);
}

// People cross a vertical line both ways; only left to right (s > 0 to s < 0) alarms,
// including a 40 px figure and a person who turns back; one walks past its upper end.
// The lights are switched on (+30%) shortly before the last crossing.
TEST(LineRules, OneWayLineFiresInItsDirectionOnly)
{
    const Judged j = judge(SceneKind::OneWayLine);
    expect_sound_run(j);
    ASSERT_EQ(count_code(j.scene.events(), QV_EVENT_CROSS_ONE_WAY), 3);
    expect_exact_events(j);
}

// Long soft shadows reach over the line while their owners' feet stay on one side.
TEST(LineRules, ShadowsDoNotCarryAPersonAcrossTheLine)
{
    const Judged j = judge(SceneKind::Shadows);
    expect_sound_run(j);
    ASSERT_EQ(j.scene.events().size(), 1u);
    expect_exact_events(j);
}

// The same where the ground under a shadow is too even for it to be judged: the
// shadows reaching over the line stay in one blob with their walkers.
TEST(LineRules, ShadowsOverEvenGroundDoNotCarryAPersonAcrossTheLine)
{
    for (uint32_t seed : {5u, 6u}) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        const Judged j = judge(SceneKind::Shadows, seed);
        expect_sound_run(j);
        ASSERT_EQ(j.scene.events().size(), 1u);
        expect_exact_events(j);
    }
}

// Three people side by side, then two closer together, cross the line: one event each.
TEST(LineRules, GroupsSideBySideGiveOneEventPerPerson)
{
    const Judged j = judge(SceneKind::Group);
    expect_sound_run(j);
    ASSERT_EQ(j.scene.events().size(), 5u);
    expect_exact_events(j);
}

// Clothing close to the floor's shade, legs hardly seen: the crossings still come
// when the feet cross, not when the knees do.
TEST(LineRules, LowContrastClothingStillCrosses)
{
    const Judged j = judge(SceneKind::LowContrast);
    expect_sound_run(j);
    expect_exact_events(j);
}

// 1280x720 with JPEG artifacts, a 30% dimming and people from 40 px to a third of the
// frame tall, against a two-way line and a zone.
TEST(LineRules, BusyLargeFrameWithArtifactsAndDrift)
{
    const Judged j = judge(SceneKind::Busy);
    expect_sound_run(j);
    expect_exact_events(j);
}
