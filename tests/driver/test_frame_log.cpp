#include <gtest/gtest.h>

#include <fstream>

#include "driver/frame_log.h"
#include "tests/support/clips.h"
#include "tests/support/fake_detector.h"

TEST(FrameLog, LineHasTheDocumentedShape)
{
    qv_result result = fake::make_result(2);
    result.objects[1].id = 42;
    result.objects[1].box = {5, 6, 7, 8};
    result.objects[1].track_length = 3;
    result.objects[1].region_flag[1] = 1;
    result.objects[1].region_event[1] = 4;
    result.objects[1].region_event[2] = 9;  // beyond the installed regions: not written
    EXPECT_EQ(frame_json(3, 120, result, 2),
              "{\"frame\": 3, \"detect_us\": 120, \"objects\": ["
              "{\"id\": 0, \"box\": [10, 10, 8, 16], \"track_length\": 0, \"flags\": [0, 0], \"events\": [0, 0]}, "
              "{\"id\": 42, \"box\": [5, 6, 7, 8], \"track_length\": 3, \"flags\": [0, 1], \"events\": [0, 4]}]}");
    EXPECT_EQ(frame_json(0, 0, fake::make_result(0), 1), "{\"frame\": 0, \"detect_us\": 0, \"objects\": []}");
}

TEST(FrameLog, GarbageCountsNeverReadPastTheRecords)
{
    qv_result result = fake::make_result(0);
    result.count = 1000;
    const std::string line = frame_json(0, 0, result, 99);
    EXPECT_NE(line.find("\"id\": 0"), std::string::npos);
    result.count = -5;
    EXPECT_EQ(frame_json(0, 0, result, -1), "{\"frame\": 0, \"detect_us\": 0, \"objects\": []}");
}

TEST(FrameLog, ReportsFilesItCannotWrite)
{
    FrameLog log;
    EXPECT_NE(log.open("/nonexistent-folder/x.jsonl"), "");
    EXPECT_FALSE(log.is_open());

    FrameLog full;
    ASSERT_EQ(full.open("/dev/full"), "");
    EXPECT_FALSE(full.write(0, 1, fake::make_result(1), 1));
    EXPECT_NE(full.close(), "");
}
