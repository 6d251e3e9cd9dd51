// Line crossings judged on the reference point (bottom centre of the box).
#include "tests/quality/judge.h"

#include "detector/quorvane.h"

#include <cstdlib>

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
    // Here people nearer the camera walk through the place another walker's shadow was
    // learnt to lie, heads below that walker's feet: their dark clothes are theirs, not
    // shade to clear, and they are found in most frames.
    const Judged crowded = judge(SceneKind::Busy, 5);
    EXPECT_GE(crowded.score.precision(), 0.9);
    EXPECT_GE(crowded.score.recall(), 0.9);
}

namespace {

// Over the seeds: exactly the scene's crossings, `crossings` of them, are reported.
void expect_crossings(SceneKind kind, std::initializer_list<uint32_t> seeds, int crossings, bool one_id_each = false)
{
    for (uint32_t seed : seeds) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        const Judged j = judge(kind, seed);
        expect_sound_run(j);
        ASSERT_EQ(count_code(j.scene.events(), QV_EVENT_CROSS_TWO_WAY), crossings);
        expect_exact_events(j);
        if (one_id_each) {
            EXPECT_EQ(j.score.id_switches, 0);
        }
    }
}

}  // namespace

// Groups of three and of two walk shoulder to shoulder from the moment they come in,
// their heights following the ground plane: never apart, yet one crossing each.
TEST(LineRules, PeopleWhoCameInSideBySideEachCrossTheLine)
{
    expect_crossings(SceneKind::SideBySide, {1u, 2u, 3u}, 6);
}

// Two meet on the line, stand there side by side and each goes on across; two more
// meet there and each goes back: two crossings, however long the shared blob lies on the line.
TEST(LineRules, PeopleMeetingOnTheLineCrossOnlyWhenTheyGoOn)
{
    expect_crossings(SceneKind::MeetAndPart, {1u, 2u}, 2);
}

// Two walk together, the faint shade at their feet joining them into one blob whose
// halves are too wide to pass for upright figures: each is still one object of its own,
// and each crosses within 3 frames of its feet.
TEST(LineRules, TwoWalkingTogetherOverFaintShadeEachCrossOnTime)
{
    for (uint32_t seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        const Judged j = judge(SceneKind::Couple, seed);
        expect_sound_run(j);
        ASSERT_EQ(count_code(j.scene.events(), QV_EVENT_CROSS_TWO_WAY), 4);
        expect_exact_events(j);
        for (const qvs::EventMatch &m : j.score.matched)
            EXPECT_LE(std::abs(m.detected.frame - m.truth.frame), 3) << "figure " << m.truth.figure;
    }
}

// Cars from above, wider than tall, pass each other head-on and overtake at a line:
// each is one object under one id, and each gives its crossing.
TEST(LineRules, VehiclesPassingAtTheLineEachCross)
{
    expect_crossings(SceneKind::Vehicles, {1u, 2u, 3u, 4u}, 4, true);
    // Overtaking over the other's learnt shadow place: each crossing, ids aside.
    expect_crossings(SceneKind::Vehicles, {5u}, 4);
}
