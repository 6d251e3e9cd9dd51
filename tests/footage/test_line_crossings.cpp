// Matching a detector's line events against crossings annotated by eye.
#include "tools/eval/line_crossings.h"

#include <gtest/gtest.h>

namespace {

using qvf::Crossing;
using qvf::Direction;
using qvf::LineEvent;

constexpr Direction kP2N = Direction::PositiveToNegative;
constexpr Direction kN2P = Direction::NegativeToPositive;

std::vector<int> frames_of(const std::vector<LineEvent> &events)
{
    std::vector<int> out;
    for (const LineEvent &e : events)
        out.push_back(e.frame);
    return out;
}

TEST(CrossingMatch, DirectionWindowOneToOneAndDoubtful)
{
    const std::vector<Crossing> crossings = {
        {100, kP2N, false, "a"}, {200, kN2P, false, "b"}, {300, kP2N, false, "c"},
        {400, kP2N, true, "d"},  {500, kN2P, true, "e"},
    };
    const std::vector<LineEvent> events = {
        {104, kP2N, 1, {}},  // a, 4 late
        {106, kP2N, 2, {}},  // a second event for a: false
        {199, kP2N, 3, {}},  // near b but the wrong way: false
        {197, kN2P, 4, {}},  // b, 3 early: the edge of the window
        {311, kP2N, 5, {}},  // 11 after c: outside the window, so false and c missed
        {402, kP2N, 6, {}},  // the doubtful d: neither found nor false
    };
    const qvf::CrossingScore s = qvf::match_crossings(crossings, events);
    ASSERT_EQ(s.found.size(), 2u);
    EXPECT_EQ(s.found[0].crossing.note, "a");
    EXPECT_EQ(s.found[0].delay(), 4);
    EXPECT_EQ(s.found[1].crossing.note, "b");
    EXPECT_EQ(s.found[1].delay(), -3);
    EXPECT_DOUBLE_EQ(s.median_delay(), 0.5);
    ASSERT_EQ(s.missed.size(), 1u);
    EXPECT_EQ(s.missed[0].note, "c");
    EXPECT_EQ(frames_of(s.false_events), (std::vector<int>{106, 199, 311}));
    ASSERT_EQ(s.doubtful_found.size(), 1u);
    EXPECT_EQ(s.doubtful_found[0].event.id, 6);
    EXPECT_EQ(s.doubtful_unfound, 1);  // e, unreported, is not a miss

    // A wider window takes in the late event for c.
    EXPECT_EQ(qvf::match_crossings(crossings, events, {3, 11}).missed.size(), 0u);
}

TEST(CrossingMatch, EveryClearCrossingThatCanBeMatchedIs)
{
    // The first crossing's nearest event is the second crossing's only one: it must
    // settle for its later event rather than leave the second unmatched.
    const std::vector<Crossing> crossings = {{100, kP2N, false, "first"}, {96, kP2N, false, "second"}};
    const std::vector<LineEvent> events = {{99, kP2N, 1, {}}, {109, kP2N, 2, {}}};
    const qvf::CrossingScore s = qvf::match_crossings(crossings, events);
    ASSERT_EQ(s.found.size(), 2u);
    EXPECT_EQ(s.found[0].event.frame, 109);
    EXPECT_EQ(s.found[1].event.frame, 99);
    EXPECT_TRUE(s.false_events.empty());

    // A doubtful crossing listed first never takes the event a clear one needs.
    const qvf::CrossingScore d =
        qvf::match_crossings({{100, kN2P, true, "doubtful"}, {101, kN2P, false, "clear"}}, {{102, kN2P, 1, {}}});
    ASSERT_EQ(d.found.size(), 1u);
    EXPECT_EQ(d.found[0].crossing.note, "clear");
    EXPECT_EQ(d.doubtful_unfound, 1);
}

TEST(CrossingFile, ReadsLinesAndNamesTheBadOne)
{
    std::vector<Crossing> c;
    std::string error;
    ASSERT_TRUE(qvf::parse_crossings("# comment\n\n  12 negative_to_positive doubtful  man in a coat \n"
                                     "30 positive_to_negative clear\n",
                                     c, error))
        << error;
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].frame, 12);
    EXPECT_EQ(c[0].direction, kN2P);
    EXPECT_TRUE(c[0].doubtful);
    EXPECT_EQ(c[0].note, "man in a coat ");
    EXPECT_EQ(c[1].direction, kP2N);
    EXPECT_FALSE(c[1].doubtful);

    const std::pair<const char *, const char *> bad[] = {
        {"1 positive_to_negative clear\n12 sideways clear\n", "line 2: direction"},
        {"# x\nx positive_to_negative clear\n", "line 2: frame"},
        {"5 positive_to_negative maybe\n", "line 1: status"},
        {"-4 positive_to_negative clear\n", "line 1: frame"},
    };
    for (const auto &[text, why] : bad) {
        EXPECT_FALSE(qvf::parse_crossings(text, c, error)) << text;
        EXPECT_EQ(error.rfind(why, 0), 0u) << text << " -> " << error;
    }
    EXPECT_FALSE(qvf::load_crossings("/nonexistent/crossings.txt", c, error));
}

}  // namespace
