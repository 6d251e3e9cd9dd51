// The line events of the detector on the default clip, scored against the crossings
// annotated by eye. The figures are for the README; the floor here only guards
// against a collapse, it is not a target to tune for.
#include "driver/region_arg.h"
#include "tools/eval/footage_run.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

// The clip, the crossings annotated on it and the line they were read for; without the
// clip the tests skip.
class DefaultClip : public testing::Test {
protected:
    void SetUp() override
    {
        if (!std::ifstream(clip))
            GTEST_SKIP() << clip << " is absent; scripts/test prepares it";
        std::string error;
        ASSERT_TRUE(qvf::load_crossings(QV_SOURCE_DIR "/tests/footage/test1_line_crossings.txt", crossings, error))
            << error;
        ASSERT_EQ(parse_region_arg("3:1200,450,1200,700", line), "");
    }

    const std::string clip = QV_SOURCE_DIR "/data/test1.mp4";
    std::vector<qvf::Crossing> crossings;
    qv_region line{};
};

TEST_F(DefaultClip, EveryAnnotatedCrossingIsFoundOrMissed)
{
    size_t clear = 0;
    for (const qvf::Crossing &c : crossings)
        clear += !c.doubtful;
    const qvf::FootageRun run = qvf::run_footage(clip, line, qvf::DetectorKind::Library);
    ASSERT_EQ(run.error, "");
    EXPECT_GT(run.frames, crossings.back().frame);
    const qvf::CrossingScore s = qvf::match_crossings(crossings, run.events);
    EXPECT_EQ(s.found.size() + s.missed.size(), clear);
    EXPECT_EQ(s.doubtful_found.size() + size_t(s.doubtful_unfound), crossings.size() - clear);
    EXPECT_GE(s.found.size(), 8u);
    for (const qvf::LineEvent &e : run.events) {
        // The event log's direction names the side the object is on now.
        if (e.foot.x == 1200)
            continue;  // on the line: the side is read further back in its track
        const bool right_of_line = e.foot.x > 1200;
        EXPECT_EQ(right_of_line, e.direction == qvf::Direction::PositiveToNegative)
            << "frame " << e.frame << " object " << e.id << " at " << e.foot.x;
    }
}

// Started later, as qv_eval --starts does: no event before the start, and frames keep
// their numbers (the crossings near the clip's end are scored against the same frames).
TEST_F(DefaultClip, ADetectorStartedLaterKeepsTheFrameNumbers)
{
    constexpr int kStart = 680;  // 40 frames before a clear crossing at 720, two more after it
    for (const qvf::DetectorKind kind : {qvf::DetectorKind::Library, qvf::DetectorKind::Mog2}) {
        SCOPED_TRACE(kind == qvf::DetectorKind::Mog2 ? "mog2" : "library");
        const qvf::FootageRun run = qvf::run_footage(clip, line, kind, kStart);
        ASSERT_EQ(run.error, "");
        EXPECT_GT(run.frames, crossings.back().frame);
        for (const qvf::LineEvent &e : run.events)
            EXPECT_GE(e.frame, kStart);
        const qvf::CrossingScore s = qvf::match_crossings(crossings, run.events);
        size_t late_clear = 0;
        for (const qvf::Crossing &c : crossings)
            late_clear += !c.doubtful && c.frame >= kStart + 30;
        // Crossings before the start are missed; most of those after it are found.
        EXPECT_GE(s.found.size(), late_clear - 1);
    }
}

}  // namespace
