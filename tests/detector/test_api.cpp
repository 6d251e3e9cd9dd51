// The three calls' argument checks and what they write.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "tests/detector/moving_boxes.h"

namespace {

using qvt::kHeight;
using qvt::kWidth;

class Api : public ::testing::Test {
protected:
    void SetUp() override
    {
        grey_ = cv::Mat(kHeight, kWidth, CV_8U, cv::Scalar(100));
        qv_init(&handle_, demo_detector_config(grey_));
        ASSERT_NE(handle_, nullptr);
        qvt::keep_handle(handle_);
    }

    cv::Mat grey_;
    void *handle_ = nullptr;
};

const qv_region kLine = qvt::line_region(QV_REGION_LINE_TWO_WAY, {10, 10}, {100, 200});
const qv_region kZone = qvt::polygon_region(QV_REGION_ZONE, {{10, 10}, {200, 10}, {200, 200}});

TEST(ApiInit, RejectsUnusableFrames)
{
    cv::Mat grey(kHeight, kWidth, CV_8U, cv::Scalar(0));
    qv_init(nullptr, demo_detector_config(grey)); // must not crash

    struct Case {
        const char *what;
        qv_image image;
    } cases[] = {
        {"null data", qv_image(kWidth, kHeight, 1, nullptr)},
        {"three channels", qv_image(kWidth, kHeight, 3, grey.data)},
        {"zero width", qv_image(0, kHeight, 1, grey.data)},
        {"negative height", qv_image(kWidth, -5, 1, grey.data)},
    };
    for (const Case &c : cases) {
        qv_config config = demo_detector_config(grey);
        config.image = c.image;
        void *handle = reinterpret_cast<void *>(0x1); // stale value from a caller: must come back null
        qv_init(&handle, config);
        EXPECT_EQ(handle, nullptr) << c.what;
    }
}

TEST(ApiInit, RejectsStripsTooNarrowForTheGrid)
{
    // 16 x 16384 once left the working grid zero cells wide.
    for (cv::Size size : {cv::Size(16, 16384), cv::Size(16384, 16), cv::Size(20, 8000)}) {
        cv::Mat grey(size, CV_8U, cv::Scalar(0));
        void *handle = nullptr;
        qv_init(&handle, demo_detector_config(grey));
        EXPECT_EQ(handle, nullptr) << size;
    }
    cv::Mat strip(16, 960, CV_8U, cv::Scalar(0));
    void *handle = nullptr;
    qv_init(&handle, demo_detector_config(strip));
    EXPECT_NE(handle, nullptr);
    qvt::keep_handle(handle);
}

TEST(ApiInit, AcceptsTheSizesOfTheRange)
{
    for (cv::Size size : {cv::Size(640, 480), cv::Size(1280, 720), cv::Size(1920, 1080), cv::Size(3840, 2160),
                          cv::Size(642, 481)}) {
        cv::Mat grey(size, CV_8U, cv::Scalar(90));
        void *handle = nullptr;
        qv_init(&handle, demo_detector_config(grey));
        ASSERT_NE(handle, nullptr) << size;
        qvt::keep_handle(handle);
        auto result = std::make_unique<qv_result>();
        for (int i = 0; i < 3; ++i)
            qv_detect(handle, qv_image(size.width, size.height, 1, grey.data), nullptr, result.get());
        EXPECT_EQ(result->count, 0) << size;
    }
}

TEST_F(Api, RegionRejections)
{
    qv_region collinear = qvt::polygon_region(QV_REGION_ZONE, {{10, 10}, {20, 20}, {30, 30}});
    qv_region eleven = kZone;
    eleven.point_count = 11;
    struct Case {
        const char *what;
        std::vector<qv_region> regions;
        int count;
    } cases[] = {
        {"count 0", {kLine}, 0},
        {"count 11", std::vector<qv_region>(11, kLine), 11},
        {"negative count", {kLine}, -1},
        {"kind 0", {qvt::line_region(0, {1, 1}, {5, 5})}, 1},
        {"kind 6", {qvt::line_region(6, {1, 1}, {5, 5})}, 1},
        {"line with three points", {qvt::polygon_region(QV_REGION_LINE_ONE_WAY, {{1, 1}, {5, 5}, {9, 1}})}, 1},
        {"zone with two points", {qvt::line_region(QV_REGION_ZONE, {1, 1}, {5, 5})}, 1},
        {"loiter zone with eleven points", {eleven}, 1},
        {"point right of the frame", {qvt::line_region(QV_REGION_LINE_TWO_WAY, {1, 1}, {kWidth, 5})}, 1},
        {"point above the frame", {qvt::line_region(QV_REGION_LINE_TWO_WAY, {1, -1}, {50, 5})}, 1},
        {"point below the frame", {qvt::polygon_region(QV_REGION_LOITER, {{1, 1}, {50, 1}, {9, kHeight}})}, 1},
        {"equal line points", {qvt::line_region(QV_REGION_LINE_ONE_WAY, {7, 7}, {7, 7})}, 1},
        {"zero-area polygon", {collinear}, 1},
        {"one bad among good", {kLine, kZone, qvt::line_region(QV_REGION_LINE_TWO_WAY, {3, 3}, {3, 3})}, 3},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(qv_init_region(handle_, c.count, c.regions.data(), 0), 0) << c.what;
    }
    EXPECT_EQ(qv_init_region(handle_, 1, nullptr, 0), 0);
    EXPECT_EQ(qv_init_region(nullptr, 1, &kLine, 0), 0);
}

TEST_F(Api, RegionAcceptsEveryKindAndIgnoresTheFourthArgument)
{
    const std::vector<qv_region> all = {
        kZone,
        qvt::line_region(QV_REGION_LINE_ONE_WAY, {0, 0}, {kWidth - 1, kHeight - 1}),
        kLine,
        qvt::polygon_region(QV_REGION_LOITER, {{0, 0}, {kWidth - 1, 0}, {kWidth - 1, kHeight - 1}, {0, kHeight - 1}}),
        qvt::polygon_region(QV_REGION_LEFT_OBJECT,
                            {{5, 5}, {60, 5}, {90, 40}, {60, 90}, {30, 95}, {5, 60}, {2, 40}, {1, 20}, {3, 9}, {4, 6}}),
    };
    EXPECT_NE(qv_init_region(handle_, 5, all.data(), 0), 0);
    EXPECT_NE(qv_init_region(handle_, 5, all.data(), 123456), 0);
    EXPECT_NE(qv_init_region(handle_, 10, std::vector<qv_region>(10, kLine).data(), -1), 0);
}

TEST_F(Api, DetectWithBadArgumentsReportsNothing)
{
    auto result = std::make_unique<qv_result>();
    const qv_image good(kWidth, kHeight, 1, grey_.data);
    qv_detect(handle_, good, nullptr, nullptr); // must not crash

    struct Case {
        const char *what;
        void *handle;
        qv_image image;
    } cases[] = {
        {"null handle", nullptr, good},
        {"null data", handle_, qv_image(kWidth, kHeight, 1, nullptr)},
        {"narrower frame", handle_, qv_image(kWidth - 2, kHeight, 1, grey_.data)},
        {"taller frame", handle_, qv_image(kWidth, kHeight + 1, 1, grey_.data)},
        {"three channels", handle_, qv_image(kWidth, kHeight, 3, grey_.data)},
    };
    for (const Case &c : cases) {
        result->count = 77;
        qv_detect(c.handle, c.image, nullptr, result.get());
        EXPECT_EQ(result->count, 0) << c.what;
    }
}

// A moving box is reported; nothing is written outside the result, and only the
// installed regions' entries of an object can be non-zero.
TEST(ApiResult, WritesOnlyInsideTheResultAndTheInstalledRegions)
{
    qvt::BoxScene scene;
    qvt::Mover m;
    m.at(0, -20, 300).at(120, 660, 300);
    scene.add(m);
    // Two regions both crossed and entered, so their entries are busy.
    std::vector<qv_region> regions = {
        qvt::line_region(QV_REGION_LINE_TWO_WAY, {320, 200}, {320, 400}),
        qvt::polygon_region(QV_REGION_ZONE, {{400, 200}, {600, 200}, {600, 400}, {400, 400}}),
    };
    constexpr size_t kGuard = 256;
    std::vector<unsigned char> buffer(sizeof(qv_result) + 2 * kGuard + alignof(qv_result), 0xA5);
    qv_result *result = reinterpret_cast<qv_result *>(buffer.data() + kGuard);
    std::memset(result, 0xEE, sizeof(qv_result)); // stale garbage from an earlier frame

    cv::Mat grey;
    void *handle = nullptr;
    int frames_with_objects = 0, flagged = 0, events = 0;
    for (int i = 0; i < 120; ++i) {
        scene.render(i, grey);
        if (handle == nullptr) {
            qv_init(&handle, demo_detector_config(grey));
            ASSERT_NE(handle, nullptr);
            qvt::keep_handle(handle);
            ASSERT_NE(qv_init_region(handle, 2, regions.data(), 0), 0);
        }
        qv_detect(handle, qv_image(kWidth, kHeight, 1, grey.data), regions.data(), result);
        ASSERT_GE(result->count, 0);
        ASSERT_LE(result->count, QV_MAX_OBJECTS);
        frames_with_objects += result->count > 0;
        for (int k = 0; k < result->count; ++k) {
            const qv_object &o = result->objects[k];
            EXPECT_EQ(o.reserved[0], 0);
            EXPECT_EQ(o.reserved[1], 0);
            for (int r = 2; r < QV_MAX_REGIONS; ++r) {
                EXPECT_EQ(o.region_flag[r], 0) << "frame " << i << " region " << r;
                EXPECT_EQ(o.region_event[r], 0) << "frame " << i << " region " << r;
            }
            flagged += o.region_flag[1];
            events += (o.region_event[0] != 0) + (o.region_event[1] != 0);
        }
    }
    EXPECT_GT(frames_with_objects, 60);
    EXPECT_GT(flagged, 0);
    EXPECT_EQ(events, 3); // the crossing, entering and leaving the zone
    for (size_t i = 0; i < kGuard; ++i) {
        ASSERT_EQ(buffer[i], 0xA5) << "written before the result";
        ASSERT_EQ(buffer[kGuard + sizeof(qv_result) + i], 0xA5) << "written after the result";
    }
}

} // namespace
