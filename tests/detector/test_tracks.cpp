// Ids, the track ring, and results kept inside the frame.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "tests/detector/moving_boxes.h"

namespace {

using qvt::Mover;

TEST(Tracks, IdsIncreaseAndAreNeverReused)
{
    qvt::BoxScene scene;
    for (int k = 0; k < 3; ++k) {
        Mover m;
        m.at(10 + 110 * k, 40, 250 + 40 * k).at(110 + 110 * k, 600, 250 + 40 * k);
        scene.add(m);
    }
    qvt::Runner run(scene, {});
    run.run(350);
    std::map<int, std::pair<int, int>> life; // id -> first and last frame
    for (const auto &frame : run.frames())
        for (const qvt::Seen &s : frame) {
            auto it = life.emplace(s.object.id, std::make_pair(s.frame, s.frame)).first;
            it->second.second = s.frame;
        }
    ASSERT_EQ(life.size(), 3u) << "one id per box";
    int previous_last = -1, previous_id = 0;
    for (const auto &[id, span] : life) {
        EXPECT_GT(id, previous_id);
        EXPECT_GT(span.first, previous_last) << "an id seen again after a newer one";
        previous_id = id;
        previous_last = span.second;
    }
}

TEST(Tracks, CrossingBoxesKeepTheirIds)
{
    qvt::BoxScene scene;
    Mover a, b;
    a.at(10, 40, 300).at(160, 600, 310);
    b.at(10, 600, 310).at(160, 40, 300);
    b.grey = 20;
    scene.add(a);
    scene.add(b);
    qvt::Runner run(scene, {});
    run.run(170);
    // The box left of the other before they meet is right of it after they part.
    auto ids_left_to_right = [&](int frame) {
        std::vector<std::pair<int, int>> xs;
        for (const qvt::Seen &s : run.frames()[frame])
            xs.emplace_back(s.object.box.x, s.object.id);
        std::sort(xs.begin(), xs.end());
        return xs;
    };
    const auto before = ids_left_to_right(50), after = ids_left_to_right(130);
    ASSERT_EQ(before.size(), 2u);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(before[0].second, after[1].second);
    EXPECT_EQ(before[1].second, after[0].second);
}

TEST(Tracks, ACarOvertakingInTheNextLaneIsNoHalfOfTheOther)
{
    // Cars from above, one lane right above the other: the fast one overtakes at
    // frame 140. Touching and moving nearly alike, they still make no upright figure.
    qvt::BoxScene scene;
    Mover slow, fast;
    slow.size = fast.size = {96, 44};
    slow.grey = 40;
    slow.at(10, 34, 300).at(270, 606, 300);
    fast.at(10, -148, 254).at(200, 536, 254);
    scene.add(slow);
    scene.add(fast);
    qvt::Runner run(scene, {});
    run.run(200);
    std::set<int> ids;
    int both = 0;
    for (int f = 70; f < 200; ++f) {
        both += run.frames()[f].size() == 2;
        for (const qvt::Seen &s : run.frames()[f])
            ids.insert(s.object.id);
    }
    EXPECT_EQ(both, 130) << "frames 70-199 with both cars reported";
    EXPECT_EQ(ids.size(), 2u);
}

TEST(Tracks, TrackHoldsTheLatestTwoHundredReferencePoints)
{
    qvt::BoxScene scene;
    Mover m;
    m.at(10, 20, 200).at(390, 620, 420);
    scene.add(m);
    qvt::Runner run(scene, {});
    run.run(380);
    std::vector<qv_point> history; // the newest point of each frame
    int full = 0;
    for (const auto &frame : run.frames()) {
        if (frame.empty())
            continue;
        ASSERT_EQ(frame.size(), 1u);
        const qv_object &o = frame[0].object;
        ASSERT_GE(o.track_length, 1);
        ASSERT_LE(o.track_length, QV_MAX_TRACK);
        const qv_point last = o.track[o.track_length - 1];
        EXPECT_EQ(last.x, o.box.x + o.box.width / 2);
        EXPECT_EQ(last.y, o.box.y + o.box.height);
        history.push_back(last);
        if (o.track_length < QV_MAX_TRACK)
            continue;
        ++full;
        // Oldest first, each the newest point of an earlier frame.
        for (int i = 0; i < QV_MAX_TRACK; ++i) {
            const size_t back = static_cast<size_t>(QV_MAX_TRACK - 1 - i);
            if (back >= history.size())
                continue; // from before the object was reported
            ASSERT_EQ(o.track[i].x, history[history.size() - 1 - back].x) << i;
            ASSERT_EQ(o.track[i].y, history[history.size() - 1 - back].y) << i;
        }
    }
    EXPECT_GT(full, 100);
}

TEST(Tracks, BoxesAndTracksStayInsideTheFrame)
{
    qvt::BoxScene scene;
    Mover right, down;
    right.at(10, 300, 200).at(120, 700, 200);
    down.size = cv::Size(40, 90);
    down.at(10, 100, 250).at(120, 160, 560);
    scene.add(right);
    scene.add(down);
    qvt::Runner run(scene, {});
    run.run(130);
    int seen = 0;
    for (const auto &frame : run.frames())
        for (const qvt::Seen &s : frame) {
            const qv_rect &b = s.object.box;
            ++seen;
            EXPECT_GE(b.x, 0);
            EXPECT_GE(b.y, 0);
            EXPECT_GT(b.width, 0);
            EXPECT_GT(b.height, 0);
            EXPECT_LE(b.x + b.width, qvt::kWidth);
            EXPECT_LE(b.y + b.height, qvt::kHeight);
            for (int i = 0; i < s.object.track_length; ++i) {
                EXPECT_GE(s.object.track[i].x, 0);
                EXPECT_GE(s.object.track[i].y, 0);
                EXPECT_LT(s.object.track[i].x, qvt::kWidth);
                EXPECT_LT(s.object.track[i].y, qvt::kHeight);
            }
        }
    EXPECT_GT(seen, 100);
}

// Someone walking out of the picture is not drawn as a sliver at its edge for the
// frames the box coasts on after them: from when less than a fifth of them is in view,
// nothing is reported, whichever edge they leave by.
TEST(Tracks, NothingIsDrawnOfSomeoneWhoHasAllButGoneOut)
{
    struct Way {
        cv::Point2f from, to;
    };
    for (const Way &w : {Way{{300, 200}, {720, 200}}, Way{{300, 200}, {-80, 200}}, Way{{320, 150}, {320, 620}}}) {
        SCOPED_TRACE(testing::Message() << "towards " << w.to);
        qvt::BoxScene scene;
        Mover m;
        m.at(10, w.from.x, w.from.y).at(130, w.to.x, w.to.y);
        scene.add(m);
        qvt::Runner run(scene, {});
        run.run(150);
        int seen = 0, after = 0;
        for (int f = 0; f < 150; ++f) {
            const cv::Point2f foot = m.foot(f);
            const cv::Rect2f box(foot.x - m.size.width / 2.0f, foot.y - m.size.height, float(m.size.width),
                                 float(m.size.height));
            const float in_view = (box & cv::Rect2f(0, 0, qvt::kWidth, qvt::kHeight)).area() / box.area();
            (in_view >= 0.2f ? seen : after) += int(run.frames()[f].size());
        }
        EXPECT_GT(seen, 60);
        EXPECT_EQ(after, 0);
    }
}

// Walkers a and b meet head-on and pass each other on a line, feet 8 px apart in
// depth, both at x = 320 on frame 100; a friend may walk beside a, a little behind
// and further back. Each of a and b keeps the id they came in with, and their
// crossings come from them, within `late` frames of their feet passing.
void expect_passing_on_a_line(Mover a, Mover b, int late, const Mover *friend_of_a = nullptr)
{
    qvt::BoxScene scene;
    a.at(10, 50, 300).at(190, 590, 300);
    b.at(10, 590, 308).at(190, 50, 308);
    scene.add(a);
    scene.add(b);
    if (friend_of_a != nullptr) {
        Mover f = *friend_of_a;
        f.at(10, 14, 290).at(190, 554, 290);
        scene.add(f);
    }
    qvt::Runner run(scene, {qvt::line_region(QV_REGION_LINE_TWO_WAY, {320, 180}, {320, 420})});
    run.run(200);
    // The id nearest each walker's feet, before they meet and after they part.
    const auto id_at = [&](const Mover &m, int f) {
        int best = -1;
        float best_d = 12;
        for (const qvt::Seen &s : run.frames()[f]) {
            const qv_rect &r = s.object.box;
            const float d = std::abs(r.x + r.width / 2.0f - m.foot(f).x) + std::abs(r.y + r.height - m.foot(f).y);
            if (d < best_d)
                best_d = d, best = s.object.id;
        }
        return best;
    };
    const int a_id = id_at(a, 70), b_id = id_at(b, 70);
    ASSERT_GT(a_id, 0);
    ASSERT_GT(b_id, 0);
    ASSERT_NE(a_id, b_id);
    EXPECT_EQ(id_at(a, 130), a_id) << "the ids swapped while they passed";
    EXPECT_EQ(id_at(b, 130), b_id) << "the ids swapped while they passed";
    int crossed = 0;
    for (const cv::Vec3i &e : run.events(0)) {
        if (e[1] != a_id && e[1] != b_id)
            continue;
        ++crossed;
        EXPECT_NEAR(e[0], 100, late) << "object " << e[1];
    }
    EXPECT_EQ(crossed, 2);
    EXPECT_EQ(run.events(0).size(), friend_of_a != nullptr ? 3u : 2u) << "a crossing twice, or a piece crossing";
}

// A light coat over dark trousers, and a dark jacket over light trousers.
void dress_unalike(Mover &light, Mover &dark)
{
    light.size = dark.size = cv::Size(30, 90);
    light.grey = 225;
    light.patches = {{{0, 0.55f, 1, 0.45f}, 35}};
    dark.grey = 30;
    dark.patches = {{{0, 0.55f, 1, 0.45f}, 200}};
}

// Dressed alike, they cannot be told apart by their looks while they share a blob, and
// the cells nearest each hold it back. Not met yet, so not run: both cross 4-5 frames
// late. Keeping each one's course through the blob meets it, but on the default clip
// it made more false crossings than it saved late ones.
TEST(Tracks, DISABLED_PeopleDressedAlikePassingOnALineEachCrossOnTime)
{
    Mover a, b;
    a.size = b.size = cv::Size(30, 90);
    a.grey = b.grey = 40;
    a.patches = b.patches = {{{0, 0.55f, 1, 0.45f}, 90}};
    expect_passing_on_a_line(a, b, 3);
}

// A man in a light coat over dark trousers and a woman in a dark jacket over light
// trousers pass each other while his friend, dressed like him, walks beside him: she
// is told from both by her look, they from each other by where they are. Each keeps
// their id, and crosses no later than the one behind the other is seen again.
TEST(Tracks, PeopleDressedUnalikePassingBesideAFriendKeepTheirIds)
{
    Mover light, dark;
    dress_unalike(light, dark);
    Mover friend_of_light = light;
    expect_passing_on_a_line(light, dark, 6, &friend_of_light);
}

// The same two without the friend. Not met yet, so not run: the ids hold, but the one
// who passes behind the other is found by the part of them still in view, which
// trails, and crosses 4-5 frames late.
TEST(Tracks, DISABLED_PeopleDressedUnalikePassingOnALineEachCrossOnTime)
{
    Mover light, dark;
    dress_unalike(light, dark);
    expect_passing_on_a_line(light, dark, 3);
}

} // namespace
