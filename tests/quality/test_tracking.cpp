// Tracking identity and robustness to scenes without people.
#include "tests/quality/judge.h"

#include <map>

using qvs::SceneKind;

namespace {

// The id most often matched to a figure over [from, to], or -1.
int usual_id(const qvs::Score &s, int figure, int from, int to)
{
    std::map<int, int> votes;
    for (int f = from; f <= to; ++f) {
        const int id = s.matched_id(f, figure);
        if (id >= 0)
            ++votes[id];
    }
    int best = -1, most = 0;
    for (const auto &v : votes)
        if (v.second > most)
            best = v.first, most = v.second;
    return best;
}

// First and last frame on which the two figures' true boxes overlap, or {-1, -1}.
std::pair<int, int> overlap(const qvs::Scene &scene, int a, int b)
{
    int first = -1, last = -1;
    for (int f = 0; f < scene.frame_count(); ++f)
        if ((scene.figure_box(a, f) & scene.figure_box(b, f)).area() > 0) {
            first = first < 0 ? f : first;
            last = f;
        }
    return {first, last};
}

}  // namespace

// Two pairs walk through each other (head-on, then on crossing diagonals): each person
// keeps the id they had before the crossing, and the two ids differ.
TEST(Tracking, IdsSurvivePeopleCrossingEachOther)
{
    const Judged j = judge(SceneKind::CrossingPaths);
    expect_sound_run(j);
    for (const auto &pair : {std::pair<int, int>{1, 2}, std::pair<int, int>{3, 4}}) {
        const auto [first, last] = overlap(j.scene, pair.first, pair.second);
        ASSERT_GE(first, 0) << "figures " << pair.first << " and " << pair.second << " never meet";
        for (int fig : {pair.first, pair.second}) {
            const int before = usual_id(j.score, fig, first - 25, first - 5);
            const int after = usual_id(j.score, fig, last + 5, last + 25);
            EXPECT_GE(before, 0) << "figure " << fig << " not tracked before the crossing";
            EXPECT_EQ(before, after) << "figure " << fig << " changed id crossing frames " << first << "-" << last;
        }
        EXPECT_NE(usual_id(j.score, pair.first, first - 25, first - 5),
                  usual_id(j.score, pair.second, first - 25, first - 5));
    }
}

// While two people dressed unalike walk through each other, each is looked for by
// how it looks rather than given the half of the shared blob on its side: over five
// seeds their ids hardly ever swap, even for a frame.
TEST(Tracking, PeopleDressedUnalikeKeepTheirIdsWhileTheyOverlap)
{
    int switches = 0;
    for (uint32_t seed = 1; seed <= 5; ++seed) {
        const Judged j = judge(SceneKind::CrossingPaths, seed);
        expect_sound_run(j);
        switches += j.score.id_switches;
    }
    EXPECT_LE(switches, 12);
}

// Noise, a 30% dimming, lights switched on, a flickering patch, swaying leaves and a
// two-pixel camera shake, but nobody there: no event at all, and hardly any object.
TEST(Tracking, NuisanceWithoutPeopleGivesNoEvent)
{
    const Judged j = judge(SceneKind::Nuisance);
    expect_sound_run(j);
    ASSERT_TRUE(j.scene.events().empty());
    expect_exact_events(j);
    int busy_frames = 0;
    for (int f = qvs::kWarmupFrames; f < j.scene.frame_count(); ++f)
        busy_frames += !j.run.frames[f].empty();
    EXPECT_LE(busy_frames, (j.scene.frame_count() - qvs::kWarmupFrames) / 10)
        << "frames with a reported object in an empty scene";
}
